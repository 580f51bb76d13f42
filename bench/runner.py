"""The benchmark report's runner; bench/run builds the programs and calls it.

Generates the data (once; kept under the data directory), then times every
job of the library side by side with what people would use instead, and
with the build of an earlier commit ("before"), on the same data in the same
run: the contenders of a job take turns, each round starting with the next
one, and the report gives medians. Writes results.md, the data of the two
charts and the charts themselves (report.py). The jobs are made of
harness.py's contenders; the merge jobs live in merge_jobs.py, the corpus
jobs in corpus_job.py.

    python3 bench/runner.py --build DIR [--before DIR --before-commit C]
                            [--jobs1-before DIR --jobs1-before-commit C] [--quick]
                            [--rounds N] [--corpus-share PERCENT] [--only JOB,...]
"""

import argparse
import os
import subprocess
import sys
import threading
import time

import corpus_job
import harness
import merge_jobs
from harness import (ANCHORS, BENCH, ROOT, Contender, Failed, Job, fail, line_count, load_average,
                     log, measure, remove, run_quietly, same_bytes, shell)
from report import Report

FILTER_THRESHOLD = 5
# The jobs whose data is the dictionary's corpus alone.
CORPUS_JOBS = {"corpus", "dask"}
TOP_N = 10



class Bench(Report):
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
        # A second "before", for the corpus job's --jobs 1 row only.
        self.jobs1_before = (os.path.abspath(options.jobs1_before) if options.jobs1_before
                             else None)
        # The share of the dictionary's entries in the corpus, in percent.
        self.corpus_share = options.corpus_share or (1 if options.quick else 100)
        self.corpus = os.path.join(self.data, "gcide_%d.txt" % self.corpus_share)
        self.manpages = os.path.join(self.data, "manpages_zh.txt")

    def heads20(self, n):
        """The directory of 20 sorted files of n / 20 lines each."""
        if n == self.scaling[-1]:
            return self.full20
        return os.path.join(self.data, "merge20_%d" % n)

    def tool(self, name, before=False):
        return os.path.join(self.before if before else self.build, "bench", name)

    def ulo(self, before=False, build=None):
        return os.path.join(build or (self.before if before else self.build), "host", "ulo")

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
            if corpus_job.manpages_available():
                corpus_job.make_manpages_corpus(self.manpages, log)

        errors = []

        def guarded(lane):
            try:
                lane()
            except BaseException as error:  # reported once both lanes stop
                errors.append(error)

        lanes = (lane_a, lane_b)
        if self.options.only and set(self.options.only.split(",")) <= CORPUS_JOBS:
            lanes = (lambda: corpus_job.make_corpus(self.corpus, self.corpus_share / 100, log),)
        threads = [threading.Thread(target=guarded, args=(lane,)) for lane in lanes]
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
            # Contenders left out with --drop leave nothing to compare.
            same = []
            for name, path in (("the before build's", os.path.join(before_dir, "temp1.txt")),
                               ("the reference's", os.path.join(ref_dir, "temp1.txt")),
                               ("Python's", py_out)):
                if os.path.exists(path):
                    if not same_bytes(library, path):
                        fail("the library's spill file and %s counts differ" % name)
                    same.append(name)
            distinct = line_count(library)
            notes = ["The library's spill file and %s are identical, byte for byte." %
                     ", ".join(same)] if same else []
            if os.path.exists(sort_out):
                if line_count(sort_out) != distinct:
                    fail("sort | uniq -c found another number of distinct pairs")
                notes.append("sort | uniq -c finds the same %s distinct pairs." %
                             "{:,}".format(distinct))
            self.distinct = distinct
            return notes

        return Job("count", "Counting %s pairs" % "{:,}".format(self.pairs), self.rounds(),
                   contenders, [self.stream10], "pairs", self.pairs, check)

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
        return corpus_job.job(self)

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
    parser.add_argument("--jobs1-before", default=None,
                        help="the build directory of the commit whose ulo count --jobs 1 the "
                             "corpus job compares with")
    parser.add_argument("--jobs1-before-commit", default="before")
    parser.add_argument("--corpus-share", type=int, default=None,
                        help="percent of the dictionary's entries in the corpus job (default "
                             "100, 1 with --quick): NLTK takes minutes on the whole of it")
    parser.add_argument("--drop", default=None,
                        help="contenders left out, as JOB:CONTENDER,... (for instance "
                             "count:reference): a partial report, for a busy machine")
    parser.add_argument("--only", default=None,
                        help="only these jobs (comma-separated keys), no scaling run: a partial "
                             "report, for trying out")
    parser.add_argument("--started", type=float, default=time.time())
    parser.add_argument("--load-before", type=float, default=None,
                        help="the 1-minute load average before the build began")
    options = parser.parse_args()
    harness.START = options.started
    os.environ["LC_ALL"] = "C"
    if options.rounds < 3:
        fail("at least 3 rounds")

    bench = Bench(options)
    bench.generate()
    remove([bench.work])
    os.makedirs(bench.work)
    # (key, how to make the job): only the jobs run are made, since each reads its data.
    makers = [
        ("count", bench.counting_job),
        ("spills20", lambda: merge_jobs.job(bench, "spills20", bench.spills20, 20, bench.lines20,
                                            True, "spill files of one counting run")),
        ("spills20_jobs", lambda: merge_jobs.ranges_job(bench)),
        ("spills400", lambda: merge_jobs.job(bench, "spills400", bench.spills400, 400,
                                             bench.lines400, True,
                                             "spill files of one counting run")),
        ("merge20", lambda: merge_jobs.job(bench, "merge20", bench.dir20, 20, bench.lines20,
                                           True, "sorted files sharing most keys")),
        ("merge400", lambda: merge_jobs.job(bench, "merge400", bench.dir400, 400,
                                            bench.lines400, True,
                                            "sorted files sharing most keys")),
        ("stats", bench.stats_job),
        ("filter", bench.filter_job),
    ]
    if corpus_job.available():
        makers.insert(5, ("corpus", bench.corpus_job))
        if corpus_job.dask_package(ROOT):
            makers.insert(6, ("dask", lambda: corpus_job.dask_job(bench)))
        makers.insert(6, ("run", lambda: corpus_job.run_job(bench)))
    else:
        log("no dict-gcide (%s): the corpus job is skipped" % corpus_job.DICTIONARY)
    if corpus_job.manpages_available():
        makers.append(("jieba", lambda: corpus_job.jieba_job(bench, bench.manpages)))
        makers.append(("words", lambda: corpus_job.words_job(bench, bench.manpages)))
    else:
        log("no Chinese manual pages or jieba (scripts/install-deps manpages): the jieba job "
            "is skipped")
    wanted = options.only.split(",") if options.only else None
    jobs = [make() for key, make in makers if wanted is None or key in wanted]
    jobs = [job for job in jobs if job is not None]
    if options.drop:
        dropped = set(options.drop.split(","))
        for job in jobs:
            job.contenders = [c for c in job.contenders if "%s:%s" % (job.key, c.key) not in dropped]
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
    targets, mem_met = bench.write_report(jobs, harness.START, load_start, load_peak)
    remove([bench.work])
    log("wrote %s" % os.path.relpath(os.path.join(bench.out, "results.md"), ROOT))
    for label, met in targets:
        log("  %-28s %s" % (label, "met" if met else "NOT MET"))
    log("  %-28s %s" % ("count: peak memory", "met" if mem_met else "NOT MET"))


if __name__ == "__main__":
    main()
