"""The engine's C API (ulo_engine.h) declared for ctypes, with its errors raised as
exceptions and its strings read and freed."""

from __future__ import annotations

import ctypes
import os
from pathlib import Path
from typing import Dict, Iterable, List, Optional, Sequence, Tuple

from .encoding import encode_path
from .errors import EngineError

_p = ctypes.c_void_p
_text = ctypes.c_char_p
_size = ctypes.c_size_t
_i32 = ctypes.c_int32
_u64 = ctypes.c_uint64
_err = ctypes.POINTER(ctypes.c_void_p)

PROGRESS = ctypes.CFUNCTYPE(ctypes.c_int, _p, _u64, _u64)  # non-zero stops the count

# name: (result, argument types); a last `_err` argument marks a call that can fail.
FUNCTIONS = {
    "ulo_free": (None, (_p,)),
    "ulo_engine_version": (_text, ()),
    "ulo_exports_create": (_p, ()),
    "ulo_exports_destroy": (None, (_p,)),
    "ulo_exports_set": (None, (_p, _text, _p, _err)),
    "ulo_exports_missing": (_p, (_p,)),
    "ulo_count_options_create": (_p, ()),
    "ulo_count_options_destroy": (None, (_p,)),
    "ulo_count_options_set": (None, (_p, _text, _text, _err)),
    "ulo_count_options_add_stopwords": (None, (_p, _text, _size, _err)),
    "ulo_count_options_describe": (_p, ()),
    "ulo_rank_options_create": (_p, ()),
    "ulo_rank_options_destroy": (None, (_p,)),
    "ulo_rank_options_set": (None, (_p, _text, _text, _err)),
    "ulo_rank_options_describe": (_p, ()),
    "ulo_counter_open": (_p, (_p, _p, _text, _err)),
    "ulo_counter_add_block": (None, (_p, _text, _text, _size, _err)),
    "ulo_counter_end_text": (None, (_p, _err)),
    "ulo_counter_add_token_lines": (None, (_p, _text, _size, _err)),
    "ulo_counter_add_file": (None, (_p, _text, _u64, _u64, _err)),
    "ulo_lines_open": (_p, (_text, _u64, _u64, _err)),
    "ulo_lines_read": (_p, (_p, _size, ctypes.POINTER(_size), _err)),
    "ulo_lines_close": (None, (_p,)),
    "ulo_lines_problem": (_p, (_text, _size, ctypes.POINTER(_u64))),
    "ulo_counter_close": (None, (_p, _err)),
    "ulo_counter_summary": (_p, (_p,)),
    "ulo_counter_destroy": (None, (_p,)),
    "ulo_count_files": (_p, (_p, _p, ctypes.POINTER(_text), _size, _text, PROGRESS, _p, _err)),
    "ulo_gather_token_counts": (None, (_text, _err)),
    "ulo_share_files": (_p, (ctypes.POINTER(_text), _size, ctypes.c_int, _err)),
    "ulo_merge": (None, (_p, _text, _text, _err)),
    "ulo_merge_ranges": (None, (_p, _text, _text, _i32, _i32, _err)),
    "ulo_split_keys": (_p, (ctypes.POINTER(_text), _size, _i32, _err)),
    "ulo_merge_range": (None, (_p, ctypes.POINTER(_text), _size, _text, _i32, _text, _i32,
                               _err)),
    "ulo_write_parts_index": (None, (_text, _text, _err)),
    "ulo_pair_file_parts": (_p, (_text, _err)),
    "ulo_filter": (None, (_p, _text, _text, _i32, _err)),
    "ulo_support": (None, (_p, _text, _text, _err)),
    "ulo_topn": (None, (_p, _text, _text, _i32, _err)),
    "ulo_rank": (None, (_text, _text, _p, _err)),
    "ulo_neighbours": (_p, (_text, _text, _size, _p, _err)),
    "ulo_export": (None, (_text, _text, _text, _i32, _p, _err, _err)),
    "ulo_check_pairs": (_p, (_text, _text, _err)),
    "ulo_measure_names": (_p, ()),
    "ulo_score": (ctypes.c_double, (_text, ctypes.c_double, ctypes.c_double, ctypes.c_double,
                                    ctypes.c_double, _err)),
    "ulo_words_options_create": (_p, ()),
    "ulo_words_options_destroy": (None, (_p,)),
    "ulo_words_options_set": (None, (_p, _text, _text, _err)),
    "ulo_words_options_describe": (_p, ()),
    "ulo_words_counter_open": (_p, (_p, _p, _p, _text, _err)),
    "ulo_words_rank": (None, (_text, _text, _p, _err)),
    "ulo_input_problem": (_p, (_text, _text)),
    "ulo_encoding_problem": (_p, (_text, _text)),
    "ulo_same_file_problem": (_p, (_text, _text)),
    "ulo_line_number_at": (_u64, (_text, _u64)),
    "ulo_work_dir_open": (_p, (_text, _err)),
    "ulo_work_dir_path": (_text, (_p,)),
    "ulo_work_dir_commit": (None, (_p, _err)),
    "ulo_work_dir_destroy": (None, (_p,)),
    "ulo_describe_status": (_p, (_i32,)),
    "ulo_describe_merge_code": (_p, (_i32,)),
    "ulo_convert": (_p, (_text, _text, _text, _size, ctypes.POINTER(_size),
                         *[ctypes.POINTER(_u64)] * 4, _err)),
    "ulo_command_create": (_p, (_text,)),
    "ulo_command_destroy": (None, (_p,)),
    "ulo_command_add_string": (None, (_p, _text, _size)),
    "ulo_command_add_int32": (None, (_p, _i32)),
    "ulo_command_add_flag": (None, (_p, ctypes.c_ubyte)),
    "ulo_command_bytes": (_p, (_p, ctypes.POINTER(_size))),
}

EXPORT_NAMES = (
    "ULO_Filtrate", "ULO_GetTopNWordSupportRec", "ULO_GetWordSupportRec", "ULO_MulMergeFile",
    "ULO_Stat_AssociatedFreq", "ULO_Stat_AssociatedFreq_Begin", "ULO_Stat_AssociatedFreq_End",
    "VornModule_CreateInstance",
)


def lines(text: Optional[str]) -> List[str]:
    """The non-empty lines of the engine's text. Only LF ends one: str.splitlines() also
    splits at characters that words and paths may hold (\\x1c, \\x85, U+2028...)."""
    return [line for line in (text or "").split("\n") if line]


def parse_table(text: str) -> Dict[str, str]:
    """name TAB value lines as a dict."""
    table = {}
    for line in lines(text):
        name, _, value = line.partition("\t")
        table[name] = value
    return table


def number(value: str):
    for kind in (int, float):
        try:
            return kind(value)
        except ValueError:
            pass
    return value


class Engine:
    """One loaded engine, handed the exports of one loaded Vorn_ULO."""

    def __init__(self, path: Path, library):
        self.path = path
        # The engine's C API is __cdecl wherever it is built.
        self.dll = ctypes.CDLL(str(path))
        for name, (result, args) in FUNCTIONS.items():
            function = getattr(self.dll, name)
            function.restype = result
            function.argtypes = args
        self.exports = self.dll.ulo_exports_create()
        for name in EXPORT_NAMES:
            self.call("ulo_exports_set", self.exports, name.encode(), library.export_address(name))
        missing = self.text(self.dll.ulo_exports_missing(self.exports))
        if missing:
            raise EngineError("ulo_exports_set", f"the export {missing} was not handed over")

    def __del__(self):
        exports, self.exports = getattr(self, "exports", None), None
        if exports:
            try:
                self.dll.ulo_exports_destroy(exports)
            except Exception:
                pass

    def call(self, name: str, *args, what: Optional[str] = None):
        """Calls `name` with `args` and its error pointer; raises EngineError with the
        engine's sentence when it fails."""
        error = ctypes.c_void_p()
        result = getattr(self.dll, name)(*args, ctypes.byref(error))
        if error.value:
            operation = what or name
            message = self.text(error.value)
            if message.startswith(f"{operation}: "):  # the engine's own lead
                message = message[len(operation) + 2:]
            raise EngineError(operation, message)
        return result

    def text(self, pointer: Optional[int], free: bool = True) -> Optional[str]:
        """The malloc'ed string at `pointer` (released), or None for NULL."""
        if not pointer:
            return None
        try:
            return ctypes.string_at(pointer).decode("utf-8", "replace")
        finally:
            if free:
                self.dll.ulo_free(pointer)

    def raw(self, pointer: Optional[int]) -> bytes:
        """The malloc'ed bytes at `pointer` (released) as they are: words in the library's
        encoding; empty for NULL."""
        if not pointer:
            return b""
        try:
            return ctypes.string_at(pointer)
        finally:
            self.dll.ulo_free(pointer)

    def owned_text(self, name: str, *args) -> Optional[str]:
        return self.text(getattr(self.dll, name)(*args))

    @property
    def version(self) -> str:
        return self.dll.ulo_engine_version().decode()

    def describe(self, what: str) -> List[Tuple[str, str, str]]:
        """The table of options of `what` ("count" or "rank"): (name, default, help)."""
        rows = []
        for line in lines(self.owned_text(f"ulo_{what}_options_describe")):
            name, default, text = (line.split("\t", 2) + ["", ""])[:3]
            rows.append((name, default, text))
        return rows

    def measure_names(self) -> Tuple[str, ...]:
        return tuple(lines(self.owned_text("ulo_measure_names")))

    def options(self, what: str, values: Iterable[Tuple[str, object]]):
        """A count or rank options object with `values` set; destroy it with
        free_options."""
        handle = getattr(self.dll, f"ulo_{what}_options_create")()
        try:
            for name, value in values:
                self.call(f"ulo_{what}_options_set", handle, name.encode(),
                          option_text(value).encode("utf-8"), what=f"option {name}")
        except BaseException:
            getattr(self.dll, f"ulo_{what}_options_destroy")(handle)
            raise
        return handle

    def free_options(self, what: str, handle) -> None:
        getattr(self.dll, f"ulo_{what}_options_destroy")(handle)

    def input_problem(self, path, kind: str) -> Optional[str]:
        return self.owned_text("ulo_input_problem", encode_path(path), kind.encode())

    def same_file_problem(self, path, out) -> Optional[str]:
        """Why writing `out` would overwrite `path`, or None."""
        return self.owned_text("ulo_same_file_problem", encode_path(path), encode_path(out))

    def line_number_at(self, path, offset: int) -> int:
        """The line of `path` that starts at byte `offset`, 1-based."""
        return int(self.dll.ulo_line_number_at(encode_path(path), int(offset)))

    def encoding_problem(self, name: str, use: str) -> Optional[str]:
        """Why the encoding `name` ("" for the library's) cannot serve `use` ("words",
        "shown" or "corpus"), or None."""
        return self.owned_text("ulo_encoding_problem", name.encode(), use.encode())

    def lines_problem(self, data: bytes) -> Optional[Tuple[int, str]]:
        """The first line of `data` that a count refuses whatever cuts its tokens, as (its
        index, why), or None."""
        index = ctypes.c_uint64()
        problem = self.owned_text("ulo_lines_problem", data, len(data), ctypes.byref(index))
        return None if problem is None else (index.value, problem)

    def line_blocks(self, path, begin: int, end: int, size: int = 1 << 20) -> Iterator[bytes]:
        """The lines of `path` from byte `begin` to `end` (0: the end) as the engine's count
        reads them, whole lines of about `size` bytes at a time; EngineError for a file
        that ends before `end`."""
        handle = self.call("ulo_lines_open", encode_path(path), int(begin), int(end),
                           what="count")
        try:
            length = ctypes.c_size_t()
            while True:
                pointer = self.call("ulo_lines_read", handle, size, ctypes.byref(length),
                                    what="count")
                if not length.value:
                    return
                yield ctypes.string_at(pointer, length.value)
        finally:
            self.dll.ulo_lines_close(handle)

    def pair_file_parts(self, path) -> List:
        """The files of the pair-count file `path`: itself, or a parts directory's parts in
        key order; bytes for a bytes `path`."""
        listing = self.raw(self.call("ulo_pair_file_parts", listed_path(path), what="read"))
        as_given = (lambda name: name) if isinstance(os.fspath(path), bytes) else path_text
        return [as_given(name) for name in listing.split(b"\n") if name]

    def share_files(self, paths: Sequence, parts: int) -> List[List[Tuple[object, int, int]]]:
        """The files cut into at most `parts` shares at line ends: for each share its
        segments (path, begin, end), each path the object the caller gave."""
        encoded = [listed_path(path) for path in paths]
        given = dict(zip(encoded, paths))
        array = (ctypes.c_char_p * max(len(encoded), 1))(*encoded)
        listing = self.raw(self.call("ulo_share_files", array, len(encoded), int(parts)))
        shares: List[List[Tuple[object, int, int]]] = []
        for line in listing.split(b"\n"):
            if not line:
                continue
            index, rest = line.split(b"\t", 1)
            path, begin, end = rest.rsplit(b"\t", 2)  # the path may hold TABs
            while len(shares) <= int(index):
                shares.append([])
            shares[int(index)].append((given[path], int(begin), int(end)))
        return [share for share in shares if share]


def option_text(value) -> str:
    """An option's value as the engine reads it."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if value is None:
        return ""
    return str(value)


def listed_path(path) -> bytes:
    """encode_path of a path the engine hands back in a list of lines; ValueError for one
    holding LF, which would end its line there and be misread."""
    encoded = encode_path(path)
    if b"\n" in encoded:
        raise ValueError(f"the file name {os.fspath(path)!r} holds a line end, which the "
                         "engine's lists of files cannot carry; rename it")
    return encoded


def path_text(name: bytes) -> str:
    """A path from the engine as str, the caller's bytes kept: encode_path undone."""
    return name.decode("mbcs") if os.name == "nt" else os.fsdecode(name)


def path_array(paths: Sequence):
    encoded = [encode_path(p) for p in paths]
    return (ctypes.c_char_p * max(len(encoded), 1))(*encoded)
