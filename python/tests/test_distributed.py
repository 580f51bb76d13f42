"""The count on Dask, reduced in key ranges: a local cluster, a scheduler and workers started
as a user would, and a worker killed in the middle of a task."""

import os
import signal
import subprocess
import time
from pathlib import Path

import pandas
import pytest

import vorn_ulo
from vorn_ulo import distributed as vd
from vorn_ulo.corpus import CountOptions
from conftest import PYTHON_DIR, TANG, write_pairs

distributed = pytest.importorskip("distributed")


def slow_chars(line):
    """A tokenizer that takes its time, so that a task is still running when it is killed."""
    time.sleep(0.002)
    return [c for c in line if "\u4e00" <= c <= "\u9fff"]


CHARS = {"tokenizer": "chars", "window": 2, "source_encoding": "UTF-8"}


def shard_bytes(corpus, shards):
    return corpus.stat().st_size // shards + 1


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    base = TANG.read_text(encoding="utf-8") if TANG.is_file() else "床前明月光，疑是地上霜。\n" * 2000
    path = tmp_path_factory.mktemp("corpus") / "corpus.txt"
    path.write_text(base * 2, encoding="utf-8")
    return path


@pytest.fixture(scope="module")
def single_out(library, corpus, tmp_path_factory):
    out = tmp_path_factory.mktemp("single")
    return vorn_ulo.count_corpus(corpus, out, jobs=1, **CHARS)


@pytest.fixture(scope="module")
def single(single_out):
    return single_out.read_bytes()


def same_tokens(out, single_out):
    """Whether the token counts beside a distributed result are the single process's."""
    return Path(f"{out}.tokens").read_bytes() == Path(f"{single_out}.tokens").read_bytes()


def joined(pairs):
    """A parts directory's parts concatenated."""
    assert (pairs / "index.txt").is_file()
    return b"".join(open(part, "rb").read() for part in vorn_ulo.readers.pair_files(pairs))


@pytest.fixture(scope="module")
def cluster():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None, host="127.0.0.1") as cluster:
        with distributed.Client(cluster) as client:
            yield client


def test_local_cluster_gives_the_single_process_bytes(cluster, corpus, single, single_out,
                                                      tmp_path):
    summary = {}
    shared = tmp_path / "shared"
    out = vd.count_corpus(corpus, shared, cluster, shard_bytes=shard_bytes(corpus, 5), ranges=3,
                          summary=summary, **CHARS)
    assert joined(out) == single
    assert (summary["shards"], summary["parts"]) == (5, 3)
    # The spill files removed; the token counts summed beside the parts.
    assert sorted(p.name for p in shared.iterdir()) == ["pairs", "pairs.tokens"]
    assert same_tokens(out, single_out)
    # The readers take the parts as the one file.
    lines = single.count(b"\n")
    assert sum(1 for _ in vorn_ulo.read_pairs(out)) == len(vorn_ulo.to_frame(out)) == lines
    ranked = vd.associations(out, cluster, measure="llr", top=3).compute()
    expected = vorn_ulo.associations(out, measure="llr", top=3)
    assert ranked.reset_index(drop=True).equals(expected)
    # Nothing ranked: an empty frame of the same columns and types.
    empty = vd.associations(out, cluster, min_count=10**9).compute()
    pandas.testing.assert_frame_equal(empty, vorn_ulo.associations(out, min_count=10**9),
                                      check_index_type=False)
    cr = write_pairs(tmp_path / "cr.txt", [("a", "b\rc", 2), ("b\rc", "a", 2)])  # CR in a word
    assert vd.associations(cr, cluster, min_count=1).compute().reset_index(drop=True).equals(
        vorn_ulo.associations(cr, min_count=1))
    assert vorn_ulo.associations(out, marginals="tokens").equals(
        vorn_ulo.associations(single_out, marginals="tokens"))
    with pytest.raises(FileExistsError):
        vd.count_corpus(corpus, shared, cluster)


@pytest.mark.parametrize("texts, options", [
    (["月 光 照", "光 照 月", "山 水"], {}),
    # A Python tokenizer cuts the texts in the worker, not the engine's tokenizer.
    (["月光照", "光照月", "山水"], {"tokenizer": slow_chars}),
    # A relative path is the caller's, not one in a worker's directory.
    (["月 光 照", "光 照 月", "山 水"], {"stopword_files": ["stop.txt"]}),
])
def test_texts_in_more_ranges_than_first_words(cluster, library, tmp_path, monkeypatch, texts,
                                               options):
    monkeypatch.chdir(tmp_path)
    Path("stop.txt").write_text("照\n", encoding="utf-8")
    Path("library.so").symlink_to(library.path)
    single = vorn_ulo.count_texts(texts, "single", stopwords="none", **options).read_bytes()
    summary = {}
    out = vd.count_corpus([], "shared", cluster, texts=texts, stopwords="none", ranges=8,
                          summary=summary, library_path="library.so", **options)
    assert joined(out) == single
    assert summary["parts"] < 8


def test_texts_beside_files_go_in_their_encoding(cluster, tmp_path, monkeypatch):
    # So does the stop-word list, for the texts' shards as for the files'.
    monkeypatch.chdir(tmp_path)
    for name, text in (("stop.txt", "照\n"), ("a.txt", "月 光 照\n"),
                       ("both.txt", "月 光 照\n光 照 月\n")):
        Path(name).write_bytes(text.encode("gb18030"))
    options = {"stopwords": "none", "stopword_files": ["stop.txt"]}
    single = vorn_ulo.count_corpus("both.txt", "single", **options).read_bytes()
    assert joined(vd.count_corpus(["a.txt"], "shared", cluster, texts="光 照 月", **options)) == single


@pytest.mark.parametrize("arguments, error", [
    ({"ranges": -1}, ValueError), ({"ranges": 0}, ValueError), ({"shard_bytes": 0}, ValueError),
    ({"stopword_files": ["missing.txt"]}, FileNotFoundError),
    ({"texts": ["月", b"\xd4\xc2"]}, TypeError),  # str and bytes: their stop words' encodings
])
def test_bad_arguments_are_refused_before_anything_is_written(cluster, corpus, tmp_path,
                                                              arguments, error):
    with pytest.raises(error):
        vd.count_corpus(corpus, tmp_path / "shared", cluster, source_encoding="UTF-8",
                        **arguments)
    assert not (tmp_path / "shared").exists()


def test_a_failing_shard_is_raised_not_left_out(cluster, tmp_path):
    good, bad = tmp_path / "good.txt", tmp_path / "bad.txt"
    good.write_bytes(b"one two three\n" * 100)
    bad.write_bytes(b"four five\n" * 50 + b"six \xff\xff seven\n")  # no GB18030 text
    with pytest.raises(Exception, match="bad.txt"):
        vd.count_corpus([good, bad], tmp_path / "shared", cluster, shard_bytes=500)


def test_a_worker_killed_mid_task_is_retried(cluster, corpus, single, single_out, tmp_path):
    done = {}

    def kill_a_busy_worker():
        deadline = time.time() + 60
        while time.time() < deadline:
            busy = [w for w, tasks in cluster.processing().items()
                    if any("vorn_ulo-count" in str(t) for t in tasks)]
            if busy:
                pid = cluster.run(os.getpid, workers=busy[:1])[busy[0]]
                time.sleep(0.5)  # well inside the task
                os.kill(pid, signal.SIGKILL)
                done["killed"] = pid
                return
            time.sleep(0.05)

    import threading

    killer = threading.Thread(target=kill_a_busy_worker)
    killer.start()
    out = vd.count_corpus(corpus, tmp_path / "shared", cluster,
                          **dict(CHARS, tokenizer=slow_chars), shard_bytes=shard_bytes(corpus, 4))
    killer.join(60)
    assert "killed" in done
    assert joined(out) == single
    assert same_tokens(out, single_out)  # the shard counted again counts once


def test_finish_run_again_after_a_worker_lost_keeps_the_token_counts(library, tmp_path,
                                                                      monkeypatch):
    texts = ["月 光 照 山", "光 照 月 水"]
    options = CountOptions(stopwords="none", jobs=1)
    root, building = tmp_path / "shared", tmp_path / "shared" / "pairs.building"
    counted = [vd.count_shard(str(root), k, text, options) for k, text in enumerate(texts)]
    building.mkdir()
    keys = [vd.merge_range(counted, 2, k, str(building)) for k in range(2)]

    def worker_lost(*_):
        raise OSError("worker lost")

    with monkeypatch.context() as patch:  # the first attempt stops once the counts are summed
        patch.setattr(vd.os, "replace", worker_lost)
        with pytest.raises(OSError):
            vd.finish(str(building), str(root / "pairs"), None, *keys)
    out = vd.finish(str(building), str(root / "pairs"), None, *keys)
    assert same_tokens(out, vorn_ulo.count_texts(texts, tmp_path / "single", stopwords="none"))


def start(command, log):
    return subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT,
                            env=dict(os.environ, PYTHONPATH=str(PYTHON_DIR)))


def test_scheduler_and_workers_started_by_hand(library, corpus, single, tmp_path):
    dask = "/usr/bin/dask"
    if not os.path.exists(dask):
        pytest.skip("no dask command")
    address_file = tmp_path / "scheduler.json"
    log = open(tmp_path / "cluster.log", "wb")
    processes = [start([dask, "scheduler", "--host", "127.0.0.1", "--port", "0",
                        "--no-dashboard", "--scheduler-file", str(address_file)], log)]
    try:
        deadline = time.time() + 60
        while not address_file.exists() and time.time() < deadline:
            time.sleep(0.2)
        assert address_file.exists(), (tmp_path / "cluster.log").read_text()
        for _ in range(2):
            processes.append(start([dask, "worker", "--scheduler-file", str(address_file),
                                    "--host", "127.0.0.1", "--nthreads", "1",
                                    "--no-dashboard"], log))
        with distributed.Client(scheduler_file=str(address_file), timeout=60) as client:
            client.wait_for_workers(2, timeout=60)
            assert all(a.startswith("tcp://127.0.0.1:") for a in client.scheduler_info()["workers"])
            out = vd.count_corpus(corpus, tmp_path / "shared", client,
                                  shard_bytes=shard_bytes(corpus, 3), **CHARS)
            assert joined(out) == single
    finally:
        for process in reversed(processes):
            process.send_signal(signal.SIGINT)
        for process in reversed(processes):
            try:
                process.wait(20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(10)
        log.close()

