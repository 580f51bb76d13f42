"""One word's associations at once, as `ulo show` finds them."""

from __future__ import annotations

from typing import Optional

from . import _native
from .encoding import encode_library, encode_path
from .engine import lines
from .measures import RANKED_COLUMNS, rank_settings


def neighbours(pairs_path, word: str, measure: str = "llr", top: int = 10,
               min_count: Optional[int] = None,
               library: Optional[_native.Library] = None, **rank_options):
    """`word`'s `top` best associated words of a merged pair-count file by `measure`, as
    a DataFrame (word, other, score, count, side; words and side str): the rows
    `associations()` gives that word, found by binary search in the sorted file with its frequency sidecar
    (PAIRS.freq, made on first use). min_count=None takes the measure's default; further
    rank options (min_word_count, self_pairs, direction, marginals) pass by name. A word the file
    lacks gives an empty frame."""
    import pandas as pd

    engine = _native.library_or_default(library).engine
    # The words in UTF-8, as the engine's strings come: str here.
    options = engine.options("rank", rank_settings(measure, top, min_count, rank_options) +
                             [("to", "UTF-8")])
    try:
        raw = encode_library(word)
        pointer = engine.call("ulo_neighbours", encode_path(pairs_path), raw, len(raw), options,
                              what="neighbours")
        text = engine.text(pointer) or ""
    finally:
        engine.free_options("rank", options)
    # Lines end at LF only: a word may hold what str.splitlines() also takes for a line end.
    rows = [line.split("\t") for line in lines(text)]
    columns = list(zip(*rows)) if rows else [()] * len(RANKED_COLUMNS)
    parse = {str: str, "float64": float, "int64": int}
    return pd.DataFrame({
        name: pd.Series([parse[kind](v) for v in values], dtype=object if kind is str else kind)
        for (name, kind), values in zip(RANKED_COLUMNS.items(), columns)})
