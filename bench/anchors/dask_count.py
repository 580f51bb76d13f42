"""The Dask row: the corpus counted by the Python package's distributed count on an already
started cluster (python/ on PYTHONPATH), its parts joined into OUT.

    python3 dask_count.py ADDRESS_FILE LIBRARY CORPUS SHARED_DIR OUT
"""
import os
import sys


def main():
    address_file, library, corpus, shared, out = sys.argv[1:6]
    from dask.distributed import Client
    from vorn_ulo.distributed import count_corpus
    from vorn_ulo.readers import pair_files

    with open(address_file) as f, Client(f.read().strip()) as client:
        result = count_corpus([corpus], shared, client, window=5, library_path=library,
                              stopwords="none", drop_punctuation=False)
    # As ulo merge joins its ranges: the kernel copies.
    with open(out, "wb") as joined:
        for part in pair_files(result):
            with open(part, "rb") as f:
                left = os.fstat(f.fileno()).st_size
                while left > 0:
                    left -= os.copy_file_range(f.fileno(), joined.fileno(), left)


if __name__ == "__main__":
    main()
