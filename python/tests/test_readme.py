"""The Python guide's example runs and prints what the guide says it prints."""

import re
import subprocess
import sys

import pytest

from conftest import PROJECT, PYTHON_DIR, TANG


def test_the_guides_example(library, tmp_path):
    if not TANG.is_file():
        pytest.skip("the Tang poems (fortunes-zh) are not installed")
    guide = (PROJECT / "docs" / "python.md").read_text(encoding="utf-8")
    code = re.search(r"```python\n(.*?)```", guide, re.S).group(1)
    assert len(code.strip().splitlines()) <= 6
    result = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True,
                            text=True, timeout=300, env={"PYTHONPATH": str(PYTHON_DIR),
                                                         "PATH": "/usr/bin:/bin"})
    assert result.returncode == 0, result.stderr
    others = [line.split()[1] for line in result.stdout.splitlines()[1:]]
    assert others == ["明", "照", "八", "九", "望"]
