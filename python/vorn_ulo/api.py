"""The library's operations as Python calls that raise on failure."""

import contextlib
import ctypes
import os
import threading
from pathlib import Path

from . import _native
from .encoding import DEFAULT_ENCODING, Encoder, encode_path
from .errors import CommandError, MergeError, OperationError, STATUS_OK

# The library keeps one counting run, one merge and one word table per process; these locks
# make threads of one process take turns instead of corrupting each other's work.
_run_lock = threading.Lock()
_run_owner = None
_merge_lock = threading.Lock()
_stats_lock = threading.Lock()

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1


def _int32(value, what):
    value = int(value)
    if not INT32_MIN <= value <= INT32_MAX:
        raise OverflowError(f"{what} {value} does not fit in 32 bits")
    return value


def _library(library):
    return library if library is not None else _native.load()


@contextlib.contextmanager
def counting_slot(operation: str):
    """Holds the process's one counting run for the block; a second thread waits, the
    same thread is refused."""
    global _run_owner
    if _run_owner == threading.get_ident():
        raise OperationError(
            operation, "this thread already has a counting run open; the library keeps one "
            "per process")
    with _run_lock:
        _run_owner = threading.get_ident()
        try:
            yield
        finally:
            _run_owner = None


# Pairs whose words go to the engine's conversion in one call.
PAIR_BATCH = 4096


def _batches(items, size):
    batch = []
    for item in items:
        batch.append(item)
        if len(batch) == size:
            yield batch
            batch = []
    if batch:
        yield batch


class CountingRun:
    """A counting run whose sorted spill files temp1.txt, temp2.txt, ... go to `workdir`.

    Use it as a context manager: End runs on exit, also when the block raises. One run is
    open per process; a second CountingRun in another thread waits for the first to end.
    """

    def __init__(self, workdir, encoding=DEFAULT_ENCODING, errors="strict", library=None):
        self.workdir = Path(workdir)
        self.encoder = Encoder(encoding, errors)
        self.library = _library(library)
        self.pairs_added = 0  # calls that reached the library
        # Pairs left out whole (errors='drop') for a word with no form in the encoding.
        self.pairs_skipped = 0
        self._open = False

    def begin(self):
        global _run_owner
        if self._open:
            raise OperationError("ULO_Stat_AssociatedFreq_Begin", "this run is already open")
        if _run_owner == threading.get_ident():
            raise OperationError(
                "ULO_Stat_AssociatedFreq_Begin",
                "this thread already has a counting run open; the library keeps one per process",
            )
        # The library takes any directory string; a missing directory would only show at
        # the first spill, after the pairs are counted.
        if not self.workdir.is_dir():
            raise OperationError(
                "ULO_Stat_AssociatedFreq_Begin", f"{self.workdir} is not a directory"
            )
        path = encode_path(self.workdir)
        _run_lock.acquire()
        _run_owner = threading.get_ident()
        try:
            if not self.library.ULO_Stat_AssociatedFreq_Begin(path):
                raise OperationError(
                    "ULO_Stat_AssociatedFreq_Begin",
                    f"the library refused to open a counting run in {self.workdir}",
                )
        except BaseException:
            _run_owner = None
            _run_lock.release()
            raise
        self._open = True
        return self

    def add(self, word1, word2, count=1, one_way=False):
        """Counts (word1, word2), and (word2, word1) too unless one_way."""
        if not self._open:
            raise OperationError("ULO_Stat_AssociatedFreq", "the counting run is not open")
        self._add_encoded(self._encode_pairs([(word1, word2, count)]), one_way)

    def add_many(self, pairs, one_way=False):
        """Counts every (word1, word2) or (word1, word2, count) of `pairs`."""
        self._add_encoded(self._encode_pairs(pairs), one_way)

    def _encode_pairs(self, pairs):
        """The (bytes, bytes, count) triples of `pairs`: words non-empty, counts within 32
        bits; a pair with a word the encoding cannot hold raises, or with errors='drop' is
        left out whole and counted."""
        for batch in _batches(pairs, PAIR_BATCH):
            rows = [(pair[0], pair[1], _int32(pair[2], "count") if len(pair) == 3 else 1)
                    for pair in batch]
            try:
                words = self.encoder.encode_many(w for row in rows for w in row[:2])
                encoded = [(words[2 * i], words[2 * i + 1], row[2])
                           for i, row in enumerate(rows)]
            except UnicodeEncodeError:
                if self.encoder.errors != "drop":
                    raise
                encoded = list(self._encode_each(rows))
            for a, b, count in encoded:
                if not a or not b:
                    raise OperationError("ULO_Stat_AssociatedFreq", "a word is empty")
                yield a, b, count

    def _encode_each(self, rows):
        """The rows a pair at a time, a pair with a word the encoding cannot hold left out."""
        for word1, word2, count in rows:
            try:
                yield self.encoder.encode(word1), self.encoder.encode(word2), count
            except UnicodeEncodeError:
                self.pairs_skipped += 1

    def _add_encoded(self, pairs, one_way):
        """Counts (bytes, bytes, count) triples that the caller has checked: non-empty words,
        counts within 32 bits. The package's own counting feeds runs through this."""
        if not self._open:
            raise OperationError("ULO_Stat_AssociatedFreq", "the counting run is not open")
        function = self.library.ULO_Stat_AssociatedFreq
        flag = 1 if one_way else 0
        added = 0
        try:
            for a, b, count in pairs:
                if not function(a, b, count, flag):
                    raise OperationError(
                        "ULO_Stat_AssociatedFreq",
                        f"the library refused a pair (a spill file in {self.workdir} "
                        "may have failed)",
                    )
                added += 1
        finally:
            self.pairs_added += added

    def end(self):
        global _run_owner
        if not self._open:
            return
        self._open = False
        try:
            result = self.library.ULO_Stat_AssociatedFreq_End()
        finally:
            _run_owner = None
            _run_lock.release()
        if result != 1:
            raise OperationError(
                "ULO_Stat_AssociatedFreq_End",
                f"the last spill file could not be written in {self.workdir}",
            )

    def __enter__(self):
        return self.begin()

    def __exit__(self, kind, value, traceback):
        self.end()
        return False


def _file_operation(name: str, library, *args, what: str) -> None:
    """An engine operation on files: inputs checked first, the output staged."""
    library = _library(library)
    engine = library.engine
    with _merge_lock if name.startswith("ulo_merge") else _stats_lock:
        engine.call(name, engine.exports, *args, what=what)


def merge(source_dir, out, library=None, jobs: int = 1, parts: bool = False) -> Path:
    """Merges every pair-count file under `source_dir` into `out`; returns `out`.

    jobs: key ranges merged at once, each in a process of its own (0: one per processor),
    the same bytes as one merge; parts: `out` becomes a directory of the ranges' sorted
    parts and their index, which every reader here takes as one pair-count file. The merge
    works beside `source_dir` and writes `out` under a temporary name first. On failure
    raises MergeError with the engine's sentence (the merge's code, its meaning and the
    error log's newest line).
    """
    try:
        if jobs == 1 and not parts:
            _file_operation("ulo_merge", library, encode_path(source_dir), encode_path(out),
                            what="merge")
        else:
            _file_operation("ulo_merge_ranges", library, encode_path(source_dir),
                            encode_path(out), int(jobs), 1 if parts else 0, what="merge")
    except OperationError as error:
        raise MergeError(error.operation, str(error).split(": ", 1)[-1]) from None
    return Path(out)


def filter_pairs(inp, out, threshold: int, library=None) -> Path:
    """Writes 'count TAB word1 TAB word2' for each pair of `inp` counted at least `threshold`."""
    _file_operation("ulo_filter", library, encode_path(inp), encode_path(out),
                    _int32(threshold, "threshold"), what="filter")
    return Path(out)


def support_records(inp, out, library=None) -> Path:
    """Writes the confidence and support records of both directions of every pair of `inp`."""
    _file_operation("ulo_support", library, encode_path(inp), encode_path(out),
                    what="support")
    return Path(out)


def top_n(inp, out, n: int, library=None) -> Path:
    """Writes the `n` best associated words of every word of `inp`."""
    n = _int32(n, "n")
    if n < 1:
        raise ValueError(f"n must be at least 1, not {n}")
    _file_operation("ulo_topn", library, encode_path(inp), encode_path(out), n, what="topn")
    return Path(out)


class Module:
    """The extension object: `execute(name, *args)` sends one command in a command buffer.

    Arguments are packed as the command buffer wants them: `str`/`bytes`/paths as
    NUL-terminated strings, `int` as a little-endian 32-bit integer, `bool` as a flag byte.
    """

    def __init__(self, encoding=DEFAULT_ENCODING, library=None):
        self.library = _library(library)
        self.encoder = Encoder(encoding)
        refusal = self.library.conventions.refusal
        if refusal:
            raise OperationError("VornModule_CreateInstance", refusal)
        pointer = ctypes.c_void_p()
        if self.library.VornModule_CreateInstance(0, ctypes.byref(pointer)) != 0 or not pointer:
            raise OperationError(
                "VornModule_CreateInstance", "the library did not hand out its extension object"
            )
        self._object = pointer
        table = ctypes.cast(pointer, ctypes.POINTER(ctypes.POINTER(ctypes.c_void_p)))[0]
        kind = _native.function_type(self.library.conventions.methods)
        self._methods = {
            name: kind(result, ctypes.c_void_p, *args)(table[slot])
            for slot, (name, result, args) in enumerate(_native.VTABLE)
        }
        self._value = ctypes.c_int32(0)

    def _call(self, name, *args):
        if self._object is None:
            raise OperationError(name, "the extension object has been released")
        return self._methods[name](self._object, *args)

    def pack(self, name: str, *args) -> bytes:
        """The command buffer for `name` with `args` (the engine lays it out)."""
        engine = self.library.engine
        dll = engine.dll
        command = dll.ulo_command_create(self._string(name))
        try:
            for arg in args:
                if isinstance(arg, bool):
                    dll.ulo_command_add_flag(command, 1 if arg else 0)
                elif isinstance(arg, int):
                    dll.ulo_command_add_int32(command, _int32(arg, "argument"))
                else:
                    data = (encode_path(arg) if isinstance(arg, os.PathLike)
                            else self._string(arg))
                    dll.ulo_command_add_string(command, data, len(data))
            length = ctypes.c_size_t()
            pointer = dll.ulo_command_bytes(command, ctypes.byref(length))
            return ctypes.string_at(pointer, length.value)
        finally:
            dll.ulo_command_destroy(command)

    def _string(self, text) -> bytes:
        data = self.encoder.encode(text)
        if b"\0" in data:
            raise ValueError(f"{text!r} holds a NUL byte, which would end it early")
        return data

    def execute_buffer(self, buffer):
        """Sends a ready command buffer and returns the status as it is."""
        return self._call("Execute", bytes(buffer), 0, ctypes.byref(self._value), 0)

    def execute(self, name, *args, check=True):
        """Runs one command; raises CommandError for a negative status unless check=False."""
        status = self.execute_buffer(self.pack(name, *args))
        if check and status != STATUS_OK:
            raise CommandError(name, status)
        return status

    def reserved_a(self):
        self._call("ReservedA")

    def reserved_b(self):
        return bool(self._call("ReservedB"))

    def reserved_c(self, value=0):
        self._call("ReservedC", value)

    def reserved_d(self, value=0):
        return bool(self._call("ReservedD", value))

    def reserved_e(self, value=0):
        self._call("ReservedE", value)

    def set_host_value(self, value):
        self._call("SetHostValue", _int32(value, "value"))

    def release(self):
        if self._object is not None:
            self._call("Release")
            self._object = None

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        self.release()
        return False

    def __del__(self):
        try:
            self.release()
        except Exception:
            pass
