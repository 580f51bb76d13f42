"""Association measures over a merged pair-count file, ranked word by word.

Frequencies and total are the library's statistics' own: a word's frequency is the sum of
the counts of the lines it stands in, as word1 or as word2, and the total is twice the sum of
all counts. Every measure but confidence and support comes from the 2x2 table of a line
(n_ii its count, n_ix and n_xi the frequencies of word1 and word2, n_xx the total), in the
form that nltk.metrics.BigramAssocMeasures takes.

Degenerate tables get one policy, never NaN: a cell that is zero or negative adds nothing to
the log-likelihood ratio, chi-square is 0 when a word fills the whole table, and NPMI is 1
for a pair that fills it.
"""

import math

import numpy as np

from .readers import to_frame

_SMALL = 1e-20

# The arithmetic is NLTK's: integers exact (Python ints in object arrays), a quotient of two
# integers rounded once, and the logarithms of the C library through math (numpy's may differ
# in the last bit). So each score has the very bits that BigramAssocMeasures gives.
_log2_each = np.frompyfunc(math.log2, 1, 1)
_ln_each = np.frompyfunc(math.log, 1, 1)


def _log2(values):
    return _log2_each(values).astype(np.float64)


def _ln(values):
    return _ln_each(values).astype(np.float64)


def _sqrt(values):
    return np.sqrt(np.asarray(values, dtype=np.float64))  # sqrt is exact in IEEE arithmetic


def _cells(n_ii, n_ix, n_xi, n_xx):
    n_oi = n_xi - n_ii
    n_io = n_ix - n_ii
    return n_ii, n_oi, n_io, n_xx - n_ii - n_oi - n_io


def confidence(n_ii, n_ix, n_xi, n_xx):
    return n_ii / n_ix


def support(n_ii, n_ix, n_xi, n_xx):
    return n_ii / n_xx


def pmi(n_ii, n_ix, n_xi, n_xx):
    return _log2(n_ii * n_xx) - _log2(n_ix * n_xi)


def npmi(n_ii, n_ix, n_xi, n_xx):
    denominator = -_log2(n_ii / n_xx)
    fills = denominator == 0
    value = pmi(n_ii, n_ix, n_xi, n_xx) / np.where(fills, 1.0, denominator)
    return np.where(fills, 1.0, value)


def llr(n_ii, n_ix, n_xi, n_xx):
    cont = _cells(n_ii, n_ix, n_xi, n_xx)
    total = cont[0] + cont[1] + cont[2] + cont[3]
    result = 0
    for i in range(4):
        obs = cont[i]
        expected = (cont[i] + cont[i ^ 1]) * (cont[i] + cont[i ^ 2]) / total
        positive = obs > 0
        ratio = np.where(positive, obs / (expected + _SMALL) + _SMALL, 1.0)
        result = result + np.where(positive, obs * _ln(ratio), 0.0)
    return 2 * result


def t(n_ii, n_ix, n_xi, n_xx):
    return (n_ii - n_ix * n_xi / n_xx) / _sqrt(n_ii + _SMALL)


def chi2(n_ii, n_ix, n_xi, n_xx):
    n_ii, n_io, n_oi, n_oo = _cells(n_ii, n_ix, n_xi, n_xx)
    denominator = (n_ii + n_io) * (n_ii + n_oi) * (n_io + n_oo) * (n_oi + n_oo)
    fills = denominator == 0
    phi = (n_ii * n_oo - n_io * n_oi) ** 2 / np.where(fills, 1, denominator)
    return np.where(fills, 0.0, n_xx * phi)


def dice(n_ii, n_ix, n_xi, n_xx):
    return 2 * n_ii / (n_ix + n_xi)


def jaccard(n_ii, n_ix, n_xi, n_xx):
    cont = _cells(n_ii, n_ix, n_xi, n_xx)
    return cont[0] / (cont[0] + cont[1] + cont[2])


def lift(n_ii, n_ix, n_xi, n_xx):
    return (n_ii * n_xx) / (n_ix * n_xi)


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
    """The measure for arrays of table marginals (integers), as float64."""
    if measure not in MEASURES:
        raise ValueError(f"measure must be one of {sorted(MEASURES)}, not {measure!r}")
    arrays = [np.asarray(v, dtype=np.int64) for v in (n_ii, n_ix, n_xi, n_xx)]
    largest = max((int(np.abs(a).max()) for a in arrays if len(a)), default=0)
    if measure != "chi2" and largest * largest < 2**53:
        # Every product of two marginals is exact in a double, so each integer quotient is
        # rounded once, as Python rounds it: the same bits, at numpy's speed.
        arrays = [a.astype(np.float64) for a in arrays]
    else:
        arrays = [a.astype(object) for a in arrays]
    return np.asarray(MEASURES[measure](*arrays), dtype=np.float64)


def associations(pairs_path, measure="llr", top=10, min_count=1, encoding="gb2312"):
    """For every word of a merged pair-count file, its `top` best associated words by
    `measure`, as a DataFrame (word, other, score, count).

    Each line offers its word2 to its word1's list (a corpus counted in both directions
    holds the reverse line too). Lines counted under `min_count` are left out of the lists,
    not of the frequencies. Words come in byte order of the file's encoding, each word's
    list best first, ties in byte order of the other word.
    """
    import pandas as pd

    if measure not in MEASURES:
        raise ValueError(f"measure must be one of {sorted(MEASURES)}, not {measure!r}")
    if int(top) < 1:
        raise ValueError(f"top must be at least 1, not {top}")
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
    n_ix, n_xi = frequency[word1], frequency[word2]
    # Negative counts elsewhere in a file can leave a word without a positive frequency:
    # there is no table to score then.
    kept = (counts >= max(1, int(min_count))) & (n_ix > 0) & (n_xi > 0) & (n_xx > 0)
    word1, word2, n_ii, n_ix, n_xi = (a[kept] for a in (word1, word2, counts, n_ix, n_xi))
    scores = score(measure, n_ii, n_ix, n_xi, np.full(len(n_ii), n_xx, dtype=np.int64))
    order = np.lexsort((word2, -scores, word1))
    word1, word2, n_ii, scores = word1[order], word2[order], n_ii[order], scores[order]
    # The place of each row within its word's list.
    starts = np.flatnonzero(np.r_[True, word1[1:] != word1[:-1]]) if len(word1) else word1[:0]
    place = np.arange(len(word1)) - np.repeat(starts, np.diff(np.r_[starts, len(word1)]))
    best = place < int(top)
    word1, word2, n_ii, scores = word1[best], word2[best], n_ii[best], scores[best]
    if encoding is None:
        words = np.array([w.encode("latin-1") for w in vocabulary], dtype=object)
    else:
        words = np.array([w.encode("latin-1").decode(encoding) for w in vocabulary],
                         dtype=object)
    return pd.DataFrame(
        {"word": words[word1], "other": words[word2], "score": scores, "count": n_ii}
    )
