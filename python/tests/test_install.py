"""The package as users get it: `pip install ./python` in a virtual environment (the wheel
carries both native libraries), `cmake --install` with the libraries beside it, the wheel
backend's one version and dependencies on every Python it claims (tomllib arrived in 3.11;
before it the backend reads pyproject.toml itself), and the README's example."""

import os
import re
import subprocess
import sys
import zipfile

import pytest

import vorn_ulo
from conftest import BUILD, PROJECT, PYTHON_DIR, TANG

sys.path.insert(0, str(PYTHON_DIR / "_backend"))
import wheel_backend  # noqa: E402

CHECK = ("import vorn_ulo, tempfile; library = vorn_ulo.load(); print(library.path); "
         "print(library.engine.path); "
         "print(vorn_ulo.count_texts('moon rose hills', tempfile.mkdtemp()).read_bytes().count(b'\\n'));"
         " print(vorn_ulo.__version__)")
VERSION = (PROJECT / "VERSION").read_text(encoding="ascii").strip()


def fresh_python(python, cwd, **env):
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("VORN_ULO_LIBRARY", "VORN_ULO_ENGINE", "PYTHONPATH")}
    environment.update(env)
    result = subprocess.run([str(python), "-c", CHECK], cwd=cwd, env=environment,
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    return result.stdout.split()


def test_pip_install_in_a_virtual_environment(library, tmp_path):
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)],
                   check=True, timeout=120)
    pip = subprocess.run([str(venv / "bin" / "pip"), "install", "--no-index", "-q",
                          str(PYTHON_DIR)], capture_output=True, text=True, timeout=300)
    assert pip.returncode == 0, pip.stdout + pip.stderr
    # Away from the source tree, with nothing named from outside: the wheel's own copies.
    library, engine, pairs, version = fresh_python(venv / "bin" / "python", tmp_path)
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
    library, engine, _, version = fresh_python(sys.executable, tmp_path,
                                                PYTHONPATH=str(packages[0].parent.parent))
    assert library.startswith(str(prefix)) and engine.startswith(str(prefix))
    assert version == VERSION


@pytest.mark.parametrize("has_tomllib", [True, False])
def test_metadata_names_the_version_and_dependencies(monkeypatch, has_tomllib):
    if not has_tomllib:
        monkeypatch.setattr(wheel_backend, "tomllib", None)
    metadata, _ = wheel_backend._metadata()
    assert f"Version: {VERSION}" in metadata.splitlines()
    for requirement in ("pandas", "numpy", 'jieba; extra == "jieba"'):
        assert f"Requires-Dist: {requirement}" in metadata.splitlines()


def test_the_fallback_reads_pyproject_as_tomllib_does():
    tomllib = pytest.importorskip("tomllib")
    text = (PYTHON_DIR / "pyproject.toml").read_text(encoding="utf-8")
    assert wheel_backend._read_toml(text) == tomllib.loads(text)
    with pytest.raises(ValueError):
        wheel_backend._read_toml('dependencies = ["pandas",\n')


def test_the_wheel_carries_the_version(tmp_path):
    name = wheel_backend.build_wheel(str(tmp_path))
    with zipfile.ZipFile(tmp_path / name) as wheel:
        assert wheel.read("vorn_ulo/VERSION").decode().strip() == VERSION
    assert vorn_ulo.__version__ == VERSION


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
