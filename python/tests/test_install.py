"""The package as users install it: `pip install ./python` in a virtual environment (the
wheel carries both native libraries), and `cmake --install` with the libraries beside it."""

import os
import subprocess
import sys

import pytest

from conftest import BUILD, PYTHON_DIR

CHECK = ("import vorn_ulo, tempfile; library = vorn_ulo.load(); print(library.path); "
         "print(library.engine.path); "
         "print(vorn_ulo.count_texts('moon rose hills', tempfile.mkdtemp()).read_bytes().count(b'\\n'));"
         " print(vorn_ulo.__version__)")
VERSION = (PYTHON_DIR.parent / "VERSION").read_text(encoding="ascii").strip()


def fresh_python(python, cwd, **env):
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("VORN_ULO_LIBRARY", "VORN_ULO_ENGINE", "PYTHONPATH")}
    environment.update(env)
    return subprocess.run([str(python), "-c", CHECK], cwd=cwd, env=environment,
                          capture_output=True, text=True, timeout=120)


def test_pip_install_in_a_virtual_environment(library, tmp_path):
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)],
                   check=True, timeout=120)
    pip = subprocess.run([str(venv / "bin" / "pip"), "install", "--no-index", "-q",
                          str(PYTHON_DIR)], capture_output=True, text=True, timeout=300)
    assert pip.returncode == 0, pip.stdout + pip.stderr
    # Away from the source tree, with nothing named from outside: the wheel's own copies.
    result = fresh_python(venv / "bin" / "python", tmp_path)
    assert result.returncode == 0, result.stderr
    library, engine, pairs, version = result.stdout.split()
    assert "site-packages" in library and "site-packages" in engine
    assert int(pairs) == 6 and version == VERSION
    assert list(venv.glob("lib/python3*/site-packages/vorn_ulo/py.typed"))


def test_cmake_install_puts_package_and_library_together(library, tmp_path):
    if not (BUILD / "cmake_install.cmake").is_file():
        pytest.skip(f"{BUILD} is not a configured build tree")
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(prefix)], check=True,
                   capture_output=True, timeout=120)
    packages = list(prefix.glob("lib/python3*/*-packages/vorn_ulo/__init__.py"))
    assert len(packages) == 1, list(prefix.rglob("*"))
    result = fresh_python(sys.executable, tmp_path, PYTHONPATH=str(packages[0].parent.parent))
    assert result.returncode == 0, result.stderr
    library, engine, _, version = result.stdout.split()
    assert library.startswith(str(prefix)) and engine.startswith(str(prefix))
    assert version == VERSION
