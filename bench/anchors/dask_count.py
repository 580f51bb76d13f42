"""The corpus job on a Dask LocalCluster of two worker processes, through the
Python package's distributed count (python/ on PYTHONPATH).

    python3 dask_count.py LIBRARY CORPUS SHARED_DIR OUT
"""
import os
import shutil
import sys


def main():
    library, corpus, shared, out = sys.argv[1:5]
    from dask.distributed import Client, LocalCluster
    from vorn_ulo.distributed import count_corpus

    # Shards small enough that both workers get several.
    shard = max(1 << 20, os.path.getsize(corpus) // 8)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        result = count_corpus([corpus], shared, client, window=5, library_path=library,
                              shard_bytes=shard)
    shutil.move(str(result), out)


if __name__ == "__main__":
    main()
