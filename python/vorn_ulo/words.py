"""New words in unsegmented text, found by the engine (as `ulo words` finds them)."""

from __future__ import annotations

import os
import tempfile
from pathlib import Path
from typing import Optional, Sequence, Union

from . import _native, api
from .corpus import _staged_spill
from .encoding import encode_source
from .engine import encode_path
from .errors import EngineError
from .readers import empty_frame, read_table

PathLike = Union[str, "os.PathLike[str]"]

# The columns of `ulo words --out` and their types.
WORD_COLUMNS = {"word": str, "score": "float64", "frequency": "int64", "cohesion": "float64",
                "freedom": "float64", "before": "float64", "after": "float64"}


def _is_path(item) -> bool:
    """A path object, or a str that names a file and holds no line end; other str are
    texts."""
    if isinstance(item, os.PathLike):
        return True
    return isinstance(item, str) and "\n" not in item and os.path.isfile(item)


def _count(engine, items, source_encoding: str, options, spill: Path) -> None:
    """Counts the candidates of every file and text into `spill`."""
    only_texts = all(isinstance(item, str) and not _is_path(item) for item in items)
    # str texts go as UTF-8 when nothing else is counted, else in the files' encoding.
    encoding = "UTF-8" if only_texts else source_encoding
    count = engine.options("count", [("source_encoding", encoding)])
    try:
        with api.counting_slot("words"):
            handle = engine.call("ulo_words_counter_open", engine.exports, count, options,
                                 encode_path(spill), what="words")
            try:
                for index, item in enumerate(items, 1):
                    if _is_path(item):
                        engine.call("ulo_counter_add_file", handle, encode_path(item), 0, 0,
                                    what="words")
                        continue
                    if isinstance(item, str):
                        data = (item.encode("utf-8") if only_texts
                                else encode_source(item, source_encoding))
                    else:
                        data = bytes(item)
                    engine.call("ulo_counter_add_block", handle, f"<text {index}>".encode(),
                                data, len(data), what="words")
                    engine.call("ulo_counter_end_text", handle, what="words")
                engine.call("ulo_counter_close", handle, what="words")
            finally:
                engine.dll.ulo_counter_destroy(handle)
    finally:
        engine.free_options("count", count)


def new_words(paths_or_texts: Union[PathLike, bytes, Sequence[Union[PathLike, bytes]]], *,
              max_length: int = 4, min_count: int = 5, min_cohesion: float = 1.0,
              min_freedom: float = 1.0, top: int = 100, source_encoding: str = "",
              workdir: Optional[PathLike] = None,
              library: Optional[_native.Library] = None):
    """Words of unsegmented text (Chinese, Japanese, Thai...) that no dictionary needs to
    know, best first, as a DataFrame of str words: word, score, frequency, cohesion,
    freedom, before, after (what `ulo words --out` writes).

    Each item is a file (a path object, or a str naming an existing file), a str text, or
    bytes in `source_encoding` ("" for the library's own, GB18030); beside files, a str text
    goes in their encoding (UnicodeEncodeError for a character it lacks). Candidates are
    strings of 2 to `max_length` letters seen at least `min_count` times; cohesion is
    the smallest pmi (log2) over a candidate's split points, freedom the smaller
    entropy (bits) of the characters before and after it, and the score cohesion x
    freedom x ln(frequency). `top`=0 keeps every word that passes. The counts go to
    `workdir` (spill/, candidates.txt) when given, else to a scratch directory."""
    items = [paths_or_texts] if isinstance(paths_or_texts, (str, bytes, os.PathLike)) \
        else list(paths_or_texts)
    for item in items:
        if isinstance(item, os.PathLike) and not os.path.exists(item):
            raise FileNotFoundError(2, "no such corpus file", os.fspath(item))
    engine = _native.library_or_default(library).engine
    options = engine.options("words", [("max_length", max_length), ("min_count", min_count),
                                       ("min_cohesion", min_cohesion),
                                       ("min_freedom", min_freedom), ("top", top)])
    try:
        with tempfile.TemporaryDirectory(prefix="vorn_ulo-words-") as scratch:
            work = Path(workdir if workdir is not None else scratch).absolute()
            work.mkdir(parents=True, exist_ok=True)
            candidates = work / "candidates.txt"
            for item in items:
                # The merge would replace a corpus standing where the counts go.
                problem = _is_path(item) and engine.same_file_problem(item, candidates)
                if problem:
                    raise EngineError("words", problem)
            # A fresh directory, put in place whole: spill files of an earlier search
            # would be merged too.
            with _staged_spill(engine, work / "spill", gather=False) as stage:
                _count(engine, items, source_encoding, options, stage)
            pairs = api.merge(work / "spill", candidates, library=library)
            if os.path.getsize(pairs) == 0:  # no candidate, which the ranking refuses
                return empty_frame(WORD_COLUMNS)
            out = Path(scratch) / "words.tsv"
            engine.call("ulo_words_rank", encode_path(pairs), encode_path(out), options,
                        what="words")
            return read_table(out, header=0, dtype=WORD_COLUMNS, encoding="utf-8",
                              float_precision="round_trip")
    finally:
        engine.free_options("words", options)
