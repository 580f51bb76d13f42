"""The benchmark report's runner; bench/run builds the programs and calls it.

Generates the data (once; kept under the data directory), then times every
job of the library side by side with what people would use instead, on the
same data in the same run: the contenders of a job take turns, each round
starting with the next one, and the report gives medians. Writes
results.md, the data of the two charts and the charts themselves.

    python3 bench/runner.py --build DIR [--quick] [--rounds N]
"""

import argparse
import datetime
import os
import platform
import shutil
import statistics
import subprocess
import sys
import threading
import time

import corpus_job

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
ANCHORS = os.path.join(BENCH, "anchors")

# Distinct pairs a counting run holds before it spills them to a file.
SPILL_THRESHOLD = 0x400000
FILTER_THRESHOLD = 5
# Peak memory allowed to the corpus job's ulo count + ulo merge.
CORPUS_MEMORY_MIB = 256
TOP_N = 10


def log(message):
    elapsed = time.time() - START
    print("[%2d:%02d] %s" % (elapsed // 60, elapsed % 60, message), flush=True)


def run_quietly(argv, **kwargs):
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, **kwargs)


def load_average():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


class Measured:
    """Wall seconds and peak resident memory (KiB) of one command."""

    def __init__(self, seconds, peak_kib):
        self.seconds = seconds
        self.peak_kib = peak_kib


class Failed(Exception):
    pass


def measure(argv, env=None):
    """Runs argv and returns its wall time and the peak resident set of its
    largest process, as /usr/bin/time reports it (the maximum over the
    process and the descendants it waited for: for a pipeline, its largest
    stage). Started from this process, a command would be charged with this
    process's own resident set, which a new process inherits."""
    os.sync()  # earlier writes are not flushed while this one runs
    report = os.path.join(BENCH, "work", "time.txt")
    start = time.perf_counter()
    status = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + argv,
                            stdout=subprocess.DEVNULL, env=env).returncode
    seconds = time.perf_counter() - start
    if status != 0:
        raise Failed("%s failed with status %d" % (" ".join(argv), status))
    with open(report) as f:
        return Measured(seconds, int(f.read().split()[-1]))


def shell(script, *args):
    """A command line for `sh -c`, its arguments passed as $1, $2, ..."""
    return ["sh", "-c", script, "sh"] + [str(a) for a in args]


class Contender:
    def __init__(self, key, label, argv, role, outputs=(), prepare=None, optional=False,
                 env=None):
        self.key = key
        # An optional contender (a feature that may be absent) that fails is
        # dropped from its job with a note instead of stopping the run.
        self.optional = optional
        self.env = env
        self.label = label
        self.argv = argv
        self.role = role  # "library", "anchor" or "floor"
        self.outputs = list(outputs)
        self.prepare = prepare
        self.runs = []

    def seconds(self):
        return statistics.median(r.seconds for r in self.runs)

    def peak_mib(self):
        return statistics.median(r.peak_kib for r in self.runs) / 1024


class Job:
    """Contenders timed in turns on the same input; `check` compares their
    outputs after the first round."""

    def __init__(self, key, title, rounds, contenders, inputs, unit, amount, check):
        self.key = key
        self.title = title
        self.rounds = rounds
        self.contenders = contenders
        self.inputs = inputs
        self.unit = unit  # "pairs" (amount: pairs) or "MB" (amount: bytes)
        self.amount = amount
        self.check = check
        self.notes = []
        self.dropped = set()

    def contender(self, key):
        return next(c for c in self.contenders if c.key == key)

    def has(self, key):
        return any(c.key == key for c in self.contenders) and key not in self.dropped

    def rate(self, contender):
        if self.unit == "pairs":
            return "%.2f M pairs/s" % (self.amount / contender.seconds() / 1e6)
        if self.unit == "words":
            return "%.2f M words/s" % (self.amount / contender.seconds() / 1e6)
        return "%.0f MB/s" % (self.amount / contender.seconds() / 1e6)

    def run(self):
        for path in self.inputs:  # into the page cache, for every contender alike
            run_quietly(["cat", path] if os.path.isfile(path) else ["find", path, "-type", "f",
                                                                        "-exec", "cat", "{}", "+"])
        count = len(self.contenders)
        for round_number in range(1, self.rounds + 1):
            for i in range(count):
                c = self.contenders[(round_number - 1 + i) % count]
                if c.key in self.dropped:
                    continue
                remove(c.outputs)
                if c.prepare:
                    c.prepare()
                try:
                    result = measure(c.argv, c.env)
                except Failed as error:
                    if not c.optional:
                        fail(str(error))
                    log("%-8s %s failed: dropped" % (self.key, c.label))
                    self.dropped.add(c.key)
                    self.notes.append("%s was left out: it failed (%s)." % (c.label, error))
                    remove(c.outputs)
                    continue
                c.runs.append(result)
                log("%-8s round %d/%d  %-24s %8.2f s %8.0f MB" %
                    (self.key, round_number, self.rounds, c.label, result.seconds,
                     result.peak_kib / 1024))
                if round_number > 1:
                    remove(c.outputs)
            if round_number == 1:
                self.notes.extend(self.check())
                for c in self.contenders:
                    remove(c.outputs)
        self.contenders = [c for c in self.contenders if c.key not in self.dropped]


def remove(paths):
    for path in paths:
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.exists(path):
            os.remove(path)


def same_bytes(a, b):
    return subprocess.run(["cmp", "-s", a, b]).returncode == 0


def line_count(path):
    with open(path, "rb") as f:
        return sum(block.count(b"\n") for block in iter(lambda: f.read(1 << 20), b""))


def cell(text):
    """Text for a Markdown table cell."""
    return text.replace("|", "\\|")


def fail(message):
    sys.exit("bench: " + message)


class Bench:
    def __init__(self, options):
        self.options = options
        scale = 0.1 if options.quick else 1.0
        self.scale = scale
        self.build = os.path.abspath(options.build)
        self.data = os.path.join(BENCH, "data", "quick") if options.quick else os.path.join(
            BENCH, "data")
        self.work = os.path.join(BENCH, "work", "run")
        self.out = os.path.join(BENCH, "work", "quick") if options.quick else BENCH
        if options.only:
            self.out = os.path.join(BENCH, "work", "partial")
        self.python = options.python
        self.pairs = int(10_000_000 * scale)
        self.scaling = [int(m * 1_000_000 * scale) for m in (1, 5, 10, 15, 20, 25)]
        self.merged_lines = int(5_000_000 * scale)
        self.lines20 = int(1_000_000 * scale)
        self.lines400 = int(50_000 * scale)
        self.stream = os.path.join(self.data, "pairs_%d.txt" % self.scaling[-1])
        self.stream10 = os.path.join(self.data, "pairs_%d.txt" % self.pairs)
        self.merged = os.path.join(self.data, "merged_%d.txt" % self.merged_lines)
        # 20 sorted files, as many lines in all as the largest scaling run;
        # the first lines of each make the smaller sets, 20 million of them
        # (1 million a file) the merge job's.
        self.full20 = os.path.join(self.data, "merge20x%d" % (self.scaling[-1] // 20))
        self.dir20 = self.heads20(self.lines20 * 20)
        self.dir400 = os.path.join(self.data, "merge400")
        # Spill files as a counting run writes them: 20 of 1 M distinct pairs
        # (one pass) and 400 of 50 k (two passes), cut from one long stream.
        self.spills20 = os.path.join(self.data, "spills20x%d" % self.lines20)
        self.spills400 = os.path.join(self.data, "spills400x%d" % self.lines400)
        self.before = os.path.abspath(options.before) if options.before else None
        # The share of the dictionary's entries in the corpus, in percent.
        self.corpus_share = options.corpus_share or (1 if options.quick else 100)
        self.corpus = os.path.join(self.data, "gcide_%d.txt" % self.corpus_share)

    def heads20(self, n):
        """The directory of 20 sorted files of n / 20 lines each."""
        if n == self.scaling[-1]:
            return self.full20
        return os.path.join(self.data, "merge20_%d" % n)

    def tool(self, name, before=False):
        return os.path.join(self.before if before else self.build, "bench", name)

    def ulo(self, before=False):
        return os.path.join(self.before if before else self.build, "host", "ulo")

    def before_label(self):
        return "before (%s)" % self.options.before_commit

    # The data. Each piece is written under a temporary name (or marked done
    # beside its directory) so that an interrupted run never leaves a piece
    # that looks finished.

    def generate(self):
        os.makedirs(self.data, exist_ok=True)
        datagen = self.tool("datagen")

        def file_piece(path, *args):
            if os.path.exists(path):
                return
            log("generating %s" % os.path.relpath(path, ROOT))
            run_quietly([datagen] + [str(a) for a in args] + [path + ".part"])
            os.rename(path + ".part", path)

        def dir_piece(path, files, lines, kind="sorted"):
            if os.path.exists(path + ".done"):
                return
            log("generating %s: %d %s files of %d lines" %
                (os.path.relpath(path, ROOT), files, kind, lines))
            remove([path])
            os.makedirs(path)
            run_quietly([datagen, kind, str(files), str(lines), path])
            open(path + ".done", "w").close()

        def lane_a():
            dir_piece(self.full20, 20, self.scaling[-1] // 20)
            for n in self.scaling[:-1]:
                heads = self.heads20(n)
                if os.path.exists(heads + ".done"):
                    continue
                log("making %s: the first %d lines of each file" %
                    (os.path.relpath(heads, ROOT), n // 20))
                remove([heads])
                os.makedirs(heads)
                for name in sorted(os.listdir(self.full20)):
                    with open(os.path.join(heads, name), "wb") as out:
                        subprocess.run(["head", "-n", str(n // 20), os.path.join(self.full20, name)],
                                       stdout=out, check=True)
                open(heads + ".done", "w").close()

        def lane_b():
            file_piece(self.stream, "pairs", self.scaling[-1])
            if not os.path.exists(self.stream10):
                # The first pairs of a stream are the shorter stream of the same seed.
                with open(self.stream10 + ".part", "wb") as out:
                    subprocess.run(["head", "-n", str(self.pairs), self.stream], stdout=out,
                                   check=True)
                os.rename(self.stream10 + ".part", self.stream10)
            file_piece(self.merged, "merged", self.merged_lines)
            dir_piece(self.dir400, 400, self.lines400)
            dir_piece(self.spills20, 20, self.lines20, "spills")
            dir_piece(self.spills400, 400, self.lines400, "spills")
            corpus_job.make_corpus(self.corpus, self.corpus_share / 100, log)

        errors = []

        def guarded(lane):
            try:
                lane()
            except BaseException as error:  # reported once both lanes stop
                errors.append(error)

        threads = [threading.Thread(target=guarded, args=(lane,)) for lane in (lane_a, lane_b)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        if errors:
            fail("data generation failed: %s" % errors[0])

    # The jobs.

    def counting_job(self):
        w = self.work
        lib_dir, ref_dir = os.path.join(w, "count_library"), os.path.join(w, "count_reference")
        py_out, sort_out = os.path.join(w, "count_python.txt"), os.path.join(w, "count_sort.txt")

        def fresh(path):
            return lambda: os.makedirs(path)

        contenders = [
            Contender("library", "library (exports)",
                      [self.tool("count_bench"), "library", self.stream10, lib_dir], "library",
                      [lib_dir], fresh(lib_dir)),
        ]
        before_dir = os.path.join(w, "count_before")
        if self.before:
            contenders.append(
                Contender("before", self.before_label(),
                          [self.tool("count_bench", True), "library", self.stream10, before_dir],
                          "anchor", [before_dir], fresh(before_dir)))
        contenders += [
            Contender("reference", "std::map reference",
                      [self.tool("count_bench"), "reference", self.stream10, ref_dir], "anchor",
                      [ref_dir], fresh(ref_dir)),
            Contender("python", "Python Counter, sorted",
                      [self.python, os.path.join(ANCHORS, "counter.py"), self.stream10, py_out],
                      "anchor", [py_out]),
            Contender("sort", "sort | uniq -c",
                      shell('sort -S 2G --parallel=2 "$1" | uniq -c >"$2"', self.stream10,
                            sort_out), "anchor", [sort_out]),
        ]

        def check():
            spills = sorted(os.listdir(lib_dir))
            if spills != ["temp1.txt"]:
                fail("counting %d pairs spilled early: %s" % (self.pairs, spills))
            library = os.path.join(lib_dir, "temp1.txt")
            if not same_bytes(library, os.path.join(ref_dir, "temp1.txt")):
                fail("the library's and the reference's counts differ")
            if self.before and not same_bytes(library, os.path.join(before_dir, "temp1.txt")):
                fail("the library's and the before build's spill files differ")
            if not same_bytes(library, py_out):
                fail("the library's and Python's counts differ")
            distinct = line_count(library)
            if line_count(sort_out) != distinct:
                fail("sort | uniq -c found another number of distinct pairs")
            self.distinct = distinct
            return ["The library's spill file, %sthe reference's and Python's are identical, "
                    "byte for byte; sort | uniq -c finds the same %s distinct pairs." %
                    ("the before build's, " if self.before else "", "{:,}".format(distinct))]

        return Job("count", "Counting %s pairs" % "{:,}".format(self.pairs), self.rounds(),
                   contenders, [self.stream10], "pairs", self.pairs, check)

    def merge_job(self, key, directory, files, lines, with_plain_sort, shape):
        w = self.work
        inputs = sorted(os.path.join(directory, name) for name in os.listdir(directory))
        outs = {k: os.path.join(w, "%s_%s.txt" % (key, k))
                for k in ("lib", "before", "awk", "sort", "cat")}
        # The file names go to the shell as its arguments: "$@" after the two.
        pipeline = 'out=$1; tmp=$2; shift 2; sort -m --batch-size=20 -T "$tmp" "$@" | '
        contenders = [
            Contender("library", "library (ULO_MulMergeFile)",
                      [self.tool("merge_bench"), directory, outs["lib"]], "library", [outs["lib"]]),
        ]
        if self.before:
            contenders.append(
                Contender("before", self.before_label(),
                          [self.tool("merge_bench", True), directory, outs["before"]], "anchor",
                          [outs["before"]]))
        contenders += [
            Contender("sort_awk", "sort -m | awk (sums)",
                      shell(pipeline + 'awk -f "%s" >"$out"' % os.path.join(ANCHORS, "sum_counts.awk"),
                            outs["awk"], w, *inputs), "anchor", [outs["awk"]]),
        ]
        if with_plain_sort:
            contenders.append(
                Contender("sort", "sort -m (no sums)",
                          shell('out=$1; tmp=$2; shift 2; sort -m --batch-size=20 -T "$tmp" "$@" >"$out"',
                                outs["sort"], w, *inputs), "anchor", [outs["sort"]]))
        contenders.append(
            Contender("cat", "cat (I/O floor)", shell('out=$1; shift; cat "$@" >"$out"', outs["cat"],
                                                       *inputs), "floor", [outs["cat"]]))
        total = sum(os.path.getsize(p) for p in inputs)

        def check():
            if not same_bytes(outs["lib"], outs["awk"]):
                fail("%s: ULO_MulMergeFile and sort -m | awk differ" % key)
            if self.before and not same_bytes(outs["lib"], outs["before"]):
                fail("%s: ULO_MulMergeFile and the before build's differ" % key)
            merged = line_count(outs["lib"])
            read = sum(line_count(p) for p in inputs)
            setattr(self, key + "_lines", merged)
            return ["ULO_MulMergeFile's output is identical to sort -m | awk's%s: %s lines from "
                    "%s, %.0f%% of them kept." %
                    (" and the before build's" if self.before else "", "{:,}".format(merged),
                     "{:,}".format(read), 100.0 * merged / read)]

        passes = "one pass" if files <= 20 else "two passes"
        title = "Merging %d %s of %s lines (%s, %.0f MB)" % (files, shape, "{:,}".format(lines),
                                                            passes, total / 1e6)
        return Job(key, title, self.rounds(), contenders, [directory], "MB", total, check)

    def stats_job(self):
        w = self.work
        o = {k: os.path.join(w, "stats_%s.txt" % k) for k in ("sl", "sa", "tl", "ta")}
        driver = self.tool("stats_driver")
        awk_tab = "awk -F'\t'"
        contenders = [
            Contender("floor", "read-and-scan floor", [driver, "scan", self.merged], "floor"),
            Contender("support", "support: library", [driver, "support", self.merged, o["sl"]],
                      "library", [o["sl"]]),
            Contender("support_awk", "support: awk two-pass",
                      shell(awk_tab + ' -f "$1" "$2" "$2" >"$3"', os.path.join(ANCHORS, "support.awk"),
                            self.merged, o["sa"]), "anchor", [o["sa"]]),
            Contender("topn", "top-10: library",
                      [driver, "topn", self.merged, o["tl"], str(TOP_N)], "library", [o["tl"]]),
            Contender("topn_awk", "top-10: awk | sort | awk",
                      shell(awk_tab + ' -f "$1" "$3" "$3" | sort -s -t"$(printf \'\\t\')" -k1,1n '
                            '-k2,2nr | ' + awk_tab + ' -v N=%d -f "$2" >"$4"' % TOP_N,
                            os.path.join(ANCHORS, "topn_scores.awk"),
                            os.path.join(ANCHORS, "topn_pick.awk"), self.merged, o["ta"]),
                      "anchor", [o["ta"]]),
        ]

        def check():
            if not same_bytes(o["sl"], o["sa"]):
                fail("the library's support records and awk's differ")
            if not same_bytes(o["tl"], o["ta"]):
                fail("the library's top-10 file and awk | sort | awk's differ")
            return ["The library's support records and top-10 file are identical, byte for "
                    "byte, to the awk pipelines' (%.0f MB and %.0f MB)." %
                    (os.path.getsize(o["sl"]) / 1e6, os.path.getsize(o["tl"]) / 1e6)]

        size = os.path.getsize(self.merged)
        title = "Support records and top-%d of %s pairs (%.0f MB)" % (
            TOP_N, "{:,}".format(self.merged_lines), size / 1e6)
        return Job("stats", title, self.rounds(), contenders, [self.merged], "MB", size, check)

    def filter_job(self):
        w = self.work
        lib_out, awk_out = os.path.join(w, "filter_lib.txt"), os.path.join(w, "filter_awk.txt")
        driver = self.tool("stats_driver")
        contenders = [
            Contender("library", "library (ULO_Filtrate)",
                      [driver, "filter", self.merged, lib_out, str(FILTER_THRESHOLD)], "library",
                      [lib_out]),
            Contender("awk", "awk '$3 >= %d'" % FILTER_THRESHOLD,
                      shell("awk '$3 >= %d' \"$1\" >\"$2\"" % FILTER_THRESHOLD, self.merged, awk_out),
                      "anchor", [awk_out]),
            Contender("floor", "read-and-scan floor", [driver, "scan", self.merged], "floor"),
        ]

        def check():
            # Same pairs; the library writes "count TAB word1 TAB word2".
            with open(lib_out, "rb") as f:
                moved = [b"%s\t%s\t%s" % tuple(line.rstrip(b"\n").split(b"\t")[i] for i in (1, 2, 0))
                         for line in f]
            with open(awk_out, "rb") as f:
                kept = [line.rstrip(b"\n") for line in f]
            if moved != kept:
                fail("the library's filter and awk's keep different pairs")
            return ["The library's filter keeps the same %s pairs as awk (count >= %d), "
                    "written count first." % ("{:,}".format(len(kept)), FILTER_THRESHOLD)]

        size = os.path.getsize(self.merged)
        # Runs take a fraction of a second: more rounds steady the medians.
        return Job("filter", "Filtering %s pairs (%.0f MB), count >= %d" %
                   ("{:,}".format(self.merged_lines), size / 1e6, FILTER_THRESHOLD),
                   max(self.rounds(), 9), contenders, [self.merged], "MB", size, check)

    def corpus_job(self):
        """A dictionary's text to merged pair counts: ulo count + ulo merge
        (this build and before), NLTK, Counter, and where they exist the
        host's worker processes and the Python package's Dask count."""
        w = self.work
        corpus = self.corpus
        with open(corpus, "rb") as f:
            lines, words = 0, 0
            for line in f:
                lines += 1
                words += len(line.split())
        window = str(corpus_job.WINDOW)
        # The options after the four named arguments go to ulo count.
        script = ('ulo=$1; spill=$2; out=$3; corpus=$4; shift 4; rm -rf "$spill"; '
                  '"$ulo" --quiet count "$corpus" --work "$spill" --window %s "$@" && '
                  '"$ulo" --quiet merge "$spill" "$out"' % window)
        outs = {}

        def ulo_run(key, label, before=False, extra=(), role="library"):
            spill = os.path.join(w, "corpus_%s_spill" % key)
            outs[key] = os.path.join(w, "corpus_%s.txt" % key)
            return Contender(key, label, shell(script, self.ulo(before), spill, outs[key], corpus,
                                               *extra), role, [spill, outs[key]])

        contenders = [ulo_run("library", "ulo count + ulo merge")]
        if self.before:
            contenders.append(ulo_run("before", self.before_label(), before=True, role="anchor"))
        skipped = []
        if corpus_job.supports_jobs(self.ulo()):
            contenders.append(ulo_run("jobs1", "ulo count --jobs 1 + merge", extra=["--jobs", "1"],
                                      role="anchor"))
            contenders.append(ulo_run("jobs2", "ulo count --jobs 2 + merge", extra=["--jobs", "2"],
                                      role="anchor"))
        else:
            skipped.append("`ulo count --jobs N` does not exist in this build: its rows were "
                           "skipped.")
        for mode, label in (("nltk", "NLTK BigramCollocationFinder"),
                            ("counter", "Python Counter")):
            outs[mode] = os.path.join(w, "corpus_%s.txt" % mode)
            contenders.append(
                Contender(mode, label, [self.python, os.path.join(ANCHORS, "corpus_pairs.py"),
                                        mode, corpus, outs[mode]], "anchor", [outs[mode]]))
        package = corpus_job.dask_package(ROOT)
        if package:
            shared, out = os.path.join(w, "corpus_dask_shared"), os.path.join(w, "corpus_dask.txt")
            outs["dask"] = out
            env = dict(os.environ)
            env["PYTHONPATH"] = package + (os.pathsep + env["PYTHONPATH"]
                                           if env.get("PYTHONPATH") else "")
            library = os.path.join(self.build, "src", "module", "libVorn_ULO.so")
            contenders.append(
                Contender("dask", "Dask, 2 workers (vorn_ulo.distributed)",
                          [self.python, os.path.join(ANCHORS, "dask_count.py"), library, corpus,
                           shared, out], "anchor", [shared, out], optional=True, env=env))
        else:
            skipped.append("The Python package's distributed count (python/vorn_ulo/"
                           "distributed.py) does not exist in this tree: the Dask row was skipped.")

        def check():
            library = outs["library"]
            for key, out in outs.items():
                if key == "library" or not os.path.exists(out):
                    continue  # a dropped optional contender left nothing
                if not same_bytes(library, out):
                    fail("corpus: the merged pair counts of %s and ulo differ" % key)
            pairs = line_count(library)
            others = [c.label for c in contenders if c.key != "library" and c.key in outs and
                      os.path.exists(outs[c.key])]
            return ["Every contender's pair counts are identical, byte for byte, to ulo's "
                    "(%s): %s distinct pairs." % (", ".join(others), "{:,}".format(pairs))] + skipped

        size = os.path.getsize(corpus)
        share = "" if self.corpus_share == 100 else " (the first %d%%)" % self.corpus_share
        title = ("Corpus to merged pair counts: %s entries of dict-gcide%s, %s words (%.0f MB), "
                 "window %s, both directions" % ("{:,}".format(lines), share, "{:,}".format(words),
                                                 size / 1e6, window))
        return Job("corpus", title, self.rounds(), contenders, [corpus], "words", words, check)

    def rounds(self):
        return self.options.rounds

    # The scaling run: counting the first N pairs of the stream, and merging
    # 20 sorted files of N / 20 lines each.

    def scaling_run(self):
        rounds = self.options.scaling_rounds
        rows = {n: {"count": [], "merge": []} for n in self.scaling}
        run_quietly(["cat", self.stream])
        for n in self.scaling:
            run_quietly(["find", self.heads20(n), "-type", "f", "-exec", "cat", "{}", "+"])
        for round_number in range(1, rounds + 1):
            for n in self.scaling:
                spill = os.path.join(self.work, "scale_%d" % n)
                merged = os.path.join(self.work, "scale_%d.txt" % n)
                remove([spill, merged])
                os.makedirs(spill)
                counted = measure([self.tool("count_bench"), "library", self.stream, spill, str(n)])
                files = len(os.listdir(spill))
                if round_number == 1:
                    rows[n]["distinct"] = sum(line_count(os.path.join(spill, name))
                                              for name in os.listdir(spill))
                remove([spill])
                joined = measure([self.tool("merge_bench"), self.heads20(n), merged])
                if round_number == 1:
                    rows[n]["merged"] = line_count(merged)
                remove([merged])
                rows[n]["count"].append(counted)
                rows[n]["merge"].append(joined)
                rows[n]["spills"] = files
                log("scaling  round %d/%d  %5.1f M pairs: count %6.2f s %5.0f MB, %d spill "
                    "file(s); merge %5.2f s %4.0f MB" %
                    (round_number, rounds, n / 1e6, counted.seconds, counted.peak_kib / 1024, files,
                     joined.seconds, joined.peak_kib / 1024))
        self.scaling_rows = rows

    # The report.

    def comparisons(self):
        """(job, library contender, other contender, chart label, target)
        with the target a lower bound on other's time / library's time."""
        return [
            ("count", "library", "before", "count vs before", 1.3),
            ("count", "library", "reference", "count vs std::map", 4),
            ("count", "library", "python", "count vs Python Counter", 8),
            ("count", "library", "sort", "count vs sort|uniq -c", 1),
            ("spills20", "library", "sort", "spills 20 vs sort -m", 2.5),
            ("spills20", "library", "sort_awk", "spills 20 vs sort -m|awk", 6),
            ("spills20", "library", "before", "spills 20 vs before", 1.6),
            ("spills400", "library", "sort_awk", "spills 400 vs sort -m|awk", 6),
            ("spills400", "library", "before", "spills 400 vs before", None),
            ("corpus", "library", "before", "corpus vs before", 2),
            ("corpus", "library", "nltk", "corpus vs NLTK", 20),
            ("corpus", "library", "counter", "corpus vs Counter", 10),
            ("corpus", "jobs2", "jobs1", "corpus --jobs 2 vs --jobs 1", 1.7),
            ("corpus", "library", "dask", "corpus vs Dask", None),
            ("merge20", "library", "before", "merge 20 vs before", None),
            ("merge20", "library", "sort_awk", "merge 20 vs sort -m|awk", 5),
            ("merge20", "library", "sort", "merge 20 vs sort -m", 2),
            ("merge20", "library", "cat", "merge 20 vs cat (floor)", None),
            ("merge400", "library", "sort_awk", "merge 400 vs sort -m|awk", 5),
            ("merge400", "library", "cat", "merge 400 vs cat (floor)", None),
            ("stats", "support", "support_awk", "support vs awk", 5),
            ("stats", "topn", "topn_awk", "top-10 vs awk|sort|awk", 8),
            ("filter", "library", "awk", "filter vs awk", None),
            ("filter", "library", "floor", "filter vs scan (floor)", 1 / 1.5),
        ]

    def write_report(self, jobs, started, load_start, load_peak):
        by_key = {j.key: j for j in jobs}
        md = []
        commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                                capture_output=True, text=True).stdout.strip() or "unknown"
        dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True).stdout.strip()
        cpu = "unknown"
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
        with open("/proc/meminfo") as f:
            memory = int(f.readline().split()[1]) / 1024 / 1024
        elapsed = time.time() - started

        def version(argv):
            result = subprocess.run(argv, capture_output=True, text=True)
            return (result.stdout or result.stderr).splitlines()[0].strip()

        md.append("# Benchmark results\n")
        md.append("Measured by `bench/run` on %s at commit `%s`%s." %
                  (datetime.date.today().isoformat(), commit,
                   " (with uncommitted changes)" if dirty else ""))
        md.append("The whole run, build and data generation included, took %d min %02d s.\n" %
                  (elapsed // 60, elapsed % 60))
        md.append("- Machine: %s, %d cores, %.0f GiB memory; Linux %s" %
                  (cpu, os.cpu_count(), memory, platform.release()))
        before = self.options.load_before
        md.append("- Load average (1 minute): %s%.2f when the measurements began (the "
                  "benchmark's own data generation included), at most %.2f before a job began, "
                  "%.2f at the end" % ("" if before is None else "%.2f before the run, " % before,
                                       load_start, load_peak, load_average()))
        md.append("- Library: Release build (`-O3`, %s)" % version(["g++", "--version"]))
        if self.before:
            md.append("- \"%s\": the library, benchmark programs and host of commit `%s`, built "
                      "by the same run in its own tree and timed as a contender on the same "
                      "data" % (self.before_label(), self.options.before_commit))
        md.append("- Anchors: %s; %s; %s (`LC_ALL=C` throughout)" %
                  (version(["sort", "--version"]), version(["awk", "--version"]).split(",")[0],
                   version([self.python, "--version"])))
        md.append("- Every job runs its contenders on the same data, in turns (each round "
                  "starts with the next contender), %d rounds (the filter %d); figures are "
                  "medians. Wall seconds include starting the process. Peak memory is the "
                  "largest resident set of the command's processes (for a pipeline, its "
                  "largest stage). \"Ratio\" is the contender's time divided by the "
                  "library's: above 1 the library is faster.\n" %
                  (self.rounds(), by_key["filter"].rounds if "filter" in by_key else 9))

        md.append("## Targets\n")
        md.append("| Job | Measure | Target | Measured | Met |")
        md.append("|---|---|---|---|---|")
        targets = []
        for job_key, lib_key, other_key, label, target in self.comparisons():
            if target is None:
                continue
            job = by_key.get(job_key)
            if other_key == "floor":
                wanted = "at most %.1fx" % (1 / target)
            elif target == 1:
                wanted = "faster"
            else:
                wanted = "at least %gx" % target
            if job is None or not job.has(lib_key) or not job.has(other_key):
                md.append("| %s | %s | %s | skipped: %s absent | |" %
                          (job_key, cell("time vs " + label.split(" vs ", 1)[1]), wanted,
                           "the job" if job is None else "a contender"))
                continue
            ratio = job.contender(other_key).seconds() / job.contender(lib_key).seconds()
            if other_key == "floor":
                measured = "%.2fx the floor's time" % (1 / ratio)
            else:
                measured = "%.2fx faster" % ratio
            met = ratio > target if target == 1 else ratio >= target - 1e-9
            targets.append((label, met))
            md.append("| %s | %s | %s | %s | %s |" %
                      (job.key, cell("time vs " + label.split(" vs ", 1)[1]), wanted, measured,
                       "yes" if met else "**no**"))
        mem_met = True
        if "count" in by_key:
            count = by_key["count"]
            lib_mem, ref_mem = count.contender("library").peak_mib(), count.contender(
                "reference").peak_mib()
            mem_met = lib_mem <= ref_mem
            md.append("| count | peak memory vs std::map | no higher | %.0f MB vs %.0f MB (%.2fx) "
                      "| %s |" % (lib_mem, ref_mem, lib_mem / ref_mem, "yes" if mem_met else "**no**"))
        if "corpus" in by_key:
            corpus_mem = by_key["corpus"].contender("library").peak_mib()
            corpus_met = corpus_mem <= CORPUS_MEMORY_MIB
            mem_met = mem_met and corpus_met
            md.append("| corpus | peak memory of ulo | at most %d MB | %.0f MB | %s |" %
                      (CORPUS_MEMORY_MIB, corpus_mem, "yes" if corpus_met else "**no**"))
        md.append("")

        for job in jobs:
            md.append("## %s\n" % job.title)
            library = job.contender("library" if job.key not in ("stats",) else "support")
            md.append("| Contender | Wall s | Throughput | Peak MB | Ratio | Runs (s) |")
            md.append("|---|---:|---:|---:|---:|---|")
            for c in job.contenders:
                base = library
                if job.key == "stats" and c.key.startswith("topn"):
                    base = job.contender("topn")
                md.append("| %s | %.3f | %s | %.1f | %s | %s |" %
                          (cell(c.label), c.seconds(), job.rate(c), c.peak_mib(),
                           "" if c is base else "%.2f" % (c.seconds() / base.seconds()),
                           " ".join("%.3f" % r.seconds for r in c.runs)))
            if job.key == "stats":
                md.append("\nRatios: the support records' against the library's support "
                          "records, top-10's against the library's top-10.")
            md.append("")
            for note in job.notes:
                md.append(note)
                md.append("")

        scaling_data = []
        if hasattr(self, "scaling_rows"):
            self.scaling_section(md, scaling_data)
        md.append("![ratios](ratios.png)\n")
        md.append("![scaling](scaling.png)")

        os.makedirs(self.out, exist_ok=True)
        with open(os.path.join(self.out, "results.md"), "w") as f:
            f.write("\n".join(md) + "\n")
        self.charts(by_key, scaling_data)
        return targets, mem_met

    def scaling_section(self, md, scaling_data):
        md.append("## Scaling\n")
        md.append("Counting the first N pairs of one stream through the exports (a run spills "
                  "whenever it holds %s distinct pairs, 0x400000; \"spilled lines\" counts the "
                  "lines of all its spill files), and merging 20 sorted files of N / 20 lines "
                  "each (the first lines of the same 20 files for every N). Medians of %d "
                  "rounds.\n" % ("{:,}".format(SPILL_THRESHOLD), self.options.scaling_rounds))
        md.append("| Pairs | Spilled lines | Spill files | Count s | Count peak MB | Merge s | "
                  "Merge peak MB | Merged lines |")
        md.append("|---:|---:|---:|---:|---:|---:|---:|---:|")
        for n in self.scaling:
            row = self.scaling_rows[n]
            cs = statistics.median(r.seconds for r in row["count"])
            cm = statistics.median(r.peak_kib for r in row["count"]) / 1024
            ms = statistics.median(r.seconds for r in row["merge"])
            mm = statistics.median(r.peak_kib for r in row["merge"]) / 1024
            md.append("| %s | %s | %d | %.2f | %.0f | %.2f | %.1f | %s |" %
                      ("{:,}".format(n), "{:,}".format(row["distinct"]), row["spills"], cs, cm, ms,
                       mm, "{:,}".format(row["merged"])))
            scaling_data.append("%g %.4f %.1f %.4f %.1f %d" % (n / 1e6, cs, cm, ms, mm, row["spills"]))
        md.append("")

    def charts(self, by_key, scaling_data):
        chart_dir = os.path.join(BENCH, "work")
        ratios = os.path.join(chart_dir, "ratios.dat")
        with open(ratios, "w") as f:
            for job_key, lib_key, other_key, label, target in self.comparisons():
                job = by_key.get(job_key)
                if job is None or not job.has(lib_key) or not job.has(other_key):
                    continue
                ratio = job.contender(other_key).seconds() / job.contender(lib_key).seconds()
                f.write('"%s" %.4f %s\n' % (label, ratio, "%.4f" % target if target else "NaN"))
        scaling = os.path.join(chart_dir, "scaling.dat")
        with open(scaling, "w") as f:
            f.write("\n".join(scaling_data) + "\n")
        for chart, data in (("ratios", ratios), ("scaling", scaling)):
            if chart == "scaling" and not scaling_data:
                continue
            subprocess.run(["gnuplot", "-e", "data='%s'; output='%s'" %
                            (data, os.path.join(self.out, chart + ".png")),
                            os.path.join(BENCH, chart + ".gp")], check=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--quick", action="store_true",
                        help="a tenth of the data; results under bench/work/quick")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--scaling-rounds", type=int, default=3)
    parser.add_argument("--python", default=sys.executable)
    parser.add_argument("--before", default=None,
                        help="the build directory of the commit to compare with")
    parser.add_argument("--before-commit", default="before")
    parser.add_argument("--corpus-share", type=int, default=None,
                        help="percent of the dictionary's entries in the corpus job (default "
                             "100, 1 with --quick): NLTK takes minutes on the whole of it")
    parser.add_argument("--only", default=None,
                        help="only these jobs (comma-separated keys), no scaling run: a partial "
                             "report, for trying out")
    parser.add_argument("--started", type=float, default=time.time())
    parser.add_argument("--load-before", type=float, default=None,
                        help="the 1-minute load average before the build began")
    options = parser.parse_args()
    global START
    START = options.started
    os.environ["LC_ALL"] = "C"
    if options.rounds < 3:
        fail("at least 3 rounds")

    bench = Bench(options)
    bench.generate()
    remove([bench.work])
    os.makedirs(bench.work)
    jobs = [
        bench.counting_job(),
        bench.merge_job("spills20", bench.spills20, 20, bench.lines20, True,
                        "spill files of one counting run"),
        bench.merge_job("spills400", bench.spills400, 400, bench.lines400, True,
                        "spill files of one counting run"),
        bench.merge_job("merge20", bench.dir20, 20, bench.lines20, True,
                        "sorted files sharing most keys"),
        bench.merge_job("merge400", bench.dir400, 400, bench.lines400, True,
                        "sorted files sharing most keys"),
        bench.stats_job(),
        bench.filter_job(),
    ]
    if corpus_job.available():
        jobs.insert(5, bench.corpus_job())
    else:
        log("no dict-gcide (%s): the corpus job is skipped" % corpus_job.DICTIONARY)
    if options.only:
        wanted = options.only.split(",")
        jobs = [j for j in jobs if j.key in wanted]
    load_start = load_average()
    load_peak = load_start
    for job in jobs:
        load_peak = max(load_peak, load_average())
        log("%s: %d rounds, load %.2f" % (job.title, job.rounds, load_average()))
        job.run()
    try:
        if not options.only:
            bench.scaling_run()
    except Failed as error:
        fail(str(error))
    targets, mem_met = bench.write_report(jobs, START, load_start, load_peak)
    remove([bench.work])
    log("wrote %s" % os.path.relpath(os.path.join(bench.out, "results.md"), ROOT))
    for label, met in targets:
        log("  %-28s %s" % (label, "met" if met else "NOT MET"))
    log("  %-28s %s" % ("count: peak memory", "met" if mem_met else "NOT MET"))


START = time.time()

if __name__ == "__main__":
    main()
