"""The Dask row: the corpus counted by the Python package's distributed count on an already
started cluster (python/ on PYTHONPATH), its parts joined into OUT.

    python3 dask_count.py ADDRESS_FILE LIBRARY CORPUS SHARED_DIR OUT
"""
import sys


def main():
    address_file, library, corpus, shared, out = sys.argv[1:6]
    from dask.distributed import Client
    from vorn_ulo.distributed import count_corpus
    from vorn_ulo import load, merge

    with open(address_file) as f, Client(f.read().strip()) as client:
        result = count_corpus([corpus], shared, client, window=5, library_path=library,
                              stopwords="none", drop_punctuation=False)
    # The parts joined into one file, as ulo merge joins its ranges.
    merge(result, out, library=load(library))


if __name__ == "__main__":
    main()
