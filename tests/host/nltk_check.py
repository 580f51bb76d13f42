#!/usr/bin/python3
"""Checks every measure of `ulo rank` against NLTK's BigramAssocMeasures.

usage: nltk_check.py ULO WORKDIR

On random pair files (one of counts so large that the products of marginals
pass 2**53) and on one counted from a real text: each score within a
relative 1e-9 of NLTK's (npmi and lift through their identities with NLTK's
pmi; llr and chi2 with the sign of the association) and every word's list in
NLTK's order. Exits 77 (a skipped test) when nltk is missing.
"""
import csv
import functools
import math
import os
import random
import subprocess
import sys

try:
    from nltk.metrics import BigramAssocMeasures as nltk_measures
except ImportError:
    print("nltk is not installed for /usr/bin/python3: skipped")
    sys.exit(77)

ULO, WORK = sys.argv[1], sys.argv[2]
TOLERANCE = 1e-9
MEASURES = ["confidence", "support", "pmi", "npmi", "llr", "t", "chi2", "dice", "jaccard", "lift",
            "logdice", "mi3", "local_mi", "z", "simple_ll", "poisson_stirling", "phi2"]
try:
    from scipy.stats import fisher_exact
    MEASURES.append("fisher")
except ImportError:
    print("scipy is not installed for /usr/bin/python3: fisher left unchecked")
failures = []


def ulo(*args):
    subprocess.run([ULO, "--quiet", *args], check=True, stdout=subprocess.DEVNULL)


def read_pairs(path):
    lines = []
    with open(path, "rb") as f:
        for raw in f:
            fields = raw.rstrip(b"\r\n").split(b"\t")
            if len(fields) >= 3:
                lines.append((fields[0], fields[1], int(b"\t".join(fields[2:]))))
    return lines


def marginals(lines):
    freq, total = {}, 0
    for w1, w2, n in lines:
        freq[w1] = freq.get(w1, 0) + n
        freq[w2] = freq.get(w2, 0) + n
        total += 2 * n
    return freq, total


# NLTK's own scores, for the measures it has; ours of llr, chi2 and phi2 carry
# the sign NLTK's magnitudes lack.
FINDER_SCORES = {"pmi": "pmi", "llr": "likelihood_ratio", "t": "student_t", "chi2": "chi_sq",
                 "dice": "dice", "jaccard": "jaccard", "phi2": "phi_sq"}


def nltk(name, n_ii, n_ix, n_xi, n_xx):
    return getattr(nltk_measures, name)(n_ii, (n_ix, n_xi), n_xx)


def ln_poisson_stirling(n_ii, n_ix, n_xi, n_xx):
    """NLTK's takes log2 where Evert's catalogue takes ln."""
    return (nltk("poisson_stirling", n_ii, n_ix, n_xi, n_xx) + n_ii) * math.log(2) - n_ii


FORMULAS = {
    "confidence": lambda ii, ix, xi, xx: ii / ix * 100.0,
    "delta_p": lambda ii, ix, xi, xx: ii / ix - (xi - ii) / (xx - ix),  # P(o|b) - P(o|not b)
    "support": lambda ii, ix, xi, xx: ii / xx * 100.0,
    "npmi": lambda ii, ix, xi, xx: nltk("pmi", ii, ix, xi, xx) / -math.log2(ii / xx),
    "lift": lambda *table: 2.0 ** nltk("pmi", *table),
    "logdice": lambda *table: 14 + math.log2(nltk("dice", *table)),
    "mi3": lambda *table: math.log2(nltk("mi_like", *table)) + math.log2(table[3]),
    "local_mi": lambda *table: table[0] * nltk("pmi", *table),
    "z": lambda ii, ix, xi, xx: (nltk("student_t", ii, ix, xi, xx) * math.sqrt(ii)
                                 / math.sqrt(ix * xi / xx)),
    "poisson_stirling": ln_poisson_stirling,
    "simple_ll": lambda ii, ix, xi, xx: 2 * (ln_poisson_stirling(ii, ix, xi, xx) + ix * xi / xx),
    **{measure: functools.partial(nltk, name) for measure, name in FINDER_SCORES.items()},
}


@functools.lru_cache(maxsize=None)
def expected(measure, n_ii, n_ix, n_xi, n_xx):
    """NLTK's (or SciPy's) value, our policy (0) where NLTK has none; fisher
    is inf where SciPy's p-value underflows."""
    n_oo = n_xx - n_ix - n_xi + n_ii
    if n_oo < 0 and measure not in ("confidence", "support"):
        return 0.0  # no contingency table
    if measure == "fisher":
        p = fisher_exact([[n_ii, n_ix - n_ii], [n_xi - n_ii, n_oo]], alternative="greater")[1]
        return math.inf if p == 0 else -math.log10(p) + 0.0
    try:
        value = FORMULAS[measure](n_ii, n_ix, n_xi, n_xx)
    except ZeroDivisionError:
        return 0.0
    if not math.isfinite(value):
        return 0.0
    # Ours carry the association's sign: negative below chance (in ulo's order of sums).
    o11, o21, o12 = n_ii, n_xi - n_ii, n_ix - n_ii
    below = o11 < (o11 + o21) * (o11 + o12) / (((0.0 + o11) + o21) + o12 + n_oo)
    return -value if below and measure in ("llr", "chi2", "phi2", "simple_ll") else value


# Files whose marginals' products pass 2**53: there doubles lose digits of the
# log-likelihood ratio to cancellation, and SciPy's Fisher test gives nan.
LARGE = set()


def close(x, y, measure, large=False):
    if y == math.inf:
        return x > 300  # beyond a double's smallest p-value
    # Ours sums the hypergeometric tail from logarithms of factorials.
    tolerance, floor = (1e-7, 1e-8) if measure == "fisher" else (TOLERANCE, 1e-12)
    if large and measure == "llr":
        tolerance = 1e-5
    return abs(x - y) <= tolerance * max(abs(x), abs(y)) or abs(x - y) < floor


def expected_lists(lines, measure, min_count, self_pairs, direction):
    freq, total = marginals(lines)
    best = {}
    sides = {"both": ((0, 1), (1, 0)), "after": ((0, 1),), "before": ((1, 0),)}[direction]
    for w1, w2, n in lines:
        if n < min_count or (w1 == w2 and not self_pairs):
            continue
        for base, other in (((w1, w2)[i], (w1, w2)[j]) for i, j in sides):
            score = expected(measure, n, freq[base], freq[other], total)
            key = (base, other)
            if key not in best or score > best[key][0]:
                best[key] = (score, n)
    lists = {}
    for (base, other), (score, n) in best.items():
        lists.setdefault(base, []).append((score, other, n))
    for items in lists.values():
        items.sort(key=lambda item: (-item[0], item[1]))
    return lists, freq, total


def ranked(pairs, *options):
    """The lines `ulo rank` writes, their fields as bytes."""
    out = os.path.join(WORK, "rank.txt")
    ulo("rank", pairs, out, *options)
    with open(out, "rb") as f:
        return [raw.rstrip(b"\n").split(b"\t") for raw in f]


def check(name, path, measure, top, min_count, self_pairs=True, direction="both"):
    want, freq, total = expected_lists(read_pairs(path), measure, min_count, self_pairs,
                                       direction)
    got = {}
    for base, other, score, count, side in ranked(
            path, "--measure", measure, "--top", str(top), "--min-count", str(min_count),
            "--direction", direction, *(["--self-pairs"] if self_pairs else [])):
        if direction != "both" and side.decode() != direction:
            failures.append(f"{name} --direction {direction}: {base!r} -> {other!r} {side!r}")
        got.setdefault(base, []).append((float(score), other, int(count)))
    where = f"{name} --measure {measure}"
    if sorted(got) != sorted(want):
        failures.append(f"{where}: the ranked words differ")
        return
    for base, items in got.items():
        full = want[base]
        if len(items) != min(top, len(full)):
            failures.append(f"{where}: {base!r} has {len(items)} items, not {min(top, len(full))}")
            continue
        for i, (score, other, count) in enumerate(items):
            value = expected(measure, count, freq[base], freq[other], total)
            if not close(score, value, measure, path in LARGE):
                failures.append(f"{where}: {base!r} -> {other!r}: {score!r}, NLTK {value!r}")
            # Same order: item i scores as NLTK's i-th, up to a tie.
            if not close(score, full[i][0], measure, path in LARGE):
                failures.append(f"{where}: {base!r} item {i} is {other!r} ({score!r}), "
                                f"NLTK ranks {full[i][1]!r} ({full[i][0]!r}) there")
            if i > 0 and items[i - 1][0] == score and items[i - 1][1] > other:
                failures.append(f"{where}: {base!r}: a tie not in the other word's order")


def check_token_marginals():
    """--marginals tokens on a one-way count: NLTK's BigramCollocationFinder
    over the same lines, its window_size one more than our --window."""
    from nltk.collocations import BigramCollocationFinder
    from nltk.probability import FreqDist
    rng = random.Random(5)
    vocabulary = ["w%d" % i for i in range(40)]
    lines = [[vocabulary[min(int(rng.paretovariate(1.1)), 40) - 1]
              for _ in range(rng.randint(1, 12))] for _ in range(300)]
    corpus = os.path.join(WORK, "tokens.txt")
    with open(corpus, "w") as f:
        f.writelines(" ".join(line) + "\n" for line in lines)
    for window in (1, 3):
        out = os.path.join(WORK, "tokens%d" % window)
        ulo("run", corpus, "--out", out, "--window", str(window), "--one-way", "--jobs", "2")
        # A finder pairs across lines, ours within one: a finder per line, summed.
        words, bigrams = FreqDist(), FreqDist()
        for line in lines:
            part = BigramCollocationFinder.from_words(line, window_size=window + 1)
            words.update(part.word_fd)
            bigrams.update(part.ngram_fd)
        finder = BigramCollocationFinder(words, bigrams, window_size=window + 1)
        # Fisher's exact test is of whole counts, which a window over 1 divides.
        for measure in (m for m in MEASURES if window == 1 or m != "fisher"):
            got = {(base.decode(), other.decode()): float(score) for base, other, score, *_ in
                   ranked(os.path.join(out, "pairs.txt"), "--marginals", "tokens", "--measure",
                          measure, "--top", "1000000", "--min-count", "1", "--self-pairs",
                          "--direction", "after")}
            if measure in FINDER_SCORES:
                scores = finder.score_ngrams(getattr(nltk_measures, FINDER_SCORES[measure]))
                want = {pair: score for pair, score in scores}
                got = {pair: abs(score) if measure in ("llr", "chi2", "phi2") else score
                       for pair, score in got.items()}
            else:
                want = {(w1, w2): expected(measure, n / window, words[w1], words[w2], words.N())
                        for (w1, w2), n in bigrams.items()}
            where = f"--marginals tokens --window {window} --measure {measure}"
            if sorted(got) != sorted(want):
                failures.append(f"{where}: the scored pairs differ from NLTK's")
                continue
            for pair, score in got.items():
                if not close(score, want[pair], measure):
                    failures.append(f"{where}: {pair}: {score!r}, NLTK {want[pair]!r}")
        # An export scores each line as the ranking does.
        exported = os.path.join(WORK, "pairs.csv")
        ulo("export", os.path.join(out, "pairs.txt"), exported, "--marginals", "tokens",
            "--measure", "pmi", "--min-count", "1", "--self-pairs")
        want = dict(finder.score_ngrams(nltk_measures.pmi))
        with open(exported) as f:
            for row in list(csv.reader(f))[1:]:
                if not close(float(row[3]), want[(row[0], row[1])], "pmi"):
                    failures.append(f"--marginals tokens --window {window}: export of {row}")
        # Merged into parts, ranked part by part: the same ranking.
        parts = os.path.join(out, "parts")
        ulo("merge", os.path.join(out, "spill"), parts, "--parts", "--jobs", "2")
        if ranked(os.path.join(out, "pairs.txt"), "--marginals", "tokens") != ranked(
                parts, "--marginals", "tokens"):
            failures.append(f"--marginals tokens --window {window}: parts rank otherwise")


def random_pairs(path, seed, scale=1):
    """At scale 10**7 the products of the marginals pass 2**53."""
    rng = random.Random(seed)
    vocabulary = [("w%d" % i).encode() for i in range(60)]
    counts = {}
    for _ in range(700):
        w1 = vocabulary[min(int(rng.paretovariate(1.2)) - 1, 59)]
        w2 = rng.choice(vocabulary)
        count = rng.choice([1, 1, 1, 2, 3, 7, 40, 1000]) * scale
        counts[(w1, w2)] = counts.get((w1, w2), 0) + count
    counts[(b"alone1", b"alone2")] = 5  # words that occur nowhere else
    counts[(b"w3", b"w3")] = 4  # a word paired with itself
    with open(path, "wb") as f:
        for (w1, w2), n in sorted(counts.items()):
            f.write(b"%s\t%s\t%d\n" % (w1, w2, n))


def main():
    os.makedirs(WORK, exist_ok=True)
    files = []
    for seed, scale in ((1, 1), (2, 1), (3, 10**7)):
        path = os.path.join(WORK, "random%d.txt" % seed)
        random_pairs(path, seed, scale)
        files.append(("random file %d" % seed, path))
        if scale > 1:
            LARGE.add(path)
    # A real text: the GPL shipped by every Debian system, or our own doc.
    text = "/usr/share/common-licenses/GPL-3"
    if not os.path.exists(text):
        text = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "README.md")
    real = os.path.join(WORK, "real")
    ulo("run", text, "--out", real, "--window", "3")
    files.append(("pairs of " + text, os.path.join(real, "pairs.txt")))
    # One word that fills the whole table: chi2 divides by zero in NLTK.
    degenerate = os.path.join(WORK, "degenerate.txt")
    with open(degenerate, "wb") as f:
        f.write(b"x\tx\t3\n")
    files.append(("a file of one self-pair", degenerate))

    for name, path in files:
        for measure in MEASURES:
            if path not in LARGE or measure != "fisher":
                check(name, path, measure, 5, 1)
        check(name, path, "llr", 3, 2, self_pairs=False)
        check(name, path, "delta_p", 4, 1, direction="after")
        check(name, path, "confidence", 4, 1, direction="before")
    check_token_marginals()
    for failure in failures[:40]:
        print(failure)
    print("%d failed" % len(failures))
    sys.exit(1 if failures else 0)


main()
