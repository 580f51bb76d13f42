"""Turning Python words and paths into the library's byte strings."""

import codecs
import os
import threading

DEFAULT_ENCODING = "gb2312"
# What the library's files hold, read back: GB18030, whose bytes for GB2312's
# characters are GB2312's own.
LIBRARY_ENCODING = "gb18030"

_skips = threading.local()


def _skip_and_count(error):
    _skips.count = getattr(_skips, "count", 0) + (error.end - error.start)
    return "", error.end


codecs.register_error("vorn_ulo.skip", _skip_and_count)


def encode_skipping(text, encoding=DEFAULT_ENCODING):
    """`text` encoded with the characters that have no form left out: (bytes, how many)."""
    before = getattr(_skips, "count", 0)
    data = text.encode(encoding, "vorn_ulo.skip")
    return data, getattr(_skips, "count", 0) - before


class Encoder:
    """Encodes `str` to the library's code page; `bytes` pass through untouched.

    errors='strict' raises UnicodeEncodeError for a character with no form in the encoding;
    errors='skip' leaves such characters out and counts them in `skipped`.
    """

    def __init__(self, encoding=DEFAULT_ENCODING, errors="strict"):
        if errors not in ("strict", "skip"):
            raise ValueError(f"errors must be 'strict' or 'skip', not {errors!r}")
        "".encode(encoding)  # an unknown encoding fails here, not on the first word
        self.encoding = encoding
        self.errors = errors
        self.skipped = 0

    def encode(self, text):
        if isinstance(text, bytes):
            return text
        if isinstance(text, (bytearray, memoryview)):
            return bytes(text)
        if not isinstance(text, str):
            raise TypeError(f"expected str or bytes, not {type(text).__name__}")
        if self.errors == "strict":
            return text.encode(self.encoding)
        data, skipped = encode_skipping(text, self.encoding)
        self.skipped += skipped
        return data


def encode_path(path):
    """A path as the library takes it: bytes untouched, anything else through os.fspath."""
    path = os.fspath(path)
    if isinstance(path, bytes):
        return path
    if os.name == "nt":
        # The library uses the ANSI file calls: the system code page, not ours.
        return path.encode("mbcs")
    return os.fsencode(path)
