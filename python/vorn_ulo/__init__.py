"""Word-pair association statistics: the Vorn_ULO library from Python.

    import vorn_ulo
    pairs = vorn_ulo.count_corpus(["corpus.txt"], "work", tokenizer="jieba")
    print(vorn_ulo.associations(pairs, measure="llr", top=5))
"""

from ._native import LIBRARY_NAME, Library, candidate_paths, find_library, load, set_library
from .api import CountingRun, Module, filter_pairs, merge, support_records, top_n
from .corpus import count_corpus
from .encoding import Encoder
from .errors import (
    CommandError,
    LibraryNotFoundError,
    MergeError,
    OperationError,
    VornULOError,
    describe_merge_code,
    describe_status,
)
from .measures import MEASURES, associations
from .readers import read_filtered, read_pairs, read_support_records, read_top_n, to_frame

__version__ = "1.0.0"

__all__ = [
    "CommandError",
    "CountingRun",
    "Encoder",
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
    "describe_merge_code",
    "describe_status",
    "filter_pairs",
    "find_library",
    "load",
    "merge",
    "read_filtered",
    "read_pairs",
    "read_support_records",
    "read_top_n",
    "set_library",
    "support_records",
    "to_frame",
    "top_n",
]
