"""Turning Python words and paths into the library's byte strings."""

import codecs
import ctypes
import os
from typing import List, Sequence, Tuple

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


def _convert(data: bytes, source: str, target: str) -> Tuple[bytes, int, int]:
    """`data` converted by the engine: (bytes, invalid bytes, characters lacking)."""
    from . import _native

    engine = _native.load().engine
    length, invalid, lacking = ctypes.c_size_t(), ctypes.c_uint64(), ctypes.c_uint64()
    pointer = engine.call("ulo_convert", source.encode(), target.encode(), data, len(data),
                          ctypes.byref(length), ctypes.byref(invalid), ctypes.byref(lacking),
                          what="convert")
    try:
        return ctypes.string_at(pointer, length.value), invalid.value, lacking.value
    finally:
        engine.dll.ulo_free(pointer)


# Python's own gb18030 codec gives some characters other bytes than the engine (which
# writes every file of the library) and reads some of its bytes as other characters: the
# library's text goes through the engine's conversion, a batch at a time.


def encode_library(text: str) -> bytes:
    """`text` in the library's bytes. UnicodeEncodeError for a character the engine's
    conversion lacks (or a lone surrogate)."""
    data, _, lacking = _convert(text.encode("utf-8"), "UTF-8", "")
    if lacking:
        for index, character in enumerate(text):
            if _convert(character.encode("utf-8"), "UTF-8", "")[2]:
                raise UnicodeEncodeError(DEFAULT_ENCODING, text, index, index + 1,
                                         "no form in the library's encoding")
    return data


def decode_library(data: bytes, errors: str = "strict") -> str:
    """The library's bytes as text; what the engine cannot read goes to the codec error
    handler `errors` ("strict" raises UnicodeDecodeError), a character at a time."""
    text, invalid, _ = _convert(data, "", "UTF-8")
    if not invalid:
        return text.decode("utf-8")
    handler = codecs.lookup_error(errors)
    parts, position = [], 0
    while position < len(data):
        end = position + _character_size(data, position)
        converted, invalid, _ = _convert(data[position:end], "", "UTF-8")
        if not invalid:
            parts.append(converted.decode("utf-8"))
            position = end
            continue
        replacement, position = handler(UnicodeDecodeError(
            DEFAULT_ENCODING, data, position, end, "not a character of the library's encoding"))
        parts.append(replacement)
        if position < 0:
            position += len(data)
    return "".join(parts)


def _character_size(data: bytes, at: int) -> int:
    """The bytes of the GB18030 character that starts at `at` by its shape (1 when no
    character starts there)."""
    lead = data[at]
    if 0x81 <= lead <= 0xFE and at + 1 < len(data):
        second = data[at + 1]
        if 0x40 <= second <= 0xFE and second != 0x7F:
            return 2
        if 0x30 <= second <= 0x39 and at + 3 < len(data) and \
                0x81 <= data[at + 2] <= 0xFE and 0x30 <= data[at + 3] <= 0x39:
            return 4
    return 1


# LF is LF in both encodings and never inside a character: words joined by it convert in
# one call and split back.
def encode_words(words: Sequence[str]) -> List[bytes]:
    """encode_library of each word, in one call where no word holds LF."""
    words = list(words)
    if len(words) < 2 or any("\n" in word for word in words):
        return [encode_library(word) for word in words]
    try:
        data, _, lacking = _convert("\n".join(words).encode("utf-8"), "UTF-8", "")
    except UnicodeEncodeError:
        lacking = 1
    if lacking:  # which word, and where
        return [encode_library(word) for word in words]
    return data.split(b"\n")


def decode_words(words: Sequence[bytes], errors: str = "strict") -> List[str]:
    """decode_library of each word (none holding LF), in one call."""
    words = list(words)
    if len(words) < 2:
        return [decode_library(word, errors) for word in words]
    text, invalid, _ = _convert(b"\n".join(words), "", "UTF-8")
    if invalid:  # which word, and where
        return [decode_library(word, errors) for word in words]
    return text.decode("utf-8").split("\n")


class Encoder:
    """Encodes `str` to the library's encoding; `bytes` pass through untouched.

    A word with a character that has no form in the encoding (only a narrower one than
    GB18030, such as gb2312, lacks any) raises UnicodeEncodeError; a caller asked for
    errors='drop' leaves the word out whole, never cut.
    """

    def __init__(self, encoding=DEFAULT_ENCODING, errors="strict"):
        if errors not in ERRORS:
            raise ValueError(f"errors must be one of {ERRORS}, not {errors!r}")
        "".encode(encoding)  # an unknown encoding fails here, not on the first word
        self.encoding = encoding
        self.errors = errors
        self.library = is_library_encoding(encoding)

    def encode(self, text):
        if isinstance(text, bytes):
            return text
        if isinstance(text, (bytearray, memoryview)):
            return bytes(text)
        if not isinstance(text, str):
            raise TypeError(f"expected str or bytes, not {type(text).__name__}")
        if self.library:
            return encode_library(text)
        return text.encode(self.encoding)

    def encode_many(self, items) -> List[bytes]:
        """encode() of each item, the library's text in one call of the engine."""
        items = list(items)
        if not self.library:
            return [self.encode(item) for item in items]
        texts = [index for index, item in enumerate(items) if isinstance(item, str)]
        result = [None] * len(items)
        for index, data in zip(texts, encode_words([items[i] for i in texts])):
            result[index] = data
        return [self.encode(item) if data is None else data
                for item, data in zip(items, result)]


def encode_path(path):
    """A path as the library takes it: bytes untouched, anything else through os.fspath."""
    path = os.fspath(path)
    if isinstance(path, bytes):
        return path
    if os.name == "nt":
        # The library uses the ANSI file calls: the system code page, not ours.
        return path.encode("mbcs")
    return os.fsencode(path)
