"""One word's associations at once, as `ulo show` finds them."""

from __future__ import annotations

from typing import Optional

from . import _native
from .encoding import LIBRARY_ENCODING, encode_path
from .measures import rank_options_of


def neighbours(pairs_path, word: str, measure: str = "llr", top: int = 10,
               min_count: Optional[int] = None,
               library: Optional[_native.Library] = None, **rank_options):
    """`word`'s `top` best associated words of a merged pair-count file by `measure`, as
    a DataFrame (word, other, score, count, side) of str: the rows `associations()` gives
    that word, found by binary search in the sorted file with its frequency sidecar
    (PAIRS.freq, made on first use). min_count=None takes the measure's default; further
    rank options (min_word_count, self_pairs, direction) pass by name. A word the file
    lacks gives an empty frame."""
    import pandas as pd

    engine = _native.library_or_default(library).engine
    options = rank_options_of(engine, measure, top, min_count, "UTF-8", rank_options)
    try:
        raw = word.encode(LIBRARY_ENCODING)
        pointer = engine.call("ulo_neighbours", encode_path(pairs_path), raw, len(raw), options,
                              what="neighbours")
        text = engine.text(pointer) or ""
    finally:
        engine.free_options("rank", options)
    rows = [line.split("\t") for line in text.splitlines()]
    return pd.DataFrame({
        "word": pd.Series([r[0] for r in rows], dtype=object),
        "other": pd.Series([r[1] for r in rows], dtype=object),
        "score": pd.Series([float(r[2]) for r in rows], dtype="float64"),
        "count": pd.Series([int(r[3]) for r in rows], dtype="int64"),
        "side": pd.Series([r[4] for r in rows], dtype=object),
    })
