"""Streaming the library's files as Python values, and reading them whole as DataFrames."""

import csv
import functools
import os

from .encoding import LIBRARY_ENCODING, decode_words, encode_words, engine_encoding

# The labels of a support record, in the order the record holds them.
LABELS = ("<rec>", "<基准规则>=", "<关联规则>=", "<置信度>=", "<支持度>=")
# Lines whose words are decoded together.
BATCH_LINES = 1 << 14


@functools.lru_cache(maxsize=None)
def support_labels():
    """LABELS in the library's bytes."""
    return tuple(encode_words(LABELS))

KINDS = {
    # kind: (column names, types)
    "pairs": (("word1", "word2", "count"), (str, str, "int64")),
    "filtered": (("count", "word1", "word2"), ("int64", str, str)),
    "top_n": (("word", "other", "confidence", "support"), (str, str, "float64", "float64")),
}


def _decoder(encoding, errors):
    """A function from a list of words to the list decoded: by the engine, in one call,
    where it converts `encoding` (as it wrote the words), else by Python's codec."""
    if encoding is None:
        return lambda words: words
    name = engine_encoding(encoding)
    if name is not None:
        return lambda words: decode_words(words, errors, name)
    return lambda words: [word.decode(encoding, errors) for word in words]


def _decoded(rows, columns, decode):
    """Each row (a list of fields) with the fields at `columns` decoded, a batch of rows at
    a time."""
    batch = []

    def flush():
        words = iter(decode([row[c] for row in batch for c in columns]))
        for row in batch:
            for c in columns:
                row[c] = next(words)
            yield row
        batch.clear()

    rows = iter(rows)
    while True:
        try:
            row = next(rows)
        except StopIteration:
            break
        except ValueError:
            yield from flush()  # the rows before a malformed line
            raise
        batch.append(row)
        if len(batch) == BATCH_LINES:
            yield from flush()
    yield from flush()


def pair_files(path):
    """The files that make up the pair-count file `path`: itself, or the parts of a parts
    directory (ulo merge --parts, a cluster's count) in key order."""
    if not os.path.isdir(path):
        return [path]
    from . import _native

    return _native.load().engine.pair_file_parts(path)


def _lines(path):
    # LF here; CR LF where the library writes in text mode (Windows).
    for part in pair_files(path):
        with open(part, "rb") as file:
            for line in file:
                if line.endswith(b"\n"):
                    line = line[:-2] if line.endswith(b"\r\n") else line[:-1]
                yield line


def _fields(path, what, count):
    for number, line in enumerate(_lines(path), 1):
        if not line:
            continue
        fields = line.split(b"\t")
        if len(fields) != count:
            raise ValueError(f"{path}:{number}: not a {what} line: {line[:80]!r}")
        yield number, fields


def read_pairs(path, encoding=LIBRARY_ENCODING, errors="strict"):
    """Yields (word1, word2, count) for each line of a pair-count file or parts directory
    (bytes with encoding=None)."""
    rows = (fields for _, fields in _fields(path, "pair-count", 3))
    for word1, word2, count in _decoded(rows, (0, 1), _decoder(encoding, errors)):
        yield word1, word2, int(count)


def read_filtered(path, encoding=LIBRARY_ENCODING, errors="strict"):
    """Yields (count, word1, word2) for each line the filter wrote."""
    rows = (fields for _, fields in _fields(path, "filtered", 3))
    for count, word1, word2 in _decoded(rows, (1, 2), _decoder(encoding, errors)):
        yield int(count), word1, word2


def read_top_n(path, encoding=LIBRARY_ENCODING, errors="strict"):
    """Yields (word, other, confidence %, support %) for each line of a top-N file."""
    rows = (fields for _, fields in _fields(path, "top-N", 4))
    for word, other, confidence, support in _decoded(rows, (0, 1),
                                                     _decoder(encoding, errors)):
        yield word, other, float(confidence), float(support)


def read_support_records(path, encoding=LIBRARY_ENCODING, errors="strict"):
    """Yields (base, associated, confidence %, support %) for each record of a support file."""
    for _, base, associated, confidence, support in _decoded(
            _records(path), (1, 2), _decoder(encoding, errors)):
        yield base, associated, float(confidence), float(support)


def _records(path):
    labels = support_labels()
    record = []
    number = 0
    for number, line in enumerate(_lines(path), 1):
        label = labels[len(record)]
        if not line.startswith(label):
            raise ValueError(f"{path}:{number}: expected {label!r}, found {line[:80]!r}")
        record.append(line[len(label):])
        if len(record) == 5:
            yield record
            record = []
    if record:
        raise ValueError(f"{path}:{number}: the file ends inside a record")


def to_frame(path, kind="pairs", encoding=LIBRARY_ENCODING):
    """The whole file (or parts directory) as a pandas DataFrame, read by pandas' C parser.

    kind: 'pairs' (word1, word2, count), 'filtered' (count, word1, word2), 'top_n' (word,
    other, confidence, support) or 'support' (base, associated, confidence, support).
    """
    import pandas as pd

    if kind == "support":
        return _support_frame(path, encoding)
    if kind not in KINDS:
        raise ValueError(f"kind must be one of {sorted(KINDS) + ['support']}, not {kind!r}")
    names, types = KINDS[kind]
    frames = [_table_frame(part, names, types, encoding) for part in pair_files(path)]
    return frames[0] if len(frames) == 1 else pd.concat(frames, ignore_index=True)


def empty_frame(columns):
    """A frame without rows of `columns` (name -> str or a dtype), as a reader of an empty
    file gives it: pandas' C parser refuses a file without a line."""
    import pandas as pd

    return pd.DataFrame({name: pd.Series(dtype=object if kind is str else kind)
                         for name, kind in columns.items()})


def read_table(path, **options):
    """A file of the library or the engine read by pandas' C parser: fields end at TAB, lines
    at LF alone (a word may hold CR, which the parser takes for a line end otherwise); the CR
    of a CR LF line end (text mode on Windows) is taken off the last column, as _lines does."""
    import pandas as pd

    options.setdefault("header", None)
    frame = pd.read_csv(path, sep="\t", lineterminator="\n", engine="c",
                        quoting=csv.QUOTE_NONE, na_filter=False, keep_default_na=False,
                        **options)
    last = frame.columns[-1]
    if frame[last].dtype == object:
        ended = frame[last].str.endswith("\r")
        if ended.any():
            frame.loc[ended, last] = frame.loc[ended, last].str[:-1]
    return frame


def _table_frame(path, names, types, encoding):
    if os.path.getsize(path) == 0:  # the C parser refuses a file without a line
        return empty_frame(dict(zip(names, types)))
    frame = read_table(path, names=list(names), dtype=dict(zip(names, types)),
                       encoding="latin-1", skip_blank_lines=True)
    return decode_columns(frame, [n for n, t in zip(names, types) if t is str], encoding)


def decode_columns(frame, columns, encoding=LIBRARY_ENCODING, errors="strict"):
    """Decodes the words of `frame`'s columns, read as latin-1 (a character a byte), as
    _decoder decodes them (bytes for encoding None): a column in one call."""
    decode = _decoder(encoding, errors)
    for column in columns:
        frame[column] = decode([word.encode("latin-1") for word in frame[column]])
    return frame


def _support_frame(path, encoding):
    import pandas as pd

    if os.path.getsize(path) == 0:
        return empty_frame({"base": str, "associated": str, "confidence": "float64",
                            "support": "float64"})
    # A record is five lines without TABs: one column, then five lines to a row.
    # The library writes the labels in its own bytes, whatever its words' encoding.
    lines = read_table(path, names=["line"], dtype={"line": str}, encoding="latin-1",
                       skip_blank_lines=False)["line"]
    if len(lines) % 5:
        raise ValueError(f"{path}: {len(lines)} lines do not make whole five-line records")
    values = lines.to_numpy().reshape(-1, 5)
    labels = [label.decode("latin-1") for label in support_labels()]
    columns = {}
    for index, name in ((1, "base"), (2, "associated"), (3, "confidence"), (4, "support")):
        column = pd.Series(values[:, index], dtype=object)
        if not column.str.startswith(labels[index]).all():
            raise ValueError(f"{path}: a record lacks its label {labels[index]}")
        columns[name] = column.str.slice(len(labels[index]))
    if len(values) and not (values[:, 0] == labels[0]).all():
        raise ValueError(f"{path}: a record does not start with {labels[0]}")
    frame = pd.DataFrame(columns)
    decode_columns(frame, ["base", "associated"], encoding)
    frame["confidence"] = frame["confidence"].astype("float64")
    frame["support"] = frame["support"].astype("float64")
    return frame
