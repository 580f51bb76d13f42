"""Association measures over a merged pair-count file, ranked word by word.

Frequencies and total are the library's statistics' own: a word's frequency is the sum of
the counts of the lines it stands in, as word1 or as word2, and the total is twice the sum of
all counts. Every measure but confidence and support comes from the 2x2 table of a line,
as nltk.metrics.BigramAssocMeasures forms it:

    a = n_ii  the line's count          b = n_ix  the base word's frequency
    c = n_xi  the other word's frequency  n = n_xx  the total
    o11 = a, o21 = c - a, o12 = b - a, o22 = n - a - o21 - o12

The scores are computed as `ulo rank` computes them, in doubles, operation for operation and
in the same order, with the C library's log2, log and sqrt, so that both give the same bits:

    confidence = a / b * 100.0             support = a / n * 100.0
    pmi  = log2(a * n) - log2(b * c)       npmi = pmi / -log2(a / n)
    lift = (a * n) / (b * c)               t    = (a - b * c / n) / sqrt(a + 1e-20)
    dice = 2.0 * a / (b + c)               jaccard = a / (((0.0 + o11) + o21) + o12)
    chi2 = n * (d * d / (((m1 * m2) * m3) * m4)), d = o11 * o22 - o21 * o12,
           m1 = o11 + o21, m2 = o11 + o12, m3 = o21 + o22, m4 = o12 + o22
    llr  = 2.0 * ((((0.0 + g11) + g21) + g12) + g22), g = o * log(o / (e + 1e-20) + 1e-20),
           e11 = (o11 + o21) * (o11 + o12) / s, e21 = (o21 + o11) * (o21 + o22) / s,
           e12 = (o12 + o22) * (o12 + o11) / s, e22 = (o22 + o12) * (o22 + o21) / s,
           s = (((0.0 + o11) + o21) + o12) + o22

llr and chi2 then carry the association's sign: negated when o11 < e11 (e11 as above), since
a pair seen less often than chance would have it is no collocation, however sure the
evidence. NLTK's llr and chi2 are their magnitudes.

Degenerate tables: every measure but confidence and support scores 0 on a table with a
negative cell (a word paired with itself whose frequency, which counts that line twice, is
more than half the total), every measure scores 0 where its formula is undefined or infinite
(a division by zero, the logarithm of zero or of a negative number), and a negative zero is
0: never NaN.
"""

import math

import numpy as np

from .readers import to_frame

_SMALL = 1e-20


def _c_function(function):
    """`function` of math element by element, answering as C does where math raises."""

    def each(x):
        if x > 0:
            return function(x)
        return -math.inf if x == 0 else math.nan

    ufunc = np.frompyfunc(each, 1, 1)
    return lambda values: ufunc(values).astype(np.float64)


# math's, not numpy's: numpy's own logarithms may differ from the C library's in the last bit.
_log2 = _c_function(math.log2)
_ln = _c_function(math.log)


def confidence(a, b, c, n):
    return a / b * 100.0


def support(a, b, c, n):
    return a / n * 100.0


def pmi(a, b, c, n):
    return _log2(a * n) - _log2(b * c)


def npmi(a, b, c, n):
    return pmi(a, b, c, n) / -_log2(a / n)


def lift(a, b, c, n):
    return (a * n) / (b * c)


def t(a, b, c, n):
    return (a - b * c / n) / np.sqrt(a + _SMALL)


def dice(a, b, c, n):
    return 2.0 * a / (b + c)


def _cells(a, b, c, n):
    o21 = c - a
    o12 = b - a
    return a, o21, o12, n - a - o21 - o12


def jaccard(a, b, c, n):
    o11, o21, o12, _ = _cells(a, b, c, n)
    return a / (((0.0 + o11) + o21) + o12)


def _expected11(o11, o21, o12, o22):
    s = (((0.0 + o11) + o21) + o12) + o22
    return (o11 + o21) * (o11 + o12) / s


def _signed(value, o11, e11):
    # Negative below chance; a NaN e11 compares false and leaves the value as it is.
    return np.where(o11 < e11, -value, value)


def chi2(a, b, c, n):
    o11, o21, o12, o22 = _cells(a, b, c, n)
    d = o11 * o22 - o21 * o12
    m1, m2, m3, m4 = o11 + o21, o11 + o12, o21 + o22, o12 + o22
    value = n * (d * d / (((m1 * m2) * m3) * m4))
    return _signed(value, o11, _expected11(o11, o21, o12, o22))


def llr(a, b, c, n):
    o11, o21, o12, o22 = _cells(a, b, c, n)
    s = (((0.0 + o11) + o21) + o12) + o22
    e11 = (o11 + o21) * (o11 + o12) / s
    e21 = (o21 + o11) * (o21 + o22) / s
    e12 = (o12 + o22) * (o12 + o11) / s
    e22 = (o22 + o12) * (o22 + o21) / s

    def g(o, e):
        return o * _ln(o / (e + _SMALL) + _SMALL)

    value = 2.0 * ((((0.0 + g(o11, e11)) + g(o21, e21)) + g(o12, e12)) + g(o22, e22))
    return _signed(value, o11, e11)


MEASURES = {
    "confidence": confidence,
    "support": support,
    "pmi": pmi,
    "npmi": npmi,
    "llr": llr,
    "t": t,
    "chi2": chi2,
    "dice": dice,
    "jaccard": jaccard,
    "lift": lift,
}


def score(measure, n_ii, n_ix, n_xi, n_xx):
    """The measure for arrays of table margins, as float64, after the policy above."""
    if measure not in MEASURES:
        raise ValueError(f"measure must be one of {sorted(MEASURES)}, not {measure!r}")
    arrays = [np.asarray(v, dtype=np.float64) for v in (n_ii, n_ix, n_xi, n_xx)]
    with np.errstate(all="ignore"):
        raw = np.asarray(MEASURES[measure](*arrays), dtype=np.float64)
        defined = np.isfinite(raw) & (raw != 0.0)
        if measure not in ("confidence", "support"):
            defined &= np.logical_and.reduce([cell >= 0 for cell in _cells(*arrays)])
    return np.where(defined, raw, 0.0)


def associations(pairs_path, measure="llr", top=10, min_count=1, encoding="gb2312"):
    """For every word of a merged pair-count file, its `top` best associated words by
    `measure`, as a DataFrame (word, other, score, count): what `ulo rank` writes.

    Each line offers each of its words to the other's list, scored for that direction; a
    word that two lines offer to the same list (a pair counted in both directions) stands
    there once, with its better score and that line's count. Lines counted under
    `min_count` are left out of the lists, not of the frequencies. Words come in byte order
    of the file, each word's list best first, equal scores in byte order of the other word.
    """
    import pandas as pd

    if measure not in MEASURES:
        raise ValueError(f"measure must be one of {sorted(MEASURES)}, not {measure!r}")
    if int(top) < 1:
        raise ValueError(f"top must be at least 1, not {top}")
    if int(min_count) < 1:
        raise ValueError(f"min_count must be at least 1, not {min_count}")
    # Latin-1 keeps one character per byte, so that sorting the words sorts their bytes.
    frame = to_frame(pairs_path, "pairs", encoding="latin-1")
    rows = len(frame)
    counts = frame["count"].to_numpy(dtype=np.int64)
    n_xx = 2 * int(counts.sum())
    # Every word once, numbered in byte order: frequencies, order and decoding work on the
    # numbers, each word's text touched once.
    codes, vocabulary = pd.factorize(
        np.concatenate([frame["word1"].to_numpy(), frame["word2"].to_numpy()]), sort=True
    )
    word1, word2 = codes[:rows], codes[rows:]
    frequency = np.zeros(len(vocabulary), dtype=np.int64)
    np.add.at(frequency, word1, counts)
    np.add.at(frequency, word2, counts)
    kept = counts >= int(min_count)
    word1, word2, n_ii = word1[kept], word2[kept], counts[kept]
    lines = np.flatnonzero(kept)
    total = np.full(len(n_ii), n_xx, dtype=np.int64)
    # Offers in file order, each line's word1 -> word2 before its word2 -> word1.
    base = np.concatenate([word1, word2])
    other = np.concatenate([word2, word1])
    count = np.concatenate([n_ii, n_ii])
    scores = np.concatenate([
        score(measure, n_ii, frequency[word1], frequency[word2], total),
        score(measure, n_ii, frequency[word2], frequency[word1], total),
    ])
    offered = np.concatenate([2 * lines, 2 * lines + 1])
    # One item per (base, other): the better score, the first offered of equal ones.
    order = np.lexsort((offered, -scores, other, base))
    base, other, count, scores = base[order], other[order], count[order], scores[order]
    first = np.r_[True, (base[1:] != base[:-1]) | (other[1:] != other[:-1])][:len(base)]
    base, other, count, scores = base[first], other[first], count[first], scores[first]
    order = np.lexsort((other, -scores, base))
    base, other, count, scores = base[order], other[order], count[order], scores[order]
    # The place of each item within its word's list.
    starts = np.flatnonzero(np.r_[True, base[1:] != base[:-1]]) if len(base) else base[:0]
    place = np.arange(len(base)) - np.repeat(starts, np.diff(np.r_[starts, len(base)]))
    best = place < int(top)
    base, other, count, scores = base[best], other[best], count[best], scores[best]
    if encoding is None:
        words = np.array([w.encode("latin-1") for w in vocabulary], dtype=object)
    else:
        words = np.array([w.encode("latin-1").decode(encoding) for w in vocabulary],
                         dtype=object)
    return pd.DataFrame(
        {"word": words[base], "other": words[other], "score": scores, "count": count}
    )
