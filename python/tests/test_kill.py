"""A count killed at any moment leaves WORKDIR/pairs.txt whole or absent, never cut."""

import os
import signal
import subprocess
import sys
import time

import vorn_ulo
from conftest import PYTHON_DIR

# Imports, says so, then counts when told to: the kills fall in the count alone.
CHILD = """
import sys
sys.path.insert(0, sys.argv[1])
import vorn_ulo
print("ready", flush=True)
sys.stdin.readline()
vorn_ulo.count_corpus(sys.argv[2], sys.argv[3], source_encoding="UTF-8", jobs=1, window=8)
"""


def start(big, work):
    child = subprocess.Popen([sys.executable, "-c", CHILD, str(PYTHON_DIR), str(big), str(work)],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
    assert child.stdout.readline() == "ready\n"
    child.stdin.write("go\n")
    child.stdin.flush()
    return child, time.monotonic()


def test_a_killed_count_leaves_no_cut_pairs_file(library, corpus, tmp_path):
    big = tmp_path / "big.txt"
    big.write_bytes(corpus.read_bytes() * 40)
    whole = vorn_ulo.count_corpus(big, tmp_path / "whole", source_encoding="UTF-8", jobs=1,
                                  window=8).read_bytes()
    child, started = start(big, tmp_path / "timed")
    child.wait(timeout=300)
    took = time.monotonic() - started
    # Kills spread over the count, the merge and the final rename.
    for step in range(1, 9):
        work = tmp_path / f"kill{step}"
        child, started = start(big, work)
        time.sleep(max(0.0, started + took * step / 8 - time.monotonic()))
        os.kill(child.pid, signal.SIGKILL)
        child.wait(timeout=60)
        pairs = work / "pairs.txt"
        if pairs.exists():
            assert pairs.read_bytes() == whole, f"a cut pairs.txt after a kill at {step}/8"
