"""Counting a corpus on a Dask cluster: shards counted in worker processes, then merged.

Every worker and the caller must reach `shared_dir` under the same path (a shared file
system). The layout under it, for a merge tree of fan-in 20:

    level-0/group-G/in/part-K/temp*.txt    spill files of shard K (G = K // 20)
    level-1/group-G/in/part-K.txt          merge of level-0 group K
    ...
    pairs.txt                              the last merge: the result

A task writes under a name of its own first and moves its result into place only when it is
whole, so a task that dies half-way leaves nothing that a merge would take for a result.
Each merge source has a parent directory of its own, since the library's merge keeps its
work directory beside its source.
"""

import os
import shutil
import uuid
from pathlib import Path

from . import _native, api
from .corpus import CountOptions, Summary, _check_paths, _count_share, _Counter, _path_list
from .engine import encode_path

FAN_IN = 20
SHARD_BYTES = 64 * 1024 * 1024


def shards(library, paths, texts=(), shard_bytes=SHARD_BYTES):
    """The corpus cut into shards: the engine's shares of the files, cut at line ends
    (each a list of (path, begin, end)), and the texts as they are."""
    paths = [os.path.abspath(os.fspath(p)) for p in paths]
    result = []
    if paths:
        total = sum(os.path.getsize(p) for p in paths)
        result = library.engine.share_files(paths, max(1, -(-total // shard_bytes)))
    return result + list(texts)


def _count_into(library, shard, staging, options):
    """One counting run over one shard: the engine reads a file's byte range itself; a
    Python tokenizer's lines go to it a batch at a time."""
    if isinstance(shard, (str, bytes)):
        with _Counter(library.engine, options, staging,
                      "UTF-8" if isinstance(shard, str) else None) as counter:
            counter.add_text("<text>", shard.encode("utf-8") if isinstance(shard, str)
                             else shard)
            return counter.close()
    if not options.in_engine:
        return _count_share(library, options, shard, staging)
    with _Counter(library.engine, options, staging) as counter:
        for path, begin, end in shard:
            counter.call("ulo_counter_add_file", encode_path(path), begin, end)
        return counter.close()


def _group_dir(root, level, group):
    return Path(root) / f"level-{level}" / f"group-{group:05d}"


def _replace_dir(staging, target):
    """Moves a finished directory into place; an equal result already there stays."""
    try:
        os.rename(staging, target)
    except OSError:
        if not target.is_dir():
            raise
        shutil.rmtree(staging, ignore_errors=True)  # another attempt of this task finished


def count_shard(root, index, shard, options, library_path=None):
    """Task: one counting run over one shard into level-0/group-G/in/part-K."""
    group = _group_dir(root, 0, index // FAN_IN)
    target = group / "in" / f"part-{index:05d}"
    staging = group / "work" / f"part-{index:05d}-{uuid.uuid4().hex}"
    staging.mkdir(parents=True)
    (group / "in").mkdir(exist_ok=True)
    try:
        library = _native.load(library_path) if library_path else _native.load()
        with api.counting_slot("count"):
            summary = _count_into(library, shard, staging, options)
        _replace_dir(staging, target)
    except BaseException:
        shutil.rmtree(staging, ignore_errors=True)
        raise
    summary["part"] = index
    return summary


def merge_group(root, level, group, expected, out, library_path=None, *_inputs):
    """Task: merges the `expected` results of one group into `out` (a file moved into place
    when whole). The inputs' futures come as extra arguments so that Dask runs it after them."""
    source = _group_dir(root, level, group) / "in"
    found = sorted(p.name for p in source.iterdir()) if source.is_dir() else []
    if len(found) != expected:
        raise RuntimeError(
            f"{source} holds {len(found)} results of the {expected} it should: {found[:5]}"
        )
    out = Path(out)
    out.parent.mkdir(parents=True, exist_ok=True)
    staging_dir = _group_dir(root, level, group) / f"out-{uuid.uuid4().hex}"
    staging_dir.mkdir(parents=True)
    staging = staging_dir / out.name
    library = _native.load(library_path) if library_path else None
    try:
        api.merge(source, staging, library=library)
        os.replace(staging, out)
    finally:
        shutil.rmtree(staging_dir, ignore_errors=True)
    return str(out)


def merge_passes(parts, fan_in=FAN_IN):
    """How many levels of merges a tree over `parts` results takes."""
    levels, n = 1, parts
    while n > fan_in:
        n = -(-n // fan_in)
        levels += 1
    return levels


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
    stopwords="default",
    stopword_files=(),
    drop_punctuation=True,
    shard_bytes=SHARD_BYTES,
    summary=None,
    library_path=None,
    keep_parts=False,
):
    """count_corpus on a Dask cluster: returns SHARED_DIR/pairs.txt, byte for byte what the
    single-process count_corpus gives for the same corpus and options.

    shared_dir must be empty or missing, and reachable under the same path by every worker.
    Each shard is counted by the engine in the worker. Tasks hold the worker's one counting
    run in turn (a lock per process), so a worker with several threads still counts one
    shard at a time. A task that fails is retried by Dask (on a worker that died, for
    instance) or its error is raised here. The spill files and partial merges are removed
    once the result is whole, unless keep_parts.
    """
    options = CountOptions(window, one_way, tokenizer, source_encoding, stopwords,
                           stopword_files, drop_punctuation, 1)
    library = _native.load(library_path) if library_path else _native.load()
    paths = _path_list(paths) if paths else []
    _check_paths(library.engine, [os.fspath(p) for p in paths], True)
    root = Path(shared_dir).resolve()
    root.mkdir(parents=True, exist_ok=True)
    if any(root.iterdir()):
        raise FileExistsError(f"{root} is not empty; a distributed count needs a fresh one")
    pieces = shards(library, paths, [texts] if isinstance(texts, (str, bytes)) else texts,
                    shard_bytes)
    if not pieces:
        raise ValueError("the corpus is empty: no file and no text")
    library_path = str(library_path) if library_path else None

    futures = [
        client.submit(count_shard, str(root), index, piece, options, library_path,
                      key=f"vorn_ulo-count-{root.name}-{index}-{uuid.uuid4().hex[:8]}",
                      pure=False)
        for index, piece in enumerate(pieces)
    ]
    level, inputs = 0, futures
    while True:
        groups = -(-len(inputs) // FAN_IN)
        merges = []
        for group in range(groups):
            members = inputs[group * FAN_IN:(group + 1) * FAN_IN]
            if groups == 1:
                out = root / "pairs.txt"
            else:
                out = (_group_dir(root, level + 1, group // FAN_IN) / "in" /
                       f"part-{group:05d}.txt")
            merges.append(client.submit(
                merge_group, str(root), level, group, len(members), str(out), library_path,
                *members, key=f"vorn_ulo-merge-{root.name}-{level}-{group}-{uuid.uuid4().hex[:8]}",
                pure=False))
        if groups == 1:
            break
        level, inputs = level + 1, merges
    result = Path(merges[0].result())
    counted = client.gather(futures)
    if summary is not None:
        total = Summary()
        for part in counted:
            total.add({k: v for k, v in part.items() if k != "part"})
        total["parts"] = len(counted)
        total["merge_levels"] = level + 1
        summary.update(total)
    if not keep_parts:
        for level_dir in root.glob("level-*"):
            shutil.rmtree(level_dir, ignore_errors=True)
    return result
