"""A build backend of a few lines, so that `pip install ./python` needs no download.

A wheel is the package's files, the two native libraries it drives (Vorn_ULO and the
engine, taken from the project's build tree, built there first when missing) and the
metadata pip reads.
"""

import ast
import base64
import hashlib
import os
import subprocess
import sys
import sysconfig
import tarfile
import zipfile
from pathlib import Path

try:
    import tomllib
except ImportError:  # Python before 3.11
    tomllib = None

ROOT = Path(__file__).resolve().parent.parent
PROJECT = ROOT.parent
PACKAGE = "vorn_ulo"
# The libraries, by file name: where a build tree holds them and the target that makes them.
if sys.platform == "darwin":
    LIBRARIES = {"libVorn_ULO.dylib": ("src/module", "Vorn_ULO"),
                 "libulo_engine.dylib": ("engine", "ulo_engine_shared")}
else:
    LIBRARIES = {"libVorn_ULO.so": ("src/module", "Vorn_ULO"),
                 "libulo_engine.so": ("engine", "ulo_engine_shared")}


def _build_dir():
    return Path(os.environ.get("VORN_ULO_BUILD", PROJECT / "build"))


def _libraries():
    """The built libraries, building what is missing with cmake."""
    build = _build_dir()
    paths = {name: build / folder / name for name, (folder, _) in LIBRARIES.items()}
    missing = [target for name, (_, target) in LIBRARIES.items() if not paths[name].is_file()]
    if missing:
        if not (PROJECT / "CMakeLists.txt").is_file():
            raise RuntimeError(f"the native libraries are not in {build}, and no project "
                               "tree is there to build them")
        if not (build / "CMakeCache.txt").is_file():
            subprocess.run(["cmake", "-S", str(PROJECT), "-B", str(build),
                            "-DCMAKE_BUILD_TYPE=Release"], check=True)
        subprocess.run(["cmake", "--build", str(build), "-j2", "--target", *missing],
                       check=True)
    return paths


def _read_toml(text):
    """The TOML that pyproject.toml is written in, where tomllib is missing: [tables] and
    keys set to strings or arrays of strings, an array also over several lines."""
    document = {}
    table = document
    entry = ""
    for line in text.splitlines():
        entry = f"{entry} {line.strip()}" if entry else line.strip()
        if not entry or entry.startswith("#"):
            entry = ""
            continue
        if entry.startswith("[") and "=" not in entry:
            table = document
            for name in entry.strip("[]").split("."):
                table = table.setdefault(name.strip().strip('"'), {})
            entry = ""
            continue
        key, value = entry.split("=", 1)
        try:
            table[key.strip().strip('"')] = ast.literal_eval(value.strip())
        except SyntaxError:  # an array whose end is on a later line
            continue
        entry = ""
    if entry:
        raise ValueError(f"pyproject.toml: cannot read {entry!r}")
    return document


def _version():
    # The project's VERSION file: beside python/ in the source tree, at the root of an sdist.
    for path in (ROOT / "VERSION", ROOT.parent / "VERSION"):
        if path.is_file():
            return path.read_text(encoding="ascii").strip()
    raise FileNotFoundError("the project's VERSION file is missing")


def _project():
    text = (ROOT / "pyproject.toml").read_text(encoding="utf-8")
    project = (tomllib.loads(text) if tomllib else _read_toml(text))["project"]
    return {**project, "version": _version()}


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
        if path.is_file() and "__pycache__" not in path.parts and (
                path.suffix in (".py", ".txt") or path.name == "py.typed"):
            if path.name != "_installed.py":  # only cmake --install writes that one
                yield path


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def _platform_tag():
    return sysconfig.get_platform().replace("-", "_").replace(".", "_")


def _dist_info_files():
    metadata, project = _metadata()
    dist_info = f"{PACKAGE}-{project['version']}.dist-info"
    wheel = "Wheel-Version: 1.0\nGenerator: vorn_ulo wheel_backend\nRoot-Is-Purelib: false\n"
    wheel += f"Tag: py3-none-{_platform_tag()}\n"
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
    name = f"{PACKAGE}-{project['version']}-py3-none-{_platform_tag()}.whl"
    records = []
    files = [(path.relative_to(ROOT).as_posix(), path) for path in _files()]
    files += [(f"{PACKAGE}/lib/{n}", path) for n, path in sorted(_libraries().items())]
    with zipfile.ZipFile(Path(wheel_directory) / name, "w", zipfile.ZIP_DEFLATED) as wheel:
        files = [(arcname, path.read_bytes()) for arcname, path in files]
        files.append((f"{PACKAGE}/VERSION", f"{project['version']}\n".encode("ascii")))
        for arcname, data in files:
            info = zipfile.ZipInfo(arcname, (1980, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if arcname.endswith((".so", ".dylib")) else 0o644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
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
        sdist.add(ROOT.parent / "VERSION", arcname=f"{base}/VERSION")
    return name
