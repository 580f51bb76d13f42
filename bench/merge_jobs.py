"""The merge jobs: the library's merge of spill files and of sorted files
against sort -m (with and without sums) and cat, and ulo merge in key ranges
(--jobs, --parts)."""

import os

from harness import ANCHORS, Contender, Job, fail, line_count, remove, same_bytes, shell


def job(bench, key, directory, files, lines, with_plain_sort, shape):
    w = bench.work
    inputs = sorted(os.path.join(directory, name) for name in os.listdir(directory))
    outs = {k: os.path.join(w, "%s_%s.txt" % (key, k))
            for k in ("lib", "before", "awk", "sort", "cat")}
    # The file names go to the shell as its arguments: "$@" after the two.
    pipeline = 'out=$1; tmp=$2; shift 2; sort -m --batch-size=20 -T "$tmp" "$@" | '
    contenders = [
        Contender("library", "library (ULO_MulMergeFile)",
                  [bench.tool("merge_bench"), directory, outs["lib"]], "library", [outs["lib"]]),
    ]
    if bench.before:
        contenders.append(
            Contender("before", bench.before_label(),
                      [bench.tool("merge_bench", True), directory, outs["before"]], "anchor",
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
        if bench.before and not same_bytes(outs["lib"], outs["before"]):
            fail("%s: ULO_MulMergeFile and the before build's differ" % key)
        merged = line_count(outs["lib"])
        read = sum(line_count(p) for p in inputs)
        setattr(bench, key + "_lines", merged)
        return ["ULO_MulMergeFile's output is identical to sort -m | awk's%s: %s lines from "
                "%s, %.0f%% of them kept." %
                (" and the before build's" if bench.before else "", "{:,}".format(merged),
                 "{:,}".format(read), 100.0 * merged / read)]

    passes = "one pass" if files <= 20 else "two passes"
    title = "Merging %d %s, %s lines each (%s, %.0f MB)" % (
        files, shape, "{:,}".format(lines), passes, total / 1e6)
    return Job(key, title, bench.rounds(), contenders, [directory], "MB", total, check)


def ranges_job(bench):
    """ulo merge of the 20 spill files in key ranges: --jobs 2 against
    --jobs 1 (one process, the library's merge alone), and --parts."""
    w = bench.work
    outs = {k: os.path.join(w, "spills20_%s.txt" % k) for k in ("jobs1", "jobs2")}
    parts = os.path.join(w, "spills20_parts")
    contenders = [
        Contender(key, "ulo merge --jobs %s" % key[-1],
                  [bench.ulo(), "--quiet", "merge", bench.spills20, outs[key], "--jobs", key[-1]],
                  "library" if key == "jobs2" else "anchor", [outs[key]])
        for key in ("jobs2", "jobs1")
    ]
    contenders.append(
        Contender("parts", "ulo merge --jobs 2 --parts",
                  [bench.ulo(), "--quiet", "merge", bench.spills20, parts, "--jobs", "2",
                   "--parts"], "anchor", [parts]))

    def check():
        if not same_bytes(outs["jobs1"], outs["jobs2"]):
            fail("spills20_jobs: ulo merge --jobs 2 and --jobs 1 differ")
        joined = os.path.join(w, "spills20_parts_joined.txt")
        with open(joined, "wb") as out:
            for name in sorted(os.listdir(parts)):
                if name.startswith("part-"):
                    with open(os.path.join(parts, name), "rb") as f:
                        out.write(f.read())
        if not same_bytes(outs["jobs1"], joined):
            fail("spills20_jobs: the parts of --parts joined and --jobs 1 differ")
        remove([joined])
        return ["`--jobs 2`, `--jobs 1` and the parts of `--parts` joined are identical, "
                "byte for byte."]

    total = sum(os.path.getsize(os.path.join(bench.spills20, n))
                for n in os.listdir(bench.spills20))
    title = "Merging 20 spill files of 1,000,000 lines in key ranges (%.0f MB)" % (total / 1e6)
    return Job("spills20_jobs", title, bench.rounds(), contenders, [bench.spills20], "MB", total,
               check)
