"""Counting a corpus on a Dask cluster: shards counted by the engine in the workers, then a
reduce partitioned by key ranges.

Every worker and the caller must reach `shared_dir` under the same path (a shared file
system). The layout under it:

    counts/part-K/temp*.txt      the sorted spill files of shard K
    pairs.building/              the reduce tasks' parts, while they are written
    pairs/part-R.txt, index.txt  the result: key range R of every shard's spill files merged
    pairs.tokens                 the shards' token counts summed

Split keys are first words sampled from the spill files, so each range holds about the same
bytes and a word's whole row lies in one part; the parts concatenated are the one merged
file. Each reduce task samples the same files and so picks the same keys, and the last task
checks that they did. Only the split keys and file names pass through the client. A task writes
under a name of its own and puts its result in place only when it is whole, so a task run
again (a worker lost) gives the same bytes and a merge never takes a half-written input.
"""

import errno
import functools
import os
import shutil
import uuid
from pathlib import Path

from . import _native, api
from .corpus import (CountOptions, Summary, _check_paths, _count_share, _count_texts, _Counter,
                     _path_list, _Reporter, _texts_encoding)
from .encoding import DEFAULT_ENCODING, encode_source
from .engine import encode_path, path_array

SHARD_BYTES = 64 * 1024 * 1024


@functools.lru_cache(maxsize=None)
def _library(library_path=None):
    """The library of this worker process, loaded once."""
    return _native.load(library_path) if library_path else _native.load()


def shards(library, paths, texts=(), shard_bytes=SHARD_BYTES, at_least=1):
    """The corpus cut into shards: the engine's shares of the files, cut at line ends (each a
    list of (path, begin, end)), at most `shard_bytes` each and at least `at_least` of them
    when the lines allow, and the texts as they are."""
    paths = [os.path.abspath(os.fspath(p)) for p in paths]
    result = []
    if paths:
        total = sum(os.path.getsize(p) for p in paths)
        result = library.engine.share_files(paths, max(at_least, 1, -(-total // shard_bytes)))
    return result + list(texts)


def _count_into(library, shard, staging, options):
    """One counting run over one shard: the engine reads a file's byte range itself; a
    Python tokenizer's lines go to it a batch at a time."""
    if isinstance(shard, (str, bytes)):
        # As count_texts counts it, a Python tokenizer's cut included (it takes the slot).
        return _count_texts(library, options, [shard], staging, _Reporter(None))
    with api.counting_slot("count"):
        if not options.in_engine:
            return _count_share(library, options, shard, staging)
        with _Counter(library.engine, options, staging) as counter:
            for path, begin, end in shard:
                counter.call("ulo_counter_add_file", encode_path(path), begin, end)
            return counter.close()


def _put_in_place(staging, target):
    """Moves a finished directory into place; an equal result already there stays."""
    try:
        os.rename(staging, target)
    except OSError:
        if not target.is_dir():
            raise
        shutil.rmtree(staging, ignore_errors=True)  # another attempt of this task finished


def count_shard(root, index, shard, options, library_path=None):
    """Task: one counting run over one shard into counts/part-K. Returns its figures, with
    its spill files under "files"."""
    counts = Path(root) / "counts"
    target = counts / f"part-{index:05d}"
    staging = counts / f".part-{index:05d}-{uuid.uuid4().hex}"
    staging.mkdir(parents=True)
    try:
        library = _library(library_path)
        summary = _count_into(library, shard, staging, options)
        # The run's token counts go in place first: where part-K is, part-K.tokens is.
        tokens = Path(f"{staging}.tokens")
        if tokens.exists():
            os.replace(tokens, f"{target}.tokens")
        _put_in_place(staging, target)
    except BaseException:
        shutil.rmtree(staging, ignore_errors=True)
        raise
    finally:
        Path(f"{staging}.tokens").unlink(missing_ok=True)
    summary["files"] = sorted(str(p) for p in target.iterdir())
    return summary


def plan_ranges(counted, ranges, library_path=None):
    """The plan of the reduce: split keys for `ranges` key ranges (the library's bytes, one a
    line), picked by the engine from samples of the shards' spill files. Every reduce task
    makes it for itself, the same from the same files: no task waits on another's plan."""
    files = [name for part in counted for name in part["files"]]
    # The engine samples files spread over the shards: the plan stays cheap however many.
    engine = _library(library_path).engine
    keys = engine.raw(engine.call("ulo_split_keys", path_array(files), len(files),
                                  int(ranges), what="merge"))
    return {"files": files, "keys": keys}


def merge_range(counted, ranges, index, building, library_path=None):
    """Task: key range `index` of every spill file merged by the library into its part of the
    parts directory `building`. Returns the split keys."""
    plan = plan_ranges(counted, ranges, library_path)
    if index > plan["keys"].count(b"\n"):
        return plan["keys"]  # the files hold fewer first words than ranges were asked for
    engine = _library(library_path).engine
    files = plan["files"]
    # The counting runs' spill files, as the library wrote them: in order, so the part is
    # not read again to check it.
    with api._merge_lock:  # the library keeps one merge per process
        engine.call("ulo_merge_range", engine.exports, path_array(files), len(files),
                    plan["keys"], int(index), encode_path(building), 1, what="merge")
    return plan["keys"]


def _sum_token_counts(engine, counts, target):
    """The shards' token counts summed into TARGET.tokens, as a count's beside its pairs.
    The engine's gather removes the files it sums, so it sums links to them in a directory
    of this attempt's own: an attempt run again (a worker lost) still finds every one."""
    staging = counts.parent / f".tokens-{uuid.uuid4().hex}"
    staging.mkdir()
    try:
        for part in counts.glob("part-*.tokens"):
            try:
                os.link(part, staging / part.name)
            except OSError:  # a file system without hard links
                shutil.copyfile(part, staging / part.name)
        engine.call("ulo_gather_token_counts", encode_path(staging), what="count")
        if Path(f"{staging}.tokens").exists():
            os.replace(f"{staging}.tokens", f"{target}.tokens")
    finally:
        shutil.rmtree(staging, ignore_errors=True)
        Path(f"{staging}.tokens").unlink(missing_ok=True)


def finish(building, target, library_path=None, *keys):
    """Task: indexes the parts and puts the directory in place. The reduce tasks' futures
    (each gives the split keys) come as extra arguments so that Dask runs it after them."""
    if any(other != keys[0] for other in keys):
        raise RuntimeError("the reduce tasks cut the spill files at different keys")
    target = Path(target)
    if not target.is_dir():  # else an earlier attempt finished
        engine = _library(library_path).engine
        _sum_token_counts(engine, target.parent / "counts", target)
        engine.call("ulo_write_parts_index", encode_path(building), keys[0], what="merge")
        os.rename(building, target)
    return str(target)


def _worker_threads(client):
    return max(1, sum(client.nthreads().values()))


def count_corpus(
    paths,
    shared_dir,
    client,
    *,
    texts=(),
    window=3,
    one_way=False,
    tokenizer="whitespace",
    source_encoding="",
    encoding=DEFAULT_ENCODING,
    stopwords="default",
    stopword_files=(),
    drop_punctuation=True,
    shard_bytes=SHARD_BYTES,
    ranges=None,
    summary=None,
    library_path=None,
    keep_parts=False,
):
    """count_corpus on a Dask cluster: returns SHARED_DIR/pairs, a parts directory that every
    reader here (and ulo) takes as one pair-count file; its parts concatenated are byte for
    byte what the single-process count_corpus gives for the same corpus and options.

    shared_dir must be empty or missing, and reachable under the same path by every worker;
    so must the files, stopword_files and library_path, relative ones taken from here.
    The files are cut into shards of at most `shard_bytes`, and into at least one per worker
    thread, each counted by the engine in a worker; str texts beside files go in the files'
    source_encoding, as new_words takes them, and texts mixing str and bytes raise
    TypeError, as in count_texts; `ranges` reduce tasks (default: one per
    worker thread) then merge one key range each; either below 1 raises ValueError before
    anything is written. A worker counts one shard at a time whatever its thread count (the
    library keeps one counting run per process). A task that fails is run again by Dask (on
    a worker that died, for instance) or its error is raised here. The shards' spill files
    are removed once the result is whole, unless keep_parts.
    """
    options = CountOptions(window, one_way, tokenizer, source_encoding, stopwords,
                           stopword_files, drop_punctuation, 1, encoding)
    # Refused here, before the shared directory is made: a task would fail late or oddly.
    for name, value in (("ranges", 1 if ranges is None else ranges), ("shard_bytes", shard_bytes)):
        if int(value) < 1:
            raise ValueError(f"{name} must be at least 1, not {value!r}")
    texts = [texts] if isinstance(texts, (str, bytes)) else list(texts)
    if _texts_encoding(texts) and paths:
        # Beside files, str texts go in the files' encoding, which their stop-word files
        # share, as new_words takes them: one encoding for every shard's stop words.
        texts = [encode_source(text, options.source_encoding) for text in texts]
    # Workers resolve a relative path in their own directories: these go as absolute ones.
    options.stopword_files = [os.path.abspath(f) for f in options.stopword_files]
    for stopword_file in options.stopword_files:
        if not os.path.isfile(stopword_file):
            raise FileNotFoundError(errno.ENOENT, "no such stop-word file", stopword_file)
    library = _library(str(library_path) if library_path else None)
    library_path = str(library.path) if library_path else None
    paths = _path_list(paths) if paths else []
    _check_paths(library.engine, [os.fspath(p) for p in paths], True)
    root = Path(shared_dir).resolve()
    root.mkdir(parents=True, exist_ok=True)
    if any(root.iterdir()):
        raise FileExistsError(f"{root} is not empty; a distributed count needs a fresh one")
    threads = _worker_threads(client)
    pieces = shards(library, paths, texts, shard_bytes, threads)
    if not pieces:
        raise ValueError("the corpus is empty: no file and no text")
    ranges = threads if ranges is None else int(ranges)
    building, target = root / "pairs.building", root / "pairs"
    building.mkdir()
    run = f"{root.name}-{uuid.uuid4().hex[:8]}"

    def submit(function, *args, name):
        return client.submit(function, *args, key=f"vorn_ulo-{name}-{run}", pure=False)

    counted = [submit(count_shard, str(root), index, piece, options, library_path,
                      name=f"count-{index}") for index, piece in enumerate(pieces)]
    parts = [submit(merge_range, counted, ranges, index, str(building), library_path,
                    name=f"merge-{index}") for index in range(ranges)]
    done = submit(finish, str(building), str(target), library_path, *parts, name="finish")
    result = Path(done.result())
    if summary is not None:
        total = Summary()
        for part in client.gather(counted):
            total.add({k: v for k, v in part.items() if k != "files"})
        total["shards"] = len(counted)
        total["parts"] = parts[0].result().count(b"\n") + 1  # keys may hold CR
        summary.update(total)
    if not keep_parts:
        shutil.rmtree(root / "counts", ignore_errors=True)
    return result


def rank_task(pairs, out, settings, library_path=None):
    """Task: the ranking of `pairs` (ulo rank's work, part by part) written to `out`."""
    engine = _library(library_path).engine
    options = engine.options("rank", settings)
    try:
        engine.call("ulo_rank", encode_path(pairs), encode_path(out), options, what="rank")
    finally:
        engine.free_options("rank", options)
    return str(out)


def associations(pairs, client, measure="llr", top=10, min_count=None, library_path=None,
                 **rank_options):
    """associations() for a count on a cluster: ranked by a task on a worker into the file
    PAIRS.ranked.txt beside `pairs` (staged), returned as a Dask DataFrame (word, other,
    score, count, side) that reads it where it is computed; no pair passes through here."""
    import dask.dataframe as dd

    from .measures import RANKED_COLUMNS, rank_settings
    from .readers import empty_frame

    pairs = Path(pairs).resolve()
    out = pairs.parent / f"{pairs.name}.ranked.txt"
    # The words in UTF-8 by the engine's own conversion, not Python's gb18030 codec.
    settings = rank_settings(measure, top, min_count, rank_options) + [("to", "UTF-8")]
    ranked = client.submit(rank_task, str(pairs), str(out), settings,
                           str(library_path) if library_path else None,
                           key=f"vorn_ulo-rank-{uuid.uuid4().hex[:8]}", pure=False).result()
    if os.path.getsize(ranked) == 0:  # read_csv refuses a file without a line
        return dd.from_pandas(empty_frame(RANKED_COLUMNS), npartitions=1)
    # Lines end at LF alone: a word may hold CR.
    return dd.read_csv(ranked, sep="\t", lineterminator="\n", header=None,
                       names=list(RANKED_COLUMNS), dtype=RANKED_COLUMNS, encoding="utf-8", quoting=3,
                       na_filter=False, keep_default_na=False, float_precision="round_trip",
                       blocksize="64MB")
