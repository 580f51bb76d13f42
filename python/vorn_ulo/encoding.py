"""Turning Python words and paths into the library's byte strings."""

import os

# What the library's files hold: GB18030, which has a form for every character and gives
# GB2312's characters GB2312's own bytes. The engine's count option `encoding` defaults to it.
DEFAULT_ENCODING = "gb18030"
LIBRARY_ENCODING = DEFAULT_ENCODING
ERRORS = ("strict", "drop")


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

    def encode(self, text):
        if isinstance(text, bytes):
            return text
        if isinstance(text, (bytearray, memoryview)):
            return bytes(text)
        if not isinstance(text, str):
            raise TypeError(f"expected str or bytes, not {type(text).__name__}")
        return text.encode(self.encoding)


def encode_path(path):
    """A path as the library takes it: bytes untouched, anything else through os.fspath."""
    path = os.fspath(path)
    if isinstance(path, bytes):
        return path
    if os.name == "nt":
        # The library uses the ANSI file calls: the system code page, not ours.
        return path.encode("mbcs")
    return os.fsencode(path)
