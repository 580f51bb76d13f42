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
from .readers import read_filtered, read_pairs, read_support_records, read_top_n, to_frame



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


def associations(pairs_path, measure="llr", top=10, min_count=1, encoding="gb2312"):
    """For every word of a merged pair-count file, its `top` best associated words by
    `measure` as a pandas DataFrame (see vorn_ulo.measures.associations)."""
    from .measures import associations as rank  # numpy and pandas only when needed

    return rank(pairs_path, measure, top, min_count, encoding)


def __getattr__(name):
    if name == "MEASURES":
        from .measures import MEASURES

        return MEASURES
    raise AttributeError(f"module 'vorn_ulo' has no attribute {name!r}")

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
