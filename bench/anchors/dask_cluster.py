"""A Dask LocalCluster of two single-threaded worker processes, started before the Dask row
is timed: writes the scheduler's address to ADDRESS_FILE, loads the package in every worker,
then runs until it is sent SIGTERM.

    python3 dask_cluster.py ADDRESS_FILE
"""
import os
import signal
import sys


def warm():
    import vorn_ulo

    vorn_ulo.load().engine  # noqa: B018 (loads both libraries)


def main():
    address_file = sys.argv[1]
    stop = {signal.SIGTERM, signal.SIGINT}
    signal.pthread_sigmask(signal.SIG_BLOCK, stop)
    from dask.distributed import Client, LocalCluster

    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None) as cluster, Client(cluster) as client:
        client.run(warm)
        with open(address_file + ".part", "w") as f:
            f.write(cluster.scheduler_address)
        os.rename(address_file + ".part", address_file)
        signal.sigwait(stop)


if __name__ == "__main__":
    main()
