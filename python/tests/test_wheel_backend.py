"""The wheel backend: the project's one version, and the dependencies on every Python it
claims (tomllib arrived in 3.11; before it the backend reads pyproject.toml itself)."""

import sys
import zipfile

import pytest

import vorn_ulo
from conftest import PROJECT, PYTHON_DIR

sys.path.insert(0, str(PYTHON_DIR / "_backend"))
import wheel_backend  # noqa: E402

VERSION = (PROJECT / "VERSION").read_text(encoding="ascii").strip()


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
