"""Pairs and rankings for other tools: files as `ulo export` writes them, a SciPy sparse
matrix with its vocabulary, a networkx graph. The engine writes every format."""

from __future__ import annotations

import csv
import ctypes
import os
import tempfile
import warnings
from itertools import zip_longest
from pathlib import Path
from typing import List, Optional, Tuple

from . import _native
from .encoding import LIBRARY_ENCODING, encode_path
from .errors import EngineError


def _require(module: str, package: str, what: str):
    import importlib

    try:
        return importlib.import_module(module)
    except ImportError as error:
        raise ImportError(f"vorn_ulo.{what} needs {module}, which is not installed "
                          f"(Debian: apt install {package})") from error


def export(pairs_or_ranked, out, format: Optional[str] = None, measure: str = "llr",
           top: int = 0, min_count: Optional[int] = None, to: str = "UTF-8",
           library: Optional[_native.Library] = None, **rank_options) -> Path:
    """Writes a pair-count file or a ranking to `out` as `ulo export` does: "csv",
    "gexf" or "graphml" (None: by out's extension). top=0 keeps every pair that passes
    the filters, N only pairs among either word's N best by `measure`; min_count=None
    takes the measure's default; further rank options (min_word_count, self_pairs, marginals)
    pass by name. Words with characters `to` lacks are written with '?' for them, and a
    UnicodeWarning says how many."""
    engine = _native.library_or_default(library).engine
    settings = [("measure", measure), ("to", to)]
    if min_count is not None:
        settings.append(("min_count", min_count))
    settings += list(rank_options.items())
    options = engine.options("rank", settings)
    note = ctypes.c_void_p()
    try:
        engine.call("ulo_export", encode_path(pairs_or_ranked), encode_path(out),
                    (format or "").encode(), int(top), options, ctypes.byref(note),
                    what="export")
    finally:
        engine.free_options("rank", options)
    if note.value:
        warnings.warn(f"export: {engine.text(note.value)}", UnicodeWarning, stacklevel=2)
    return Path(out)


def to_networkx(pairs_or_ranked, measure: str = "llr", top: int = 0,
                min_count: Optional[int] = None, library: Optional[_native.Library] = None,
                **rank_options):
    """A networkx Graph (pairs counted both ways) or DiGraph (counted one way, or a
    ranking) whose nodes are the words (str, as they are) with their label (the word as
    XML holds it) and frequency, and whose edges carry count, weight (the count) and
    score, as the GEXF and GraphML exports hold them; a ranking's edges also say the side."""
    nx = _require("networkx", "python3-networkx", "to_networkx")
    with tempfile.TemporaryDirectory(prefix="vorn_ulo-graph-") as work:
        out, table = os.path.join(work, "graph.graphml"), os.path.join(work, "graph.csv")
        for path, format in ((out, "graphml"), (table, "csv")):
            export(pairs_or_ranked, path, format, measure=measure, top=top, min_count=min_count,
                   library=library, **rank_options)
        graph = nx.read_graphml(out)
        words = _node_words(out, table)
    return nx.relabel_nodes(graph, words)


def _node_words(graphml, table):
    """Node id -> word. A label is the word as XML can hold it (control characters as
    U+FFFD), so distinct words may share one; the CSV export of the same graph holds the
    words themselves, a row for each edge in the GraphML's order."""
    import xml.etree.ElementTree as ET

    words = {}
    with open(table, encoding="utf-8", newline="") as file:
        rows = csv.reader(file)
        next(rows)  # the header
        edges = (e for _, e in ET.iterparse(graphml) if e.tag.rpartition("}")[2] == "edge")
        for edge, row in zip_longest(edges, rows):
            if edge is None or row is None:
                raise EngineError("to_networkx", "the GraphML and CSV exports differ in edges")
            for node, word in ((edge.get("source"), row[0]), (edge.get("target"), row[1])):
                if words.setdefault(node, word) != word:
                    raise EngineError("to_networkx", f"node {node} is both {words[node]!r} "
                                                     f"and {word!r}")
            edge.clear()
    return words


def to_sparse(pairs_or_df, value: str = "count",
              library: Optional[_native.Library] = None) -> Tuple[object, List[str]]:
    """A SciPy CSR matrix and its vocabulary (the words as str, sorted): entry (i, j) is
    the `value` of the line word i, word j. From a pair-count file, every line's count;
    from a DataFrame, its word1/word2 or word/other columns and the column `value`
    ("count", or "score" for what associations() gives)."""
    sparse = _require("scipy.sparse", "python3-scipy", "to_sparse")
    import numpy as np

    frame = pairs_or_df
    if isinstance(pairs_or_df, (str, bytes, os.PathLike)):
        from .readers import to_frame

        engine = _native.library_or_default(library).engine
        problem = engine.text(engine.call("ulo_check_pairs", encode_path(pairs_or_df),
                                          b"shape", what="to_sparse"))
        if problem:
            raise EngineError("to_sparse", problem)
        frame = to_frame(pairs_or_df, "pairs", encoding=LIBRARY_ENCODING)
    columns = ("word1", "word2") if "word1" in frame.columns else ("word", "other")
    if value not in frame.columns or columns[0] not in frame.columns:
        raise ValueError(f"to_sparse takes a frame with the columns {columns[0]}, {columns[1]} "
                         f"and {value}, not {list(frame.columns)}")
    words = np.concatenate([frame[columns[0]].to_numpy(dtype=object),
                            frame[columns[1]].to_numpy(dtype=object)])
    vocabulary, index = np.unique(words.astype(str), return_inverse=True)
    rows, cols = index[:len(frame)], index[len(frame):]
    size = len(vocabulary)
    matrix = sparse.coo_matrix((frame[value].to_numpy(), (rows, cols)), shape=(size, size))
    return matrix.tocsr(), [str(word) for word in vocabulary]
