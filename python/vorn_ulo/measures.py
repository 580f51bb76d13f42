"""Association measures and ranking, computed by the engine (as `ulo rank` computes them)."""

from __future__ import annotations

import os
import tempfile
from typing import Optional, Tuple

from . import _native
from .encoding import LIBRARY_ENCODING, encode_path


def measure_names(library: Optional[_native.Library] = None) -> Tuple[str, ...]:
    """The engine's measures, in its order."""
    return _native.library_or_default(library).engine.measure_names()


def score(measure: str, n_ii: float, n_ix: float, n_xi: float, n_xx: float,
          library: Optional[_native.Library] = None) -> float:
    """One measure of the table: the pair's count, the base word's and the other word's
    frequencies, the total."""
    engine = _native.library_or_default(library).engine
    return engine.call("ulo_score", measure.encode(), float(n_ii), float(n_ix), float(n_xi),
                       float(n_xx), what="score")


# The columns of a ranking (ulo rank's lines) and their types.
RANKED_COLUMNS = {"word": str, "other": str, "score": "float64", "count": "int64",
                  "side": str}


def rank_settings(measure: str, top: int, min_count: Optional[int], rank_options: dict):
    """The engine's rank options for a ranking in the library's bytes."""
    settings = [("measure", measure), ("top", top), ("to", LIBRARY_ENCODING)]
    if min_count is not None:
        settings.append(("min_count", min_count))
    return settings + list(rank_options.items())


def associations(pairs_path, measure: str = "llr", top: int = 10,
                 min_count: Optional[int] = None,
                 encoding: Optional[str] = LIBRARY_ENCODING,
                 library: Optional[_native.Library] = None, **rank_options):
    """For every word of a merged pair-count file (or parts directory), its `top` best
    associated words by `measure`, as a DataFrame (word, other, score, count, side): what
    `ulo rank` writes, read with pandas; side says whether `other` stood after or before
    `word` (of a count made both ways, only whether its bytes sort after or before).
    min_count=None takes the measure's default; further rank options of the engine
    (min_word_count, self_pairs, direction, marginals) pass by name. encoding=None gives the words
    as bytes."""
    from .readers import decode_columns, empty_frame, read_table

    engine = _native.library_or_default(library).engine
    # The ranking in the library's bytes, decoded here as asked.
    options = engine.options("rank", rank_settings(measure, top, min_count, rank_options))
    try:
        with tempfile.TemporaryDirectory(prefix="vorn_ulo-rank-") as work:
            out = os.path.join(work, "ranked.txt")
            engine.call("ulo_rank", encode_path(pairs_path), encode_path(out), options,
                        what="rank")
            if os.path.getsize(out) == 0:  # the C parser refuses a file without a line
                return empty_frame(RANKED_COLUMNS)
            frame = read_table(out, names=list(RANKED_COLUMNS), dtype=RANKED_COLUMNS,
                               encoding="latin-1", float_precision="round_trip")
    finally:
        engine.free_options("rank", options)
    return decode_columns(frame, ["word", "other"], encoding)
