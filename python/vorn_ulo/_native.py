"""Finding the library and declaring its eight exports and the extension object."""

import ctypes
import os
import sys
import sysconfig
import threading
from pathlib import Path

from .errors import LibraryNotFoundError

if sys.platform == "win32":
    LIBRARY_NAME = "Vorn_ULO.dll"
elif sys.platform == "darwin":
    LIBRARY_NAME = "libVorn_ULO.dylib"
else:
    LIBRARY_NAME = "libVorn_ULO.so"

# 32-bit Windows builds use __stdcall for the exports and the object's methods.
_STDCALL = sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4
_FUNCTYPE = ctypes.WINFUNCTYPE if _STDCALL else ctypes.CFUNCTYPE

ULO_BOOL = ctypes.c_ubyte
_c_char_p = ctypes.c_char_p
_i32 = ctypes.c_int32

# name: (result, argument types)
EXPORTS = {
    "ULO_Filtrate": (ULO_BOOL, (_c_char_p, _c_char_p, _i32)),
    "ULO_GetTopNWordSupportRec": (ULO_BOOL, (_c_char_p, _c_char_p, _i32)),
    "ULO_GetWordSupportRec": (ULO_BOOL, (_c_char_p, _c_char_p)),
    "ULO_MulMergeFile": (_i32, (_c_char_p, _c_char_p)),
    "ULO_Stat_AssociatedFreq": (ULO_BOOL, (_c_char_p, _c_char_p, _i32, _i32)),
    "ULO_Stat_AssociatedFreq_Begin": (ULO_BOOL, (_c_char_p,)),
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
VTABLE_TYPES = tuple(_FUNCTYPE(result, ctypes.c_void_p, *args) for _, result, args in VTABLE)

ENV_VARIABLE = "VORN_ULO_LIBRARY"


def _package_dir():
    return Path(__file__).resolve().parent


def _installed_dir():
    """The library directory recorded by `cmake --install`, if this copy was installed so."""
    try:
        from . import _installed  # written by cmake --install
    except ImportError:
        return None
    return (_package_dir() / _installed.LIBRARY_DIR).resolve()


def candidate_paths():
    """Every place looked in after an explicit path, in order, as (description, path)."""
    places = []
    env = os.environ.get(ENV_VARIABLE)
    if env:
        places.append((ENV_VARIABLE, Path(env)))
    installed = _installed_dir()
    if installed is not None:
        places.append(("installed prefix", installed / LIBRARY_NAME))
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
            places.append(("installed prefix", prefix / libdir / LIBRARY_NAME))
    # The source tree: python/vorn_ulo/ sits two levels under the project.
    project = _package_dir().parent.parent
    if (project / "CMakeLists.txt").is_file():
        for build in ("build", "build-release"):
            places.append(("build tree", project / build / "src" / "module" / LIBRARY_NAME))
            places.append(("build tree", project / build / "bin" / LIBRARY_NAME))
    seen, unique = set(), []
    for what, path in places:
        if path not in seen:
            seen.add(path)
            unique.append((what, path))
    return unique


def find_library(path=None):
    """The path of the library to load: `path` if given, else the first place that has it."""
    if path is not None:
        path = Path(path)
        if not path.is_file():
            raise LibraryNotFoundError([("explicit path", path)])
        return path
    places = candidate_paths()
    for what, candidate in places:
        if what == ENV_VARIABLE:
            # A variable naming a missing file is a mistake, not a hint to look further.
            if not candidate.is_file():
                raise LibraryNotFoundError([(what, candidate)])
            return candidate
        if candidate.is_file():
            return candidate
    raise LibraryNotFoundError(places)


class Library:
    """One loaded copy of the library with its exports declared."""

    def __init__(self, path=None):
        self.path = find_library(path)
        loader = ctypes.WinDLL if _STDCALL else ctypes.CDLL
        try:
            self.dll = loader(str(self.path))
        except OSError as error:
            raise LibraryNotFoundError([("cannot load", self.path)], str(error)) from error
        for name, (result, args) in EXPORTS.items():
            function = getattr(self.dll, name)
            function.restype = result
            function.argtypes = args
            setattr(self, name, function)

    def __repr__(self):
        return f"Library({str(self.path)!r})"


_default = None
_default_lock = threading.Lock()


def load(path=None):
    """Loads the library (once per process for the default search) and returns it."""
    global _default
    if path is not None:
        return Library(path)
    with _default_lock:
        if _default is None:
            _default = Library()
        return _default


def set_library(path):
    """Makes the library at `path` the one every function of the package uses."""
    global _default
    with _default_lock:
        _default = Library(path)
        return _default
