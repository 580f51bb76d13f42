"""The Python example of the README and of docs/python.md runs and prints what they say it prints."""

import re
import subprocess
import sys

import pytest

from conftest import PROJECT, PYTHON_DIR, TANG


def _example(page):
    text = (PROJECT / page).read_text(encoding="utf-8")
    return re.search(r"```python\n(.*?)```", text, re.S).group(1)


def test_the_readme_example(library, tmp_path):
    if not TANG.is_file():
        pytest.skip("the Tang poems (fortunes-zh) are not installed")
    code = _example("docs/python.md")
    assert _example("README.md") == code
    assert len(code.strip().splitlines()) <= 6
    result = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True,
                            text=True, timeout=300, env={"PYTHONPATH": str(PYTHON_DIR),
                                                         "PATH": "/usr/bin:/bin"})
    assert result.returncode == 0, result.stderr
    others = [line.split()[1] for line in result.stdout.splitlines()[1:]]
    assert others == ["明", "照", "八", "九", "望"]
