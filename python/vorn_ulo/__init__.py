"""Word-pair association statistics: the Vorn_ULO library and its engine from Python.

    import vorn_ulo
    pairs = vorn_ulo.count_corpus(["corpus.txt"], "work", tokenizer="jieba")
    print(vorn_ulo.associations(pairs, measure="llr", top=5))
"""

from ._native import (ENGINE_NAME, LIBRARY_NAME, Library, candidate_paths, find_library, load,
                      set_library)
from .api import CountingRun, Module, filter_pairs, merge, support_records, top_n
from .corpus import count_corpus, count_texts
from .encoding import Encoder
from .errors import (
    CommandError,
    EngineError,
    LibraryNotFoundError,
    MergeError,
    OperationError,
    VornULOError,
    describe_merge_code,
    describe_status,
)
from .graphs import export, to_networkx, to_sparse
from .measures import associations, measure_names, score
from .neighbours import neighbours
from .readers import read_filtered, read_pairs, read_support_records, read_top_n, to_frame
from .words import new_words


def _version():
    # Installed, the package carries a copy of the project's VERSION file; in the
    # source tree it reads the file itself.
    from pathlib import Path

    here = Path(__file__).resolve().parent
    for path in (here / "VERSION", here.parent.parent / "VERSION"):
        if path.is_file():
            return path.read_text(encoding="ascii").strip()
    return "unknown"


__version__ = _version()

def __getattr__(name):
    if name == "MEASURES":
        return measure_names()
    raise AttributeError(f"module 'vorn_ulo' has no attribute {name!r}")


__all__ = [
    "CommandError",
    "CountingRun",
    "ENGINE_NAME",
    "Encoder",
    "EngineError",
    "LIBRARY_NAME",
    "Library",
    "LibraryNotFoundError",
    "MEASURES",
    "MergeError",
    "Module",
    "OperationError",
    "VornULOError",
    "associations",
    "candidate_paths",
    "count_corpus",
    "count_texts",
    "describe_merge_code",
    "describe_status",
    "export",
    "filter_pairs",
    "find_library",
    "load",
    "measure_names",
    "merge",
    "neighbours",
    "new_words",
    "read_filtered",
    "read_pairs",
    "read_support_records",
    "read_top_n",
    "score",
    "set_library",
    "support_records",
    "to_frame",
    "to_networkx",
    "to_sparse",
    "top_n",
]
