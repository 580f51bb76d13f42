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


@pytest.fixture(scope="session")
def library():
    return vorn_ulo.load()


@pytest.fixture(scope="session")
def ulo():
    if not ULO.is_file():
        pytest.skip(f"no ulo host at {ULO}")
    return ULO


def run_ulo(ulo, *args):
    result = subprocess.run(
        [str(ulo), "--quiet", *map(str, args)], capture_output=True, timeout=300
    )
    assert result.returncode == 0, result.stderr.decode(errors="replace")
    return result


def ulo_help(ulo, command):
    """The help text of a command of this ulo, or "" when it has no such command."""
    result = subprocess.run([str(ulo), command, "--help"], capture_output=True, timeout=60)
    return (result.stdout + result.stderr).decode(errors="replace") if result.returncode == 0 else ""


def write_pairs(path, rows, encoding="gb2312"):
    with open(path, "wb") as file:
        for word1, word2, count in rows:
            file.write(f"{word1}\t{word2}\t{count}\n".encode(encoding))
    return path
