"""The benchmark report: results.md and the data and pictures of its two
charts, from the jobs the runner timed."""

import datetime
import os
import platform
import statistics
import subprocess
import time

from harness import BENCH, ROOT, cell, load_average

# Distinct pairs a counting run holds before it spills them to a file.
SPILL_THRESHOLD = 0x400000
# Peak memory allowed to the corpus job's ulo count + ulo merge.
CORPUS_MEMORY_MIB = 256


class Report:
    """The report's part of the runner's Bench."""

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
            ("spills20_jobs", "jobs2", "jobs1", "merge 20 spills --jobs 2 vs 1", 1.8),
            ("spills400", "library", "sort_awk", "spills 400 vs sort -m|awk", 6),
            ("spills400", "library", "before", "spills 400 vs before", None),
            ("corpus", "library", "before", "corpus vs before", 2),
            ("corpus", "library", "before_jobs1",
             "corpus --jobs 1 vs %s" % self.options.jobs1_before_commit, 1.5),
            ("corpus", "library", "nltk", "corpus vs NLTK", 20),
            ("corpus", "library", "counter", "corpus vs Counter", 10),
            ("corpus", "jobs2", "library", "corpus --jobs 2 vs --jobs 1", 1.85),
            ("dask", "dask", "library", "Dask vs ulo --jobs 2, 100k lines", 0.8),
            ("run", "library", "before_jobs1",
             "ulo run vs %s" % self.options.jobs1_before_commit, 1),
            ("corpus", "python", "library", "count_corpus vs ulo count + merge", 0.8),
            ("jieba", "count", "floor", "jieba count vs jieba alone (floor)", 1 / 1.25),
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
        if getattr(self, "jobs1_before", None):
            md.append("- \"before (%s), --jobs 1\": the library and host of commit `%s`, built "
                      "likewise, counting with `--jobs 1` in the corpus job only" %
                      ((self.options.jobs1_before_commit,) * 2))
        md.append("- Anchors: %s; %s; %s (`LC_ALL=C` throughout)" %
                  (version(["sort", "--version"]), version(["awk", "--version"]).split(",")[0],
                   version([self.python, "--version"])))
        md.append("- Every job runs its contenders on the same data, in turns (each round "
                  "starts with the next contender), %d rounds (the filter %d); figures are "
                  "medians. Wall seconds include starting the process; CPU seconds are user "
                  "and system time of the command and its processes, steadier than wall time "
                  "on a shared machine. Peak memory is the "
                  "largest resident set of the command's processes (for a pipeline, its "
                  "largest stage). \"Ratio\" is the contender's time divided by the "
                  "library's: above 1 the library is faster.\n" %
                  (self.rounds(), by_key["filter"].rounds if "filter" in by_key else 9))

        md.append("## Targets\n")
        md.append("| Job | Measure | Target | Measured | Met | CPU seconds' ratio |")
        md.append("|---|---|---|---|---|---:|")
        targets = []
        for job_key, lib_key, other_key, label, target in self.comparisons():
            if target is None:
                continue
            job = by_key.get(job_key)
            if other_key == "floor":
                wanted = "at most %gx" % round(1 / target, 2)
            elif target == 1:
                wanted = "faster"
            else:
                wanted = "at least %gx" % target
            if job is None or not job.has(lib_key) or not job.has(other_key):
                md.append("| %s | %s | %s | %s | |" %
                          (job_key, cell("time vs " + label.split(" vs ", 1)[1]), wanted,
                           "not run" if job is None else "skipped: a contender absent"))
                continue
            ratio = job.contender(other_key).seconds() / job.contender(lib_key).seconds()
            if other_key == "floor":
                measured = "%.2fx the floor's time" % (1 / ratio)
            else:
                measured = "%.2fx faster" % ratio
            met = ratio > target if target == 1 else ratio >= target - 1e-9
            targets.append((label, met))
            lib_cpu = job.contender(lib_key).cpu_seconds()
            cpu = "%.2f" % (job.contender(other_key).cpu_seconds() / lib_cpu) if lib_cpu else ""
            md.append("| %s | %s | %s | %s | %s | %s |" %
                      (job.key, cell("time vs " + label.split(" vs ", 1)[1]), wanted, measured,
                       "yes" if met else "**no**", cpu))
        mem_met = True
        if "count" in by_key and by_key["count"].has("reference"):
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
            library = job.contender("support") if job.key == "stats" else job.base()
            md.append("| Contender | Wall s | Throughput | Peak MB | Ratio | CPU s | CPU ratio "
                      "| Runs (s) |")
            md.append("|---|---:|---:|---:|---:|---:|---:|---|")
            for c in job.contenders:
                base = library
                if job.key == "stats" and c.key.startswith("topn"):
                    base = job.contender("topn")
                cpu_ratio = ""
                if c is not base and base.cpu_seconds() > 0:
                    cpu_ratio = "%.2f" % (c.cpu_seconds() / base.cpu_seconds())
                md.append("| %s | %.3f | %s | %.1f | %s | %.3f | %s | %s |" %
                          (cell(c.label), c.seconds(), job.rate(c), c.peak_mib(),
                           "" if c is base else "%.2f" % (c.seconds() / base.seconds()),
                           c.cpu_seconds(), cpu_ratio,
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
        if self.options.only:
            md.append("This run measured only the jobs named by `--only %s`; the others and "
                      "the scaling run were not run.\n" % self.options.only)
        if self.options.drop:
            md.append("This run left out the contenders `--drop %s`.\n" % self.options.drop)
        md.append("![ratios](ratios.png)\n")
        if scaling_data:
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
