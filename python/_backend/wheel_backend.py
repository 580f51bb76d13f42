"""A build backend of a few lines, so that `pip install ./python` needs no download.

The package is pure Python: a wheel is its files plus the metadata pip reads.
"""

import base64
import hashlib
import tarfile
import zipfile
from pathlib import Path

try:
    import tomllib
except ImportError:  # Python before 3.11
    tomllib = None

ROOT = Path(__file__).resolve().parent.parent
PACKAGE = "vorn_ulo"


def _project():
    if tomllib is None:
        return {"name": PACKAGE, "version": "1.0.0", "description": "", "dependencies": []}
    with open(ROOT / "pyproject.toml", "rb") as file:
        return tomllib.load(file)["project"]


def _metadata():
    project = _project()
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {project['version']}",
        f"Summary: {project.get('description', '')}",
    ]
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    lines += [f"Requires-Dist: {d}" for d in project.get("dependencies", [])]
    for extra, requirements in project.get("optional-dependencies", {}).items():
        lines.append(f"Provides-Extra: {extra}")
        lines += [f'Requires-Dist: {r}; extra == "{extra}"' for r in requirements]
    return "\n".join(lines) + "\n", project


def _files():
    for path in sorted((ROOT / PACKAGE).rglob("*")):
        if path.is_file() and "__pycache__" not in path.parts and path.suffix in (".py", ".txt"):
            if path.name != "_installed.py":  # only cmake --install writes that one
                yield path


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def _dist_info_files():
    metadata, project = _metadata()
    dist_info = f"{PACKAGE}-{project['version']}.dist-info"
    wheel = "Wheel-Version: 1.0\nGenerator: vorn_ulo wheel_backend\nRoot-Is-Purelib: true\n"
    wheel += "Tag: py3-none-any\n"
    return project, dist_info, {"METADATA": metadata, "WHEEL": wheel}


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    _, dist_info, files = _dist_info_files()
    target = Path(metadata_directory) / dist_info
    target.mkdir(parents=True, exist_ok=True)
    for name, text in files.items():
        (target / name).write_text(text, encoding="utf-8")
    return dist_info


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    project, dist_info, meta = _dist_info_files()
    name = f"{PACKAGE}-{project['version']}-py3-none-any.whl"
    records = []
    with zipfile.ZipFile(Path(wheel_directory) / name, "w", zipfile.ZIP_DEFLATED) as wheel:
        for path in _files():
            arcname = path.relative_to(ROOT).as_posix()
            data = path.read_bytes()
            wheel.writestr(arcname, data)
            records.append(_record_line(arcname, data))
        for file_name, text in meta.items():
            arcname = f"{dist_info}/{file_name}"
            data = text.encode("utf-8")
            wheel.writestr(arcname, data)
            records.append(_record_line(arcname, data))
        records.append(f"{dist_info}/RECORD,,")
        wheel.writestr(f"{dist_info}/RECORD", "\n".join(records) + "\n")
    return name


def build_sdist(sdist_directory, config_settings=None):
    project = _project()
    base = f"{PACKAGE}-{project['version']}"
    name = f"{base}.tar.gz"
    with tarfile.open(Path(sdist_directory) / name, "w:gz") as sdist:
        for path in [ROOT / "pyproject.toml", ROOT / "README.md", *_files(),
                     *sorted((ROOT / "_backend").glob("*.py"))]:
            sdist.add(path, arcname=f"{base}/{path.relative_to(ROOT).as_posix()}")
    return name
