"""The corpus job of the benchmark report: an English dictionary's text to
merged pair counts, by `ulo count` + `ulo merge` and by what people would use
instead. bench/runner.py builds it.

The corpus is Debian's dict-gcide (installed by scripts/install-deps bench,
never stored in the repository): the text of every entry, lower-cased, as its
[a-z]+ tokens, one entry a line. Pairs are a token and each of the next five
of its line, counted in both directions.
"""

import gzip
import os
import re
import subprocess

DICTIONARY = "/usr/share/dictd/gcide.dict.dz"
INDEX = "/usr/share/dictd/gcide.index"
WINDOW = 5
_DIGITS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"


def available():
    return os.path.exists(DICTIONARY) and os.path.exists(INDEX)


def _number(text):
    value = 0
    for c in text:
        value = value * 64 + _DIGITS.index(c)
    return value


def make_corpus(path, scale, log):
    """Writes the corpus once (the first tenth of the entries for --quick)."""
    if os.path.exists(path) or not available():
        return
    log("generating %s from %s" % (os.path.basename(path), DICTIONARY))
    with gzip.open(DICTIONARY) as f:
        text = f.read()
    spans = set()
    with open(INDEX, encoding="utf-8", errors="replace") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) >= 3:
                spans.add((_number(fields[1]), _number(fields[2])))
    spans = sorted(spans)  # an entry named by several headwords once
    spans = spans[:max(1, int(len(spans) * scale))]
    token = re.compile(rb"[a-z]+")
    with open(path + ".part", "wb") as out:
        for start, length in spans:
            words = token.findall(text[start:start + length].lower())
            if words:
                out.write(b" ".join(words) + b"\n")
    os.rename(path + ".part", path)


def supports_jobs(ulo):
    """Whether this ulo counts in several worker processes (`--jobs N`)."""
    result = subprocess.run([ulo, "count", "--help"], capture_output=True, text=True)
    return "--jobs" in result.stdout + result.stderr


def dask_package(root):
    """The python/ directory when the package's distributed count is there."""
    python = os.path.join(root, "python")
    if os.path.exists(os.path.join(python, "vorn_ulo", "distributed.py")):
        return python
    return None
