"""From text to a merged pair-count file in one call, counted by the engine.

Files read by the engine's own tokenizers go to it whole (ulo_count_files, which deals them
out to worker processes as `ulo count --jobs N` does). Tokenizers that live in Python (jieba,
a callable) hand the engine lines already cut into tokens, one call per batch of lines.
"""

from __future__ import annotations

import contextlib
import ctypes
import errno
import multiprocessing
import os
import re
from concurrent.futures import ProcessPoolExecutor, as_completed
from concurrent.futures.process import BrokenProcessPool
from pathlib import Path
from typing import Callable, Dict, Iterable, List, Optional, Sequence, Tuple, Union

from . import _native, api
from .encoding import DEFAULT_ENCODING, LIBRARY_ENCODING, decode_words, engine_name
from .engine import PROGRESS, encode_path, number, parse_table, path_array
from .errors import EngineError

PathLike = Union[str, "os.PathLike[str]"]
Tokenizer = Union[str, Callable[[str], Iterable[str]]]
Progress = Union[None, bool, Callable[[int, int], None]]

ENGINE_TOKENIZERS = ("whitespace", "chars")
# About this many characters of token lines go to the engine in one call.
BATCH_CHARS = 1 << 20
# About this many bytes of a file's lines decoded at once.
SEGMENT_BLOCK_BYTES = 1 << 18


class CountOptions:
    """How a corpus becomes pairs; picklable, so that worker processes get it whole. The
    engine checks every value."""

    def __init__(self, window: int = 3, one_way: bool = False,
                 tokenizer: Tokenizer = "whitespace", source_encoding: str = "",
                 stopwords: str = "default", stopword_files: Sequence[PathLike] = (),
                 drop_punctuation: bool = True, jobs: int = 0,
                 encoding: str = DEFAULT_ENCODING):
        if not callable(tokenizer) and tokenizer not in ENGINE_TOKENIZERS + ("jieba",):
            raise ValueError(f"tokenizer must be one of {ENGINE_TOKENIZERS + ('jieba',)} or a "
                             f"callable, not {tokenizer!r}")
        self.window = window
        self.one_way = one_way
        self.tokenizer = tokenizer
        self.source_encoding = source_encoding or ""
        self.encoding = encoding
        self.stopwords = stopwords
        self.stopword_files = [os.fspath(f) for f in ([stopword_files] if isinstance(
            stopword_files, (str, os.PathLike)) else stopword_files)]
        self.drop_punctuation = drop_punctuation
        self.jobs = jobs

    @property
    def in_engine(self) -> bool:
        return self.tokenizer in ENGINE_TOKENIZERS

    def values(self, source_encoding: Optional[str] = None) -> List[Tuple[str, object]]:
        values = [("window", self.window), ("one_way", self.one_way),
                  ("source_encoding", self.source_encoding if source_encoding is None
                   else source_encoding),
                  ("encoding", self.encoding), ("stopwords", self.stopwords),
                  ("drop_punctuation", self.drop_punctuation), ("jobs", self.jobs)]
        if self.in_engine:
            values.append(("tokenizer", self.tokenizer))
        values += [("stopword_file", f) for f in self.stopword_files]
        return values

    def decoder(self) -> str:
        """The Python codec of the corpora, for tokenizers that read text."""
        return self.source_encoding or LIBRARY_ENCODING

    def decode(self, lines: List[bytes]) -> List[str]:
        """Lines (without LF) of a corpus as text; the library's encoding by the engine, as
        its own tokenizers read it."""
        # By the engine's conversion, as its tokenizers read the corpora: Python's codecs
        # read some bytes as other characters (Big5's A1 45 as U+2022, not U+2027; GB2312's
        # A1 A4 as U+30FB, not the middle dot).
        return decode_words(lines, "strict", engine_name(self.decoder()))

    def cutter(self) -> Callable[[str], Iterable[str]]:
        if callable(self.tokenizer):
            return self.tokenizer
        import jieba

        jieba.setLogLevel(60)
        return jieba.lcut


class Summary(dict):
    """What a count saw: the engine's figures (lines, pairs fed, what was dropped...)."""

    def add(self, other: Dict[str, object]) -> "Summary":
        for key, value in other.items():
            if isinstance(value, (int, float)):
                self[key] = self.get(key, 0) + value
            else:
                self.setdefault(key, value)
        return self


def _summary(text: Optional[str]) -> Summary:
    return Summary({k: number(v) for k, v in parse_table(text or "").items()})


class _Reporter:
    """Hands progress to a callback, or to a tqdm bar when asked with progress=True."""

    def __init__(self, progress: Progress):
        self.bar = None
        self.callback = None
        if progress is True:
            try:
                from tqdm import tqdm
            except ImportError:
                return
            self.bar = tqdm(unit=" lines", desc="counting")
        elif callable(progress):
            self.callback = progress

    @property
    def wanted(self) -> bool:
        return self.bar is not None or self.callback is not None

    def __call__(self, lines: int, pairs: int) -> None:
        if self.bar is not None:
            self.bar.update(lines - self.bar.n)
            self.bar.set_postfix(pairs=pairs, refresh=False)
        if self.callback is not None:
            self.callback(lines, pairs)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


class _Counter:
    """One counting run of the engine in this process, fed blocks or lines of tokens."""

    def __init__(self, engine, options: CountOptions, work_dir: Path,
                 source_encoding: Optional[str] = None):
        self.engine = engine
        self.dll = engine.dll
        handle = engine.options("count", options.values(source_encoding))
        try:
            self.handle = engine.call("ulo_counter_open", engine.exports, handle,
                                      encode_path(work_dir), what="count")
        finally:
            engine.free_options("count", handle)

    def call(self, name: str, *args) -> None:
        self.engine.call(name, self.handle, *args, what="count")

    def add_text(self, origin: str, data: bytes) -> None:
        self.call("ulo_counter_add_block", origin.encode("utf-8"), data, len(data))
        self.call("ulo_counter_end_text")

    def add_token_lines(self, data: bytes) -> None:
        self.call("ulo_counter_add_token_lines", data, len(data))

    def figures(self) -> Summary:
        return _summary(self.engine.owned_text("ulo_counter_summary", self.handle))

    def close(self) -> Summary:
        self.call("ulo_counter_close")
        return self.figures()

    def __enter__(self) -> "_Counter":
        return self

    def __exit__(self, *_) -> None:
        self.dll.ulo_counter_destroy(self.handle)


def _token_line(tokens: Iterable[str]) -> str:
    # White space inside or between tokens separates words, as in a segmented file.
    return "\t".join(" ".join(tokens).split())


def _feed_lines(counter: _Counter, lines: Iterable[str], cut, report: Optional[_Reporter],
                origin: str = "<text>", first: int = 1):
    """Lines of text through the Python tokenizer into the counter, a batch at a time.
    `first` is the number of the first line in `origin`, for messages."""
    batch: List[str] = []
    size = 0
    for line in lines:
        text = _token_line(cut(line.rstrip("\r\n")))
        batch.append(text)
        size += len(text) + 1
        if size >= BATCH_CHARS:
            _flush(counter, batch, report, origin, first)
            first += len(batch)
            batch, size = [], 0
    _flush(counter, batch, report, origin, first)


def _text_lines(text: str) -> List[str]:
    """The lines of a text as the engine cuts them: at LF only (str.splitlines() also cuts
    at \\x1c, \\x85, U+2028...), a last line without its LF counting."""
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    return lines


def _flush(counter: _Counter, batch: List[str], report: Optional[_Reporter], origin: str,
           first: int) -> None:
    if not batch:
        return
    try:
        counter.add_token_lines(("\n".join(batch) + "\n").encode("utf-8"))
    except EngineError as error:
        # The engine numbers the lines of the batch; the user needs the file's.
        found = re.search(r"\bline (\d+): (.*)", str(error))
        if not found:
            raise
        raise EngineError("count", f"cannot count {origin}: line "
                                   f"{first + int(found.group(1)) - 1}: {found.group(2)}") \
            from None
    if report is not None and report.wanted:
        figures = counter.figures()
        report(int(figures.get("lines", 0)), int(figures.get("pairs_fed", 0)))


def _segment_lines(engine, path: str, begin: int, end: int, options: CountOptions,
                   first: int):
    """The decoded lines of `path` from byte `begin` to `end` (0: the end), as the engine
    reads them; the first is line `first` of the file. Decoded a block of lines at a time."""
    for block in engine.line_blocks(path, begin, end, SEGMENT_BLOCK_BYTES):
        lines = _decoded(engine, options, block, path, first)
        yield from lines
        first += len(lines)


def _refuse_lines(engine, data: bytes, origin: str, first: int, before=None) -> None:
    """A line of `data` that the engine's count refuses whatever cuts its tokens (too long,
    say) is refused alike, named by its line in `origin`: a Python tokenizer's tokens may
    be shorter than their line, and would pass the token lines' check. `before(n)` first
    checks the n lines before it in their own way, as the engine reads them in order."""
    found = engine.lines_problem(data)
    if found:
        if before:
            before(found[0])
        raise EngineError("count", f"cannot count {origin}: line {first + found[0]}: "
                                   f"{found[1]}")


def _decoded(engine, options: CountOptions, data: bytes, origin: str,
             first: int) -> List[str]:
    """The lines of `data` decoded; one that cannot be, or that the count refuses whatever
    cuts its tokens, is refused as the engine refuses it, named by its line in `origin`
    (the first of `data` being line `first`)."""
    batch = data.split(b"\n")
    if batch[-1] == b"":
        batch.pop()

    def decode(lines):
        try:
            return options.decode(lines)
        except UnicodeDecodeError:  # which line
            for line_number, raw in enumerate(lines, first):
                try:
                    options.decode([raw])
                except UnicodeDecodeError as error:
                    raise EngineError("count", f"cannot count {origin}: line {line_number}: "
                                               f"not {options.decoder()} text "
                                               f"({error.reason})") from None
            raise

    _refuse_lines(engine, data, origin, first, lambda count: decode(batch[:count]))
    return decode(batch)


def _count_share(library, options: CountOptions, share, work_dir: Path,
                 report: Optional[_Reporter] = None) -> Summary:
    """One counting run over the segments of one share, tokens cut in Python."""
    work_dir.mkdir(parents=True, exist_ok=True)
    cut = options.cutter()
    with _Counter(library.engine, options, work_dir) as counter:
        for path, begin, end in share:
            first = library.engine.line_number_at(path, begin)
            lines = _segment_lines(library.engine, path, begin, end, options, first)
            _feed_lines(counter, lines, cut, report, path, first)
        return counter.close()


# The library and the work of the count that starts a pool: forked workers inherit both,
# so a tokenizer need not pickle (a lambda, a local function).
_pool_library = None
_pool_work: List[tuple] = []


def _take_pool_work(work: List[tuple]) -> None:
    global _pool_work
    _pool_work = work


def _worker(index: int) -> Summary:
    options, share, work_dir = _pool_work[index]
    return _count_share(_pool_library or _native.load(), options, share, Path(work_dir))


def _job_count(jobs: int) -> int:
    if jobs and jobs > 0:
        return int(jobs)
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


def _check_paths(engine, paths: Sequence[str], read_here: bool) -> None:
    """A missing path raises FileNotFoundError; a file read here is checked as the engine
    checks the files it reads (binary, empty, ...)."""
    for path in paths:
        if not os.path.exists(path):
            raise FileNotFoundError(errno.ENOENT, "no such corpus file", path)
        if not read_here:
            continue
        problem = engine.input_problem(path, "corpus")
        if problem:
            raise EngineError("count", problem if path in problem else
                              f"cannot read {path}: {problem}")


def _count_files_in_engine(library, options, paths, stage: Path, report: _Reporter) -> Summary:
    engine = library.engine
    raised: List[BaseException] = []

    # Called from C, which cannot carry an exception: one raised here (Ctrl-C
    # included) stops the count and is raised again once the engine returns.
    def tell(_, lines, pairs):
        try:
            report(lines, pairs)
            return 0
        except BaseException as error:  # noqa: B036
            raised.append(error)
            return 1

    callback = PROGRESS(tell)
    handle = engine.options("count", options.values())
    try:
        with api.counting_slot("count"):
            text = engine.call("ulo_count_files", engine.exports, handle, path_array(paths),
                               len(paths), encode_path(stage), callback, None, what="count")
    except EngineError:
        if raised:
            raise raised[0] from None
        raise
    finally:
        engine.free_options("count", handle)
    return _summary(engine.text(text))


def _count_files_in_python(library, options, paths, stage: Path, report: _Reporter) -> Summary:
    engine = library.engine
    # The engine's own check of every option (jobs within its range) before any fork.
    engine.free_options("count", engine.options("count", options.values()))
    jobs = _job_count(options.jobs)
    shares = engine.share_files(paths, jobs)
    summary = Summary()
    if jobs == 1 or len(shares) <= 1:
        with api.counting_slot("count"):
            for index, share in enumerate(shares, 1):
                summary.add(_count_share(library, options, share, stage / f"part-{index}",
                                         report))
        return summary
    # One process per share: the library keeps one counting run per process.
    global _pool_library
    work = [(options, share, str(stage / f"part-{k}")) for k, share in enumerate(shares, 1)]
    _pool_library = library
    _take_pool_work(work)
    forked = os.name == "posix"
    context = multiprocessing.get_context("fork" if forked else "spawn")
    try:
        # A worker that dies (killed, crashed in C) breaks the pool: the count fails
        # rather than waiting for its share forever.
        with ProcessPoolExecutor(min(jobs, len(shares)), mp_context=context,
                                 initializer=None if forked else _take_pool_work,
                                 initargs=() if forked else (work,)) as pool:
            futures = [pool.submit(_worker, k) for k in range(len(work))]
            try:
                for done in as_completed(futures):
                    summary.add(done.result())
                    report(int(summary.get("lines", 0)), int(summary.get("pairs_fed", 0)))
            except BaseException:
                pool.shutdown(cancel_futures=True)  # shares not begun are not counted
                raise
    except BrokenProcessPool as error:
        raise EngineError("count", f"a counting process ended before its share did ({error})") \
            from None
    finally:
        _pool_library = None
        _take_pool_work([])
    return summary


def _texts_encoding(texts) -> Optional[str]:
    """The encoding texts are counted in, their stop-word files read in: "UTF-8" for str
    texts, None (source_encoding) for bytes; TypeError for a mix, which would want both."""
    kinds = {isinstance(t, str) for t in texts}
    if len(kinds) > 1:
        raise TypeError("texts are all str or all bytes (in source_encoding)")
    return "UTF-8" if kinds == {True} else None


def _count_texts(library, options, texts, stage: Path, report: _Reporter) -> Summary:
    engine = library.engine
    stage.mkdir(parents=True, exist_ok=True)
    # str texts go as UTF-8, which the engine converts as it converts a corpus.
    encoding = _texts_encoding(texts)
    with api.counting_slot("count"):
        if options.in_engine:
            with _Counter(engine, options, stage, encoding) as counter:
                for index, text in enumerate(texts, 1):
                    data = text.encode("utf-8") if isinstance(text, str) else bytes(text)
                    counter.add_text(f"<text {index}>", data)
                    if report.wanted:
                        figures = counter.figures()
                        report(int(figures.get("lines", 0)), int(figures.get("pairs_fed", 0)))
                return counter.close()
        cut = options.cutter()
        with _Counter(engine, options, stage, encoding) as counter:
            for index, text in enumerate(texts, 1):
                origin = f"<text {index}>"
                if isinstance(text, bytes):
                    lines = _decoded(engine, options, text, origin, 1)
                else:  # measured as the engine measures a str text: in UTF-8
                    _refuse_lines(engine, text.encode("utf-8"), origin, 1)
                    lines = _text_lines(text)
                _feed_lines(counter, lines, cut, report)
            return counter.close()


@contextlib.contextmanager
def _staged_spill(engine, target: Path, gather=True):
    """The engine's staging directory for the spill directory `target`, put in its place
    when the block ends well (an earlier count's spill files replaced, anything else there
    refused) and removed otherwise; with `gather`, its runs' token counts summed beside
    it."""
    handle = engine.call("ulo_work_dir_open", encode_path(target), what="count")
    try:
        yield Path(os.fsdecode(engine.dll.ulo_work_dir_path(handle)))
        Path(f"{target}.tokens").unlink(missing_ok=True)
        engine.call("ulo_work_dir_commit", handle, what="count")
    finally:
        engine.dll.ulo_work_dir_destroy(handle)
    if gather:
        engine.call("ulo_gather_token_counts", encode_path(target), what="count")


def _count(paths: Optional[Sequence[PathLike]], texts: Optional[Sequence], workdir: PathLike,
           options: CountOptions, progress: Progress, summary: Optional[dict],
           library) -> Path:
    library = _native.library_or_default(library)
    workdir = Path(workdir).absolute()
    workdir.mkdir(parents=True, exist_ok=True)
    spill = workdir / "spill"
    report = _Reporter(progress)
    try:
        if paths is not None:
            paths = [os.fspath(p) for p in paths]
            _check_paths(library.engine, paths, not options.in_engine)
            if options.in_engine:
                # The engine stages the directory itself and refuses one it did not write.
                result = _count_files_in_engine(library, options, paths, spill, report)
            else:
                with _staged_spill(library.engine, spill) as stage:
                    result = _count_files_in_python(library, options, paths, stage, report)
        else:
            with _staged_spill(library.engine, spill) as stage:
                result = _count_texts(library, options, list(texts), stage / "part-1", report)
    finally:
        report.close()
    out = workdir / "pairs.txt"
    # In key ranges, one process each: the same bytes as one merge.
    api.merge(spill, out, library=library, jobs=_job_count(options.jobs))
    if summary is not None:
        summary.update(result)
    return out


def _path_list(paths) -> List[PathLike]:
    if isinstance(paths, (str, bytes, os.PathLike)):
        return [paths]
    return list(paths)


def count_corpus(paths: Union[PathLike, Sequence[PathLike]], workdir: PathLike, *,
                 window: int = 3, one_way: bool = False, tokenizer: Tokenizer = "whitespace",
                 source_encoding: str = "", encoding: str = DEFAULT_ENCODING,
                 stopwords: str = "default", stopword_files: Sequence[PathLike] = (),
                 drop_punctuation: bool = True, jobs: int = 0, progress: Progress = None,
                 summary: Optional[dict] = None,
                 library: Optional[_native.Library] = None) -> Path:
    """Counts the pairs of tokens at most `window` apart in the files `paths` and merges
    them into WORKDIR/pairs.txt, which it returns (spill files in WORKDIR/spill): byte for
    byte what `ulo count` and `ulo merge` give with the same options.

    tokenizer: "whitespace" or "chars" (the engine's, as ulo's), "jieba", or a function
    from a line to its tokens. source_encoding: the files' encoding ("" for the library's
    own), converted into `encoding`, the library files' ("gb18030", which holds every
    character, or "gb2312", where a token with a character outside it is dropped whole
    and counted). stopwords: "default" or "none"; stopword_files adds lists. jobs: worker
    processes for the count and key ranges for the merge (0: one per processor).
    progress: a function of (lines, pairs), or True for a tqdm bar. summary: a dict that
    receives the engine's figures.
    A missing path raises FileNotFoundError; texts go to count_texts.
    """
    options = CountOptions(window, one_way, tokenizer, source_encoding, stopwords,
                           stopword_files, drop_punctuation, jobs, encoding)
    return _count(_path_list(paths), None, workdir, options, progress, summary, library)


def count_texts(texts: Union[str, bytes, Sequence[Union[str, bytes]]], workdir: PathLike, *,
                window: int = 3, one_way: bool = False, tokenizer: Tokenizer = "whitespace",
                source_encoding: str = "", encoding: str = DEFAULT_ENCODING,
                stopwords: str = "default", stopword_files: Sequence[PathLike] = (),
                drop_punctuation: bool = True, progress: Progress = None,
                summary: Optional[dict] = None,
                library: Optional[_native.Library] = None) -> Path:
    """count_corpus for texts held in memory: each `str` is text (counted as UTF-8 is, and
    stopword_files read as UTF-8 then), each `bytes` a text in `source_encoding`. Counted in
    this process."""
    if isinstance(texts, (str, bytes)):
        texts = [texts]
    options = CountOptions(window, one_way, tokenizer, source_encoding, stopwords,
                           stopword_files, drop_punctuation, 1, encoding)
    return _count(None, texts, workdir, options, progress, summary, library)
