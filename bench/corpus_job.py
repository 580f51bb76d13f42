"""The corpus job of the benchmark report: an English dictionary's text to
merged pair counts, by `ulo count` + `ulo merge` and by what people would use
instead. bench/runner.py builds it.

The corpus is Debian's dict-gcide (installed by scripts/install-deps bench,
never stored in the repository): the text of every entry, lower-cased, as its
[a-z]+ tokens, one entry a line. Pairs are a token and each of the next five
of its line, counted in both directions.
"""

import atexit
import gzip
import os
import re
import subprocess
import time

from harness import ANCHORS, ROOT, Contender, Job, fail, line_count, same_bytes, shell

DICTIONARY = "/usr/share/dictd/gcide.dict.dz"
# The Dask row's share of the corpus: its first lines.
DASK_LINES = 100_000
RUN_LINES = 20_000
INDEX = "/usr/share/dictd/gcide.index"
WINDOW = 5
_DIGITS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"


def available():
    return os.path.exists(DICTIONARY) and os.path.exists(INDEX)


def _number(text):
    value = 0
    for c in text:
        value = value * 64 + _DIGITS.index(c)
    return value


def make_corpus(path, scale, log):
    """Writes the corpus once (the first tenth of the entries for --quick)."""
    if os.path.exists(path) or not available():
        return
    log("generating %s from %s" % (os.path.basename(path), DICTIONARY))
    with gzip.open(DICTIONARY) as f:
        text = f.read()
    spans = set()
    with open(INDEX, encoding="utf-8", errors="replace") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) >= 3:
                spans.add((_number(fields[1]), _number(fields[2])))
    spans = sorted(spans)  # an entry named by several headwords once
    spans = spans[:max(1, int(len(spans) * scale))]
    token = re.compile(rb"[a-z]+")
    with open(path + ".part", "wb") as out:
        for start, length in spans:
            words = token.findall(text[start:start + length].lower())
            if words:
                out.write(b" ".join(words) + b"\n")
    os.rename(path + ".part", path)


def supports_jobs(ulo):
    """Whether this ulo counts in several worker processes (`--jobs N`)."""
    result = subprocess.run([ulo, "count", "--help"], capture_output=True, text=True)
    return "--jobs" in result.stdout + result.stderr


def filter_flags(ulo):
    """The options that turn this ulo's filters off: every contender counts every token, as
    the anchors do (before the engine's defaults, ulo's count had no filters)."""
    result = subprocess.run([ulo, "count", "--help"], capture_output=True, text=True)
    if "--no-default-stopwords" not in result.stdout + result.stderr:
        return ""
    return "--no-default-stopwords --keep-punctuation"


def supports_sync(ulo):
    """Whether this ulo flushes its outputs to the disk on request (`--sync`)."""
    result = subprocess.run([ulo, "--help"], capture_output=True, text=True)
    return "--sync" in result.stdout + result.stderr


def dask_package(root):
    """The python/ directory when the package's distributed count is there."""
    python = os.path.join(root, "python")
    if os.path.exists(os.path.join(python, "vorn_ulo", "distributed.py")):
        return python
    return None


def package_env(package, bench):
    """The environment of a contender that imports the package of this tree and build."""
    env = dict(os.environ)
    env["PYTHONPATH"] = package + (os.pathsep + env["PYTHONPATH"]
                                   if env.get("PYTHONPATH") else "")
    env["VORN_ULO_LIBRARY"] = os.path.join(bench.build, "src", "module", "libVorn_ULO.so")
    env["VORN_ULO_ENGINE"] = os.path.join(bench.build, "engine", "libulo_engine.so")
    return env


MANPAGES = "/usr/share/man/zh_CN"


def manpages_available():
    import importlib.util

    if importlib.util.find_spec("jieba") is None:
        return False
    return os.path.isdir(MANPAGES) and dask_package(ROOT) is not None


def make_manpages_corpus(path, log):
    """Debian's Chinese manual pages as text (installed by scripts/install-deps manpages):
    the lines that are not roff requests, font changes and escaped hyphens undone."""
    if os.path.exists(path):
        return
    log("generating %s from %s" % (os.path.basename(path), MANPAGES))
    fonts = re.compile(rb"\\f[BIRP]")
    with open(path + ".part", "wb") as out:
        for folder in sorted(os.listdir(MANPAGES)):
            if not folder.startswith("man"):
                continue
            for name in sorted(os.listdir(os.path.join(MANPAGES, folder))):
                if not name.endswith(".gz"):
                    continue
                with gzip.open(os.path.join(MANPAGES, folder, name)) as page:
                    for line in page:
                        if not line.startswith(b"."):
                            out.write(fonts.sub(b"", line).replace(b"\\-", b"-"))
    os.rename(path + ".part", path)


def jieba_job(bench, corpus):
    """count_corpus(tokenizer="jieba") beside jieba alone over the same lines: what the
    count adds to the segmentation."""
    w = bench.work
    script = os.path.join(ANCHORS, "python_count.py")
    env = package_env(dask_package(ROOT), bench)
    outs = {"count": os.path.join(w, "man_count.txt"), "floor": os.path.join(w, "man_jieba.txt")}
    contenders = [
        Contender("count", "vorn_ulo.count_corpus(tokenizer=\"jieba\"), 1 process",
                  [bench.python, script, "count", "jieba", "3", corpus,
                   os.path.join(w, "man_work"), outs["count"], "UTF-8"], "library",
                  [outs["count"]], env=env),
        Contender("floor", "jieba.lcut alone over the same lines",
                  [bench.python, script, "jieba", corpus, outs["floor"]], "floor",
                  [outs["floor"]], env=env),
    ]
    with open(corpus, "rb") as f:
        lines = sum(1 for _ in f)

    def check():
        return ["The count's pairs: %s distinct; jieba's tokens: %s." % (
            "{:,}".format(line_count(outs["count"])),
            open(outs["floor"]).read().strip())]

    title = ("Chinese manual pages to merged pair counts through jieba: %s lines, window 3"
             % "{:,}".format(lines))
    return Job("jieba", title, bench.rounds(), contenders, [corpus], "lines", lines, check)


def jieba_dictionary():
    """The word list that ships with Debian's jieba (python3-jieba)."""
    import importlib.util

    return os.path.join(os.path.dirname(importlib.util.find_spec("jieba").origin), "dict.txt")


def precision(words, dictionary, top):
    """The share of the first `top` words that the dictionary lists."""
    first = words[:top]
    return sum(1 for w in first if w in dictionary) / max(1, len(first))


def words_job(bench, corpus):
    """ulo words over the raw manual pages: new words ranked by cohesion and freedom, and
    how many of the best are in jieba's dictionary."""
    out = os.path.join(bench.work, "man_words.tsv")
    work = os.path.join(bench.work, "man_words_work")
    contenders = [
        Contender("library", "ulo words (candidates of 2 to 4 letters)",
                  shell('rm -rf "$3"; "$1" --quiet words "$2" --from UTF-8 --top 500 --work "$3" '
                        '--out "$4"', bench.ulo(), corpus, work, out), "library", [work, out]),
    ]

    def check():
        with open(jieba_dictionary(), encoding="utf-8") as f:
            dictionary = {line.split(" ")[0] for line in f}
        with open(out, encoding="utf-8") as f:
            words = [line.split("\t")[0] for line in f][1:]
        return ["Precision against jieba's dict.txt (%s words): top 100 %.0f%%, top 500 %.0f%%."
                % ("{:,}".format(len(dictionary)), 100 * precision(words, dictionary, 100),
                   100 * precision(words, dictionary, 500)),
                "The top 30: " + " ".join(words[:30]) + "."]

    size = os.path.getsize(corpus)
    title = "New words in the raw Chinese manual pages (%.1f MB of text)" % (size / 1e6)
    return Job("words", title, bench.rounds(), contenders, [corpus], "MB", size, check)


# ulo count + ulo merge. The options after the four named arguments go to both commands
# (--jobs N: both stages in N processes) where the build's merge takes them (ULO_MERGE_JOBS
# set), else to the count alone; ULO_GLOBAL (global options) to both; ULO_FILTERS to the
# count.
ULO_SCRIPT = ('ulo=$1; spill=$2; out=$3; corpus=$4; shift 4; rm -rf "$spill"; '
              '"$ulo" --quiet $ULO_GLOBAL count "$corpus" --work "$spill" --window %s $ULO_FILTERS '
              '"$@" && if [ -z "$ULO_MERGE_JOBS" ]; then set --; fi && '
              '"$ulo" --quiet $ULO_GLOBAL merge "$spill" "$out" "$@"' % WINDOW)


def ulo_env(ulo, **extra):
    """The environment of ULO_SCRIPT for this ulo."""
    merge = subprocess.run([ulo, "merge", "--help"], capture_output=True, text=True)
    return dict(os.environ, ULO_FILTERS=filter_flags(ulo),
                ULO_MERGE_JOBS="1" if "--jobs" in merge.stdout + merge.stderr else "", **extra)


def _sizes(corpus):
    """(lines, words) of the corpus."""
    with open(corpus, "rb") as f:
        lines, words = 0, 0
        for line in f:
            lines += 1
            words += len(line.split())
    return lines, words


def job(bench):
    """A dictionary's text to merged pair counts: ulo count + ulo merge
    (this build, before, and the --jobs 1 before), NLTK, Counter, and where they exist the
    host's worker processes and the Python package's own count."""
    w = bench.work
    corpus = bench.corpus
    lines, words = _sizes(corpus)
    window = str(WINDOW)
    outs = {}

    def ulo_run(key, label, before=False, extra=(), role="library", build=None,
                global_options=""):
        spill = os.path.join(w, "corpus_%s_spill" % key)
        outs[key] = os.path.join(w, "corpus_%s.txt" % key)
        env = ulo_env(bench.ulo(before, build), ULO_GLOBAL=global_options)
        return Contender(key, label, shell(ULO_SCRIPT, bench.ulo(before, build), spill,
                                           outs[key], corpus, *extra), role, [spill, outs[key]],
                         env=env)

    # One worker process, as "before" and the Python anchors count: the
    # ratios against them are the counting's own; --jobs 2 has a row of its own.
    jobs = ["--jobs", "1"] if supports_jobs(bench.ulo()) else []
    contenders = [ulo_run("library", "ulo count + ulo merge", extra=jobs)]
    if bench.before:
        contenders.append(ulo_run("before", bench.before_label(), before=True, role="anchor"))
    if bench.jobs1_before and jobs:
        contenders.append(ulo_run("before_jobs1", "before (%s), --jobs 1" %
                                  bench.options.jobs1_before_commit, extra=jobs, role="anchor",
                                  build=bench.jobs1_before))
    skipped = []
    if supports_jobs(bench.ulo()):
        contenders.append(ulo_run("jobs2", "ulo count --jobs 2 + merge", extra=["--jobs", "2"],
                                  role="anchor"))
    else:
        skipped.append("`ulo count --jobs N` does not exist in this build: its rows were "
                       "skipped.")
    # What flushing every output to the disk before its rename costs.
    if supports_sync(bench.ulo()):
        contenders.append(ulo_run("sync", "ulo --sync count + merge", extra=jobs, role="anchor",
                                  global_options="--sync"))
    for mode, label in (("nltk", "NLTK BigramCollocationFinder"),
                        ("counter", "Python Counter")):
        outs[mode] = os.path.join(w, "corpus_%s.txt" % mode)
        contenders.append(
            Contender(mode, label, [bench.python, os.path.join(ANCHORS, "corpus_pairs.py"),
                                    mode, corpus, outs[mode]], "anchor", [outs[mode]]))
    package = dask_package(ROOT)
    if package:
        # The package's own count, one process: the engine reads the files.
        outs["python"] = os.path.join(w, "corpus_python.txt")
        contenders.append(
            Contender("python", "vorn_ulo.count_corpus, 1 process",
                      [bench.python, os.path.join(ANCHORS, "python_count.py"), "count",
                       "whitespace", window, corpus, os.path.join(w, "corpus_python_work"),
                       outs["python"]], "anchor", [outs["python"]], env=package_env(package,
                                                                                     bench)))

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
    share = "" if bench.corpus_share == 100 else " (the first %d%%)" % bench.corpus_share
    title = ("Corpus to merged pair counts: %s entries of dict-gcide%s, %s words (%.0f MB), "
             "window %s, both directions" % ("{:,}".format(lines), share, "{:,}".format(words),
                                             size / 1e6, window))
    return Job("corpus", title, bench.rounds(), contenders, [corpus], "words", words, check)


class _Cluster:
    """A Dask LocalCluster of two single-threaded workers in a process of its own, started
    before the first timed run and stopped when the runner ends."""

    def __init__(self, bench, env):
        self.address = os.path.join(bench.work, "dask_scheduler.txt")
        self.argv = [bench.python, os.path.join(ANCHORS, "dask_cluster.py"), self.address]
        self.env = env
        self.process = None

    def start(self):
        if self.process is not None:
            return
        self.process = subprocess.Popen(self.argv, env=self.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        atexit.register(self.stop)
        deadline = time.time() + 120
        while not os.path.exists(self.address):
            if self.process.poll() is not None or time.time() > deadline:
                fail("the Dask cluster of the dask job did not start")
            time.sleep(0.2)

    def stop(self):
        self.process.terminate()
        self.process.wait(60)


def first_lines(bench, lines):
    """The first `lines` lines of the corpus, written once beside it."""
    corpus = os.path.join(bench.data, "gcide_first%d.txt" % lines)
    if not os.path.exists(corpus):
        with open(bench.corpus, "rb") as f, open(corpus + ".part", "wb") as out:
            for number, line in enumerate(f):
                if number == lines:
                    break
                out.write(line)
        os.rename(corpus + ".part", corpus)
    return corpus


def run_job(bench):
    """ulo run, one worker, against the --jobs 1 before build's, each as a user runs it: its
    default filters and outputs (here the pairs and a ranking; there the pairs, the support
    records and the top-N file), on the first RUN_LINES lines; the merged pairs must be the
    same bytes."""
    if not bench.jobs1_before:
        return None
    corpus = first_lines(bench, RUN_LINES)
    lines, words = _sizes(corpus)
    w = bench.work
    script = 'ulo=$1; out=$2; corpus=$3; shift 3; rm -rf "$out"; ' \
             '"$ulo" --quiet run "$corpus" --out "$out" --window %d --jobs 1 "$@"' % WINDOW
    outs = {key: os.path.join(w, "run_%s" % key) for key in ("library", "before_jobs1")}
    contenders = [
        Contender("library", "ulo run (pairs, ranking)",
                  shell(script, bench.ulo(), outs["library"], corpus), "library",
                  [outs["library"]]),
        Contender("before_jobs1", "before (%s) ulo run (pairs, support records, top-N)" %
                  bench.options.jobs1_before_commit,
                  shell(script, bench.ulo(build=bench.jobs1_before), outs["before_jobs1"],
                        corpus), "anchor", [outs["before_jobs1"]]),
    ]

    def check():
        pairs = [os.path.join(outs[key], "pairs.txt") for key in outs]
        if not same_bytes(*pairs):
            fail("run: the merged pairs of ulo run and the before build's differ")
        return ["Both runs' pairs.txt are identical, byte for byte (%s distinct pairs). Each "
                "run writes its own default outputs: this build the ranking by llr "
                "(ranked.txt), the before build the library's support records and top-N file "
                "(this build writes them with --support and --topn)."
                % "{:,}".format(line_count(pairs[0]))]

    title = ("ulo run, corpus to every output: the first %s entries of dict-gcide, %s words "
             "(%.1f MB), window %s, default filters" % (
                 "{:,}".format(lines), "{:,}".format(words), os.path.getsize(corpus) / 1e6,
                 WINDOW))
    return Job("run", title, bench.rounds(), contenders, [corpus], "words", words, check)


def dask_job(bench):
    """The Python package's distributed count on an already started LocalCluster of two
    single-threaded workers against ulo count --jobs 2 + ulo merge --jobs 2, on the first
    DASK_LINES lines of the corpus."""
    package = dask_package(ROOT)
    w = bench.work
    corpus = first_lines(bench, DASK_LINES)
    lines, words = _sizes(corpus)
    outs = {key: os.path.join(w, "dask_%s.txt" % key) for key in ("library", "dask")}
    spill, shared = os.path.join(w, "dask_library_spill"), os.path.join(w, "dask_shared")
    env = package_env(package, bench)
    cluster = _Cluster(bench, env)
    library = os.path.join(bench.build, "src", "module", "libVorn_ULO.so")
    contenders = [
        Contender("library", "ulo count --jobs 2 + ulo merge --jobs 2",
                  shell(ULO_SCRIPT, bench.ulo(), spill, outs["library"], corpus, "--jobs", "2"),
                  "anchor", [spill, outs["library"]],
                  env=ulo_env(bench.ulo())),
        Contender("dask", "Dask, LocalCluster of 2 single-threaded workers, started",
                  [bench.python, os.path.join(ANCHORS, "dask_count.py"), cluster.address,
                   library, corpus, shared, outs["dask"]], "library", [shared, outs["dask"]],
                  prepare=cluster.start, env=env),
    ]

    def check():
        if not same_bytes(outs["library"], outs["dask"]):
            fail("dask: the parts joined differ from ulo's merged file")
        return ["The Dask count's parts joined are identical, byte for byte, to ulo's merged "
                "file: %s distinct pairs." % "{:,}".format(line_count(outs["library"])),
                "The Dask row's CPU seconds are its client's alone: the count and the merge run "
                "in the cluster's worker processes, started before the timing."]

    title = ("Corpus to merged pair counts on a Dask cluster: the first %s entries of "
             "dict-gcide, %s words (%.1f MB), window %s, both directions" % (
                 "{:,}".format(lines), "{:,}".format(words), os.path.getsize(corpus) / 1e6,
                 WINDOW))
    return Job("dask", title, bench.rounds(), contenders, [corpus], "words", words, check)
