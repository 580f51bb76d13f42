import os
import subprocess
import sys
from pathlib import Path

import pytest

PYTHON_DIR = Path(__file__).resolve().parent.parent
PROJECT = PYTHON_DIR.parent
sys.path.insert(0, str(PYTHON_DIR))

import vorn_ulo  # noqa: E402

BUILD = Path(os.environ.get("VORN_ULO_BUILD", PROJECT / "build"))
ULO = BUILD / "host" / "ulo"
TANG = Path("/usr/share/games/fortunes/tang300")

# A small corpus with Chinese and English words, upper and lower case, punctuation, digits,
# blanks of every kind and characters without a GB2312 form.
SAMPLE = (
    "床前明月光，疑是地上霜。\n举头望明月，低头思故乡。\n"
    "The moon   rose\tover 3 hills, 2026!\n"
    "月光\u3000照 山水 ・ café — 《静夜思》 the of 的\n"
)


@pytest.fixture(scope="session")
def library():
    return vorn_ulo.load()


@pytest.fixture(scope="session")
def engine(library):
    return library.engine


@pytest.fixture(scope="session")
def ulo():
    if not ULO.is_file():
        pytest.skip(f"no ulo at {ULO}")
    return ULO


@pytest.fixture(scope="session")
def corpus(tmp_path_factory):
    """SAMPLE and the Tang poems, as UTF-8."""
    path = tmp_path_factory.mktemp("corpus") / "corpus.txt"
    text = TANG.read_text(encoding="utf-8") if TANG.is_file() else ""
    path.write_text(SAMPLE * 20 + text, encoding="utf-8")
    return path


def run_ulo(ulo, *args):
    result = subprocess.run(
        [str(ulo), "--quiet", *map(str, args)], capture_output=True, timeout=300
    )
    assert result.returncode == 0, result.stderr.decode(errors="replace")
    return result


def write_pairs(path, rows, encoding="gb2312"):
    with open(path, "wb") as file:
        for word1, word2, count in rows:
            file.write(f"{word1}\t{word2}\t{count}\n".encode(encoding))
    return path
