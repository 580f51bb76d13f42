"""Finding and loading the two native libraries: Vorn_ULO (the eight exports and the
extension object) and the engine (everything from text to ranked associations)."""

from __future__ import annotations

import ctypes
import os
import sys
import sysconfig
import threading
from pathlib import Path
from typing import NamedTuple, Optional, Union

from .errors import LibraryNotFoundError

PathLike = Union[str, "os.PathLike[str]"]


def _file_name(stem: str) -> str:
    if sys.platform == "win32":
        return f"{stem}.dll"
    if sys.platform == "darwin":
        return f"lib{stem}.dylib"
    return f"lib{stem}.so"


LIBRARY_NAME = _file_name("Vorn_ULO")
ENGINE_NAME = _file_name("ulo_engine")


class Conventions(NamedTuple):
    """How to call a loaded Vorn_ULO: the exports' convention, the object's operations'
    convention, or why the object cannot be called from here."""

    exports: str  # "cdecl" or "stdcall"
    methods: Optional[str]  # None: not callable through ctypes
    refusal: Optional[str] = None


def stdcall_build_requested() -> bool:
    return os.environ.get("VORN_ULO_WIN32_STDCALL", "") not in ("", "0")


def platform_facts():
    """(32-bit Windows?, told the DLL is the __stdcall build?). Tests replace this."""
    return (sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4,
            stdcall_build_requested())


def conventions() -> Conventions:
    """The default 32-bit Windows DLL has __cdecl exports and __thiscall operations; ctypes
    has no __thiscall, so the operations are refused there rather than called wrongly. The
    build with -DULO_WIN32_STDCALL=ON makes both __stdcall, which ctypes calls. Elsewhere
    there is one convention."""
    win32_x86, stdcall_build = platform_facts()
    if not win32_x86:
        return Conventions("cdecl", "cdecl")
    if stdcall_build:
        return Conventions("stdcall", "stdcall")
    return Conventions("cdecl", None, (
        "the extension object of this 32-bit Vorn_ULO.dll has __thiscall operations, which "
        "ctypes cannot call; use a DLL built with -DULO_WIN32_STDCALL=ON and set "
        "VORN_ULO_WIN32_STDCALL=1"))


def function_type(convention: str):
    return ctypes.WINFUNCTYPE if convention == "stdcall" else ctypes.CFUNCTYPE


ULO_BOOL = ctypes.c_ubyte
_text = ctypes.c_char_p
_i32 = ctypes.c_int32

# name: (result, argument types)
EXPORTS = {
    "ULO_Filtrate": (ULO_BOOL, (_text, _text, _i32)),
    "ULO_GetTopNWordSupportRec": (ULO_BOOL, (_text, _text, _i32)),
    "ULO_GetWordSupportRec": (ULO_BOOL, (_text, _text)),
    "ULO_MulMergeFile": (_i32, (_text, _text)),
    "ULO_Stat_AssociatedFreq": (ULO_BOOL, (_text, _text, _i32, _i32)),
    "ULO_Stat_AssociatedFreq_Begin": (ULO_BOOL, (_text,)),
    "ULO_Stat_AssociatedFreq_End": (_i32, ()),
    "VornModule_CreateInstance": (_i32, (_i32, ctypes.POINTER(ctypes.c_void_p))),
}

# The extension object's table of operations, slot by slot: (name, result, arguments
# after the object itself).
VTABLE = (
    ("Release", None, ()),
    ("ReservedA", None, ()),
    ("Execute", _i32, (ctypes.c_char_p, _i32, ctypes.POINTER(_i32), _i32)),
    ("ReservedB", ULO_BOOL, ()),
    ("ReservedC", None, (_i32,)),
    ("ReservedD", ULO_BOOL, (_i32,)),
    ("ReservedE", None, (_i32,)),
    ("SetHostValue", None, (_i32,)),
)

ENV_VARIABLE = "VORN_ULO_LIBRARY"
ENGINE_ENV_VARIABLE = "VORN_ULO_ENGINE"
# Where each library lies in a build tree, under build/.
BUILD_DIRS = {LIBRARY_NAME: ("src/module", "bin"), ENGINE_NAME: ("engine", "bin")}


def _package_dir() -> Path:
    return Path(__file__).resolve().parent


def _installed_dir() -> Optional[Path]:
    """The library directory recorded by `cmake --install`, if this copy was installed so."""
    try:
        from . import _installed  # written by cmake --install
    except ImportError:
        return None
    return (_package_dir() / _installed.LIBRARY_DIR).resolve()


def candidate_paths(name: str = LIBRARY_NAME):
    """Every place looked in after an explicit path, in order, as (description, path)."""
    places = []
    variable = ENV_VARIABLE if name == LIBRARY_NAME else ENGINE_ENV_VARIABLE
    env = os.environ.get(variable)
    if env:
        places.append((variable, Path(env).absolute()))
    places.append(("package", _package_dir() / "lib" / name))  # a wheel's copy
    installed = _installed_dir()
    if installed is not None:
        places.append(("installed prefix", installed / name))
    libdirs = ["lib", "lib64"]
    multiarch = sysconfig.get_config_var("MULTIARCH")
    if multiarch:
        libdirs.insert(1, f"lib/{multiarch}")
    if sys.platform == "win32":
        libdirs.insert(0, "bin")
    # The environment's own prefix, then cmake's default one.
    prefixes = [Path(sys.prefix)] + ([] if sys.platform == "win32" else [Path("/usr/local")])
    for prefix in prefixes:
        for libdir in libdirs:
            places.append(("installed prefix", prefix / libdir / name))
    # The source tree: python/vorn_ulo/ sits two levels under the project.
    project = _package_dir().parent.parent
    if (project / "CMakeLists.txt").is_file():
        for build in ("build", "build-release"):
            for folder in BUILD_DIRS[name]:
                places.append(("build tree", project / build / folder / name))
    seen, unique = set(), []
    for what, path in places:
        if path not in seen:
            seen.add(path)
            unique.append((what, path))
    return unique


def find_library(path: Optional[PathLike] = None, name: str = LIBRARY_NAME) -> Path:
    """The path of the library `name` to load: `path` if given (a relative one taken from
    the current directory), else the first place that has it."""
    if path is not None:
        path = Path(path).absolute()
        if not path.is_file():
            raise LibraryNotFoundError([("explicit path", path)], name=name)
        return path
    places = candidate_paths(name)
    for what, candidate in places:
        if what in (ENV_VARIABLE, ENGINE_ENV_VARIABLE):
            # A variable naming a missing file is a mistake, not a hint to look further.
            if not candidate.is_file():
                raise LibraryNotFoundError([(what, candidate)], name=name)
            return candidate
        if candidate.is_file():
            return candidate
    raise LibraryNotFoundError(places, name=name)


def _open(path: Path, convention: str, name: str):
    loader = ctypes.WinDLL if convention == "stdcall" else ctypes.CDLL
    try:
        return loader(str(path))
    except OSError as error:
        raise LibraryNotFoundError([("cannot load", path)], str(error), name=name) from error


class Library:
    """One loaded copy of Vorn_ULO with its exports declared, and the engine beside it."""

    def __init__(self, path: Optional[PathLike] = None, engine: Optional[PathLike] = None):
        self.conventions = conventions()
        self.path = find_library(path)
        self.dll = _open(self.path, self.conventions.exports, LIBRARY_NAME)
        for name, (result, args) in EXPORTS.items():
            function = getattr(self.dll, name)
            function.restype = result
            function.argtypes = args
            setattr(self, name, function)
        self._engine_path = engine
        self._engine = None
        self._engine_lock = threading.Lock()

    @property
    def engine(self):
        """The engine, loaded at first use and handed this library's exports."""
        with self._engine_lock:
            if self._engine is None:
                from .engine import Engine

                self._engine = Engine(self._find_engine(), self)
            return self._engine

    def _find_engine(self) -> Path:
        if self._engine_path is not None:
            return find_library(self._engine_path, ENGINE_NAME)
        if ENGINE_ENV_VARIABLE not in os.environ:
            # Beside the library (installed, a wheel), or in the library's own build tree.
            for beside in (self.path.parent / ENGINE_NAME,
                           self.path.parent.parent.parent / "engine" / ENGINE_NAME):
                if beside.is_file():
                    return beside
        return find_library(None, ENGINE_NAME)

    def export_address(self, name: str) -> int:
        return ctypes.cast(getattr(self.dll, name), ctypes.c_void_p).value

    def __repr__(self) -> str:
        return f"Library({str(self.path)!r})"


_default: Optional[Library] = None
_default_lock = threading.Lock()


def load(path: Optional[PathLike] = None, engine: Optional[PathLike] = None) -> Library:
    """Loads the library (once per process for the default search) and returns it."""
    global _default
    if path is not None or engine is not None:
        return Library(path, engine)
    with _default_lock:
        if _default is None:
            _default = Library()
        return _default


def set_library(path: PathLike, engine: Optional[PathLike] = None) -> Library:
    """Makes the library at `path` (and the engine at `engine`, or the one found beside it
    or by the usual search) the one every function of the package uses."""
    global _default
    with _default_lock:
        _default = Library(path, engine)
        return _default


def library_or_default(library: Optional[Library]) -> Library:
    return library if library is not None else load()
