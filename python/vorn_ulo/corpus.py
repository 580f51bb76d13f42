"""From text to a merged pair-count file in one call."""

import io
import os
from collections import Counter
from pathlib import Path

from . import api, tokens
from .encoding import DEFAULT_ENCODING, encode_skipping

TOKENIZERS = ("whitespace", "chars", "jieba")

# Pairs are added up in a bounded table before they reach the library, each distinct pair
# handed over once with its count: the merged result is the same, the calls far fewer.
BATCH_PAIRS = 200_000


class CountOptions:
    """How a corpus becomes pairs; picklable, so that workers of a cluster get it whole."""

    def __init__(
        self,
        window=3,
        tokenizer="whitespace",
        stopwords=None,
        drop_punctuation=True,
        one_way=False,
        source_encoding="utf-8",
        errors="strict",
    ):
        if int(window) < 1:
            raise ValueError(f"window must be at least 1, not {window}")
        if not callable(tokenizer) and tokenizer not in TOKENIZERS:
            raise ValueError(f"tokenizer must be one of {TOKENIZERS} or a callable")
        if errors not in ("strict", "skip"):
            raise ValueError(f"errors must be 'strict' or 'skip', not {errors!r}")
        self.window = int(window)
        self.tokenizer = tokenizer
        self.stopwords = _stopword_set(stopwords, source_encoding)
        self.drop_punctuation = bool(drop_punctuation)
        self.one_way = bool(one_way)
        self.source_encoding = source_encoding
        self.errors = errors


def _stopword_set(stopwords, source_encoding):
    if stopwords is None or stopwords is False:
        return frozenset()
    if isinstance(stopwords, str) and stopwords == "default":
        return frozenset(tokens.default_stopwords())
    if isinstance(stopwords, (str, os.PathLike)):
        return frozenset(tokens.load_stopwords(stopwords, source_encoding))
    words = set()
    for word in stopwords:
        words.add(word if isinstance(word, bytes) else word.encode(DEFAULT_ENCODING))
    return frozenset(words)


class Summary(dict):
    """What a count saw: lines, tokens, pairs and what was dropped or skipped."""

    def add(self, other):
        for key, value in other.items():
            self[key] = self.get(key, 0) + value
        return self


class _LineCounter:
    """Turns lines into tokens, tokens into pairs, and pairs into calls of one counting run."""

    def __init__(self, run, options):
        self.run = run
        self.options = options
        self.filter = tokens.TokenFilter(options.stopwords, options.drop_punctuation)
        self.pairs = Counter()
        self.pending = 0
        self.lines = self.tokens = self.pairs_fed = 0
        self.skipped_chars = self.invalid_bytes = 0
        tokenizer = options.tokenizer
        if tokenizer == "jieba":
            import jieba

            jieba.setLogLevel(60)
            self._cut = jieba.lcut
        self._split = tokens.char_tokens if tokenizer == "chars" else tokens.word_tokens

    def _to_gb2312(self, text):
        if self.options.errors == "strict":
            return text.encode(DEFAULT_ENCODING)
        data, skipped = encode_skipping(text)
        self.skipped_chars += skipped
        return data

    def _decode(self, raw):
        encoding = self.options.source_encoding
        try:
            return raw.decode(encoding)
        except UnicodeDecodeError:
            if self.options.errors == "strict":
                raise
        text = raw.decode(encoding, errors="replace")
        # Count what the decoder could not read, then leave it out.
        self.invalid_bytes += text.count("\ufffd") - raw.decode(encoding, "ignore").count("\ufffd")
        return raw.decode(encoding, errors="ignore")

    def raw_line(self, raw):
        """One line of a file as bytes: decoded from the source encoding unless it is GB2312."""
        encoding = self.options.source_encoding
        tokenizer = self.options.tokenizer
        if (encoding is None or _is_gb2312(encoding)) and isinstance(tokenizer, str) and (
            tokenizer != "jieba"
        ):
            self.lines += 1
            self._tokens(self._split(raw))
            return
        self.text_line(self._decode(raw))

    def text_line(self, text):
        self.lines += 1
        tokenizer = self.options.tokenizer
        if tokenizer == "jieba":
            text = " ".join(self._cut(text.rstrip("\r\n")))
        elif callable(tokenizer):
            words = []
            for token in tokenizer(text):
                data = token if isinstance(token, bytes) else self._to_gb2312(token)
                if data:
                    words.append(data)
            self._tokens(words)
            return
        self._tokens(self._split(self._to_gb2312(text)))

    def _tokens(self, words):
        words = self.filter(words)
        self.tokens += len(words)
        n = len(words)
        if n < 2:
            return
        for gap in range(1, min(self.options.window, n - 1) + 1):
            self.pairs.update(zip(words, words[gap:]))
            self.pending += n - gap
        if len(self.pairs) >= BATCH_PAIRS or self.pending >= 2**30:
            self.flush()

    def flush(self):
        if self.pairs:
            # Tokens are never empty, and no count of a batch passes 2**30.
            self.run._add_encoded(
                ((a, b, c) for (a, b), c in self.pairs.items()), self.options.one_way
            )
        self.pairs_fed += self.pending
        self.pairs.clear()
        self.pending = 0

    def summary(self):
        return Summary(
            lines=self.lines,
            tokens=self.tokens,
            pairs_fed=self.pairs_fed,
            dropped_stopwords=self.filter.dropped_stopwords,
            dropped_punctuation=self.filter.dropped_punctuation,
            skipped_chars=self.skipped_chars,
            invalid_bytes=self.invalid_bytes,
        )


def _is_gb2312(name):
    return name.lower().replace("-", "").replace("_", "") in ("gb2312", "euccn")


class Shard:
    """The lines of a file that begin in the byte range [start, end)."""

    __slots__ = ("path", "start", "end")

    def __init__(self, path, start=0, end=None):
        self.path, self.start, self.end = path, start, end

    def __reduce__(self):
        return Shard, (self.path, self.start, self.end)

    def __repr__(self):
        return f"Shard({self.path!r}, {self.start}, {self.end})"


def read_shard(path, start=0, end=None):
    """The byte lines of `path` that begin in [start, end), each with its LF."""
    with open(path, "rb") as file:
        if start > 0:
            file.seek(start - 1)
            file.readline()  # the line that began before start belongs to the shard before
        position = file.tell()
        for line in file:
            if end is not None and position >= end:
                break
            position += len(line)
            yield line


def _source_lines(source):
    """('raw', bytes line) or ('text', str line) for each line of one corpus item."""
    if isinstance(source, Shard):
        for line in read_shard(source.path, source.start, source.end):
            yield "raw", line
    elif isinstance(source, os.PathLike) or (
        isinstance(source, str) and "\n" not in source and os.path.isfile(source)
    ):
        for line in read_shard(source):
            yield "raw", line
    elif isinstance(source, str):
        for line in io.StringIO(source):
            yield "text", line
    elif isinstance(source, bytes):
        for line in io.BytesIO(source):
            yield "raw", line
    elif hasattr(source, "read"):
        for line in source:
            yield ("raw" if isinstance(line, bytes) else "text"), line
    else:
        raise TypeError(f"a corpus is a path, a text or a file, not {type(source).__name__}")


def count_into(sources, spill_dir, options, library=None):
    """One counting run over `sources` into `spill_dir`; returns its Summary."""
    spill_dir = Path(spill_dir)
    with api.CountingRun(spill_dir, library=library) as run:
        counter = _LineCounter(run, options)
        for source in sources:
            for kind, line in _source_lines(source):
                if kind == "raw":
                    counter.raw_line(line)
                else:
                    counter.text_line(line)
        counter.flush()
    summary = counter.summary()
    summary["spill_files"] = sum(1 for _ in spill_dir.glob("temp*.txt"))
    return summary


def prepare_spill_dir(path):
    """An empty directory for spill files: created, or cleared of earlier spill files. Any
    other file there would be merged as if it were counts, so it is refused."""
    path = Path(path)
    path.mkdir(parents=True, exist_ok=True)
    for entry in path.iterdir():
        if entry.is_file() and entry.name.startswith("temp") and entry.name.endswith(".txt"):
            entry.unlink()
        else:
            raise FileExistsError(f"{path} holds {entry.name}, which the merge would take in")
    return path


def _corpus_list(paths_or_texts):
    if isinstance(paths_or_texts, (str, bytes, os.PathLike, Shard)) or hasattr(
        paths_or_texts, "read"
    ):
        return [paths_or_texts]
    return list(paths_or_texts)


def count_corpus(
    paths_or_texts,
    workdir,
    window=3,
    tokenizer="whitespace",
    stopwords=None,
    drop_punctuation=True,
    one_way=False,
    source_encoding="utf-8",
    errors="strict",
    summary=None,
    library=None,
):
    """Counts the pairs of tokens at most `window` apart and merges them into
    WORKDIR/pairs.txt, which it returns (spill files in WORKDIR/spill).

    paths_or_texts: a path, a text, or a list of them (a `str` naming an existing file is a
    path). Files are read in `source_encoding` (None or 'gb2312': taken as GB2312 bytes).
    tokenizer: 'whitespace' (words between blanks), 'chars' (every GB2312 Chinese
    character), 'jieba' (the words jieba cuts), or a callable from a line to its tokens.
    stopwords: None, 'default' (the package's Chinese and English lists), a file, or words.
    errors='skip' leaves out characters with no GB2312 form (counted in `summary`).
    """
    options = CountOptions(
        window, tokenizer, stopwords, drop_punctuation, one_way, source_encoding, errors
    )
    workdir = Path(workdir)
    spill = prepare_spill_dir(workdir / "spill")
    result = count_into(_corpus_list(paths_or_texts), spill, options, library=library)
    out = workdir / "pairs.txt"
    api.merge(spill, out, library=library)
    if summary is not None:
        summary.update(result)
    return out
