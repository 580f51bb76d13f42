"""Turning Python words and paths into the library's byte strings."""

import codecs
import ctypes
import functools
import os
from typing import List, NamedTuple, Optional, Sequence

# What the library's files hold: GB18030, which has a form for every character and gives
# GB2312's characters GB2312's own bytes. The engine's count option `encoding` defaults to it.
DEFAULT_ENCODING = "gb18030"
LIBRARY_ENCODING = DEFAULT_ENCODING
ERRORS = ("strict", "drop")


def is_library_encoding(encoding) -> bool:
    """Whether `encoding` (a Python codec name) is the library's."""
    try:
        return codecs.lookup(encoding).name == DEFAULT_ENCODING
    except (LookupError, TypeError):
        return False


class _Conversion(NamedTuple):
    data: bytes
    invalid: int  # bytes left out, the first at invalid_at
    lacking: int  # characters the target lacks, the first at lacking_at in the UTF-8 form
    invalid_at: int
    lacking_at: int


def _convert(data: bytes, source: str, target: str) -> _Conversion:
    """`data` converted by the engine."""
    from . import _native

    engine = _native.load().engine
    length = ctypes.c_size_t()
    counts = [ctypes.c_uint64() for _ in range(4)]
    pointer = engine.call("ulo_convert", source.encode(), target.encode(), data, len(data),
                          ctypes.byref(length), *map(ctypes.byref, counts), what="convert")
    try:
        return _Conversion(ctypes.string_at(pointer, length.value), *(c.value for c in counts))
    finally:
        engine.dll.ulo_free(pointer)


# Python's own gb18030 codec gives some characters other bytes than the engine (which
# writes every file of the library) and reads some of its bytes as other characters: the
# library's text goes through the engine's conversion, a batch at a time.


def encode_source(text: str, encoding: str = "") -> bytes:
    """`text` in `encoding` ("" for the library's) as the engine's conversion writes it, so
    that the engine reads it back as the same characters (Python's codecs give some of them
    other bytes). UnicodeEncodeError for a character the encoding lacks (or a lone
    surrogate)."""
    utf8 = text.encode("utf-8")
    converted = _convert(utf8, "UTF-8", encoding)
    if converted.lacking:
        index = len(utf8[:converted.lacking_at].decode("utf-8"))
        where = encoding or "the library's encoding"
        raise UnicodeEncodeError(encoding or DEFAULT_ENCODING, text, index, index + 1,
                                 "no form in " + where)
    return converted.data


def encode_library(text: str) -> bytes:
    """`text` in the library's bytes. UnicodeEncodeError for a character the engine's
    conversion lacks (or a lone surrogate)."""
    return encode_source(text)


def decode_library(data: bytes, errors: str = "strict", encoding: str = "") -> str:
    """Bytes in `encoding` ("" for the library's) as the engine reads them; a byte it cannot
    read goes to the codec error handler `errors` ("strict" raises UnicodeDecodeError)."""
    parts, position = [], 0
    while True:
        rest = data[position:]
        converted = _convert(rest, encoding, "UTF-8")
        if not converted.invalid:
            parts.append(converted.data.decode("utf-8"))
            return "".join(parts)
        at = position + converted.invalid_at
        parts.append(_convert(data[position:at], encoding, "UTF-8").data.decode("utf-8"))
        replacement, position = codecs.lookup_error(errors)(UnicodeDecodeError(
            encoding or DEFAULT_ENCODING, data, at, at + 1,
            f"not valid {encoding}" if encoding else "not a character of the library's encoding"))
        parts.append(replacement)
        if position < 0:
            position += len(data)


# LF is LF in both encodings and never inside a character: words joined by it convert in
# one call and split back.
def encode_words(words: Sequence[str], encoding: str = "") -> List[bytes]:
    """encode_source of each word, in one call where no word holds LF."""
    words = list(words)
    if len(words) < 2 or any("\n" in word for word in words):
        return [encode_source(word, encoding) for word in words]
    try:
        converted = _convert("\n".join(words).encode("utf-8"), "UTF-8", encoding)
    except UnicodeEncodeError:  # a lone surrogate
        converted = None
    if converted is None or converted.lacking:  # which word, and where
        return [encode_source(word, encoding) for word in words]
    return converted.data.split(b"\n")


def decode_words(words: Sequence[bytes], errors: str = "strict", encoding: str = "") -> List[str]:
    """decode_library of each word (none holding LF), in one call; each apart, from the
    encoding's first state, where one cannot be read."""
    words = list(words)
    if len(words) < 2:
        return [decode_library(word, errors, encoding) for word in words]
    converted = _convert(b"\n".join(words), encoding, "UTF-8")
    text = converted.data.decode("utf-8").split("\n")
    if converted.invalid or len(text) != len(words):  # which word, and where
        return [decode_library(word, errors, encoding) for word in words]
    return text


# What a Python codec must keep as it is to write words for the library's files: TAB, LF,
# digits and the rest of ASCII, as the engine asks of its own conversions.
ASCII = bytes(range(1, 0x80))


def engine_name(encoding: str) -> str:
    """The name the engine's conversion takes for `encoding`: "" for the library's."""
    return "" if is_library_encoding(encoding) else encoding


@functools.lru_cache(maxsize=None)
def engine_encoding(encoding) -> Optional[str]:
    """engine_name() of the Python codec `encoding` (or of its canonical name) where the
    engine takes it for words, written and read back as written; None where it does not,
    for Python's codec."""
    from . import _native

    if not isinstance(encoding, str):
        return None
    names = [encoding]
    try:
        names.append(codecs.lookup(encoding).name)
    except LookupError:  # a name iconv may know all the same
        pass
    engine = _native.load().engine
    for name in map(engine_name, names):
        if engine.encoding_problem(name, "words") is None:
            return name
    return None


class Encoder:
    """Encodes `str` to the library's encoding; `bytes` pass through untouched.

    A word with a character that has no form in the encoding (only a narrower one than
    GB18030, such as gb2312, lacks any) raises UnicodeEncodeError; a caller asked for
    errors='drop' leaves the word out whole, never cut.
    """

    def __init__(self, encoding=DEFAULT_ENCODING, errors="strict"):
        if errors not in ERRORS:
            raise ValueError(f"errors must be one of {ERRORS}, not {errors!r}")
        self.codec = encoding
        # By the engine's conversion where it takes the encoding, as the engine reads the
        # words back: Python's gb2312 codec has no form for GB2312's own middle dot.
        self.encoding = engine_encoding(encoding)
        # Else by Python's codec: an unknown one fails here, not on the first word; one that
        # gives ASCII other bytes would make the library's TABs and LFs other bytes.
        if self.encoding is None and ASCII.decode().encode(encoding) != ASCII:
            raise ValueError(f"words cannot be written in {encoding}: it does not keep ASCII "
                             "as it is")
        self.errors = errors

    def encode(self, text):
        if isinstance(text, bytes):
            return text
        if isinstance(text, (bytearray, memoryview)):
            return bytes(text)
        if not isinstance(text, str):
            raise TypeError(f"expected str or bytes, not {type(text).__name__}")
        if self.encoding is None:
            return text.encode(self.codec)
        return encode_source(text, self.encoding)

    def encode_many(self, items) -> List[bytes]:
        """encode() of each item, the texts in one call of the engine."""
        items = list(items)
        if self.encoding is None:
            return [self.encode(item) for item in items]
        texts = [index for index, item in enumerate(items) if isinstance(item, str)]
        result = [None] * len(items)
        for index, data in zip(texts, encode_words([items[i] for i in texts], self.encoding)):
            result[index] = data
        return [self.encode(item) if data is None else data
                for item, data in zip(items, result)]


def encode_path(path):
    """A path as the library takes it: bytes untouched, anything else through os.fspath.
    ValueError for a NUL, as open() gives: the library would take the name cut short."""
    path = os.fspath(path)
    if ("\0" if isinstance(path, str) else b"\0") in path:
        raise ValueError(f"embedded null byte in the path {path!r}")
    if isinstance(path, bytes):
        return path
    if os.name == "nt":
        # The library uses the ANSI file calls: the system code page, not ours.
        return path.encode("mbcs")
    return os.fsencode(path)
