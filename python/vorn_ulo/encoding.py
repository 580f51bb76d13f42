"""Turning Python words and paths into the library's byte strings."""

import os

DEFAULT_ENCODING = "gb2312"


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
        try:
            return text.encode(self.encoding)
        except UnicodeEncodeError:
            if self.errors == "strict":
                raise
        kept = []
        for char in text:
            try:
                kept.append(char.encode(self.encoding))
            except UnicodeEncodeError:
                self.skipped += 1
        return b"".join(kept)


def encode_path(path):
    """A path as the library takes it: bytes untouched, anything else through os.fspath."""
    path = os.fspath(path)
    if isinstance(path, bytes):
        return path
    if os.name == "nt":
        # The library uses the ANSI file calls: the system code page, not ours.
        return path.encode("mbcs")
    return os.fsencode(path)
