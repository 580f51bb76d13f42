"""What the benchmark runner's jobs are made of: contenders, timed in turns
on the same data, and the helpers around them."""

import os
import shutil
import statistics
import subprocess
import sys
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
ANCHORS = os.path.join(BENCH, "anchors")

START = time.time()  # the run's start, for the progress lines; set by the runner


def log(message):
    elapsed = time.time() - START
    print("[%2d:%02d] %s" % (elapsed // 60, elapsed % 60, message), flush=True)


def run_quietly(argv, **kwargs):
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, **kwargs)


def load_average():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


class Measured:
    """Wall seconds, processor seconds (user and system, of the command and
    the descendants it waited for) and peak resident memory (KiB) of one
    command. On a shared machine the processor seconds are the steadier."""

    def __init__(self, seconds, peak_kib, cpu=0.0):
        self.seconds = seconds
        self.peak_kib = peak_kib
        self.cpu = cpu


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
    status = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", report] + argv,
                            stdout=subprocess.DEVNULL, env=env).returncode
    seconds = time.perf_counter() - start
    if status != 0:
        raise Failed("%s failed with status %d" % (" ".join(argv), status))
    with open(report) as f:
        peak, user, system = f.read().split()[-3:]
    return Measured(seconds, int(peak), float(user) + float(system))


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

    def cpu_seconds(self):
        return statistics.median(r.cpu for r in self.runs)

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

    def base(self):
        """The contender the table's ratios divide by: the job's own."""
        return next(c for c in self.contenders if c.role == "library")

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
