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
_log2 = np.frompyfunc(math.log2, 1, 1)
_ln = np.frompyfunc(math.log, 1, 1)
_sqrt = np.frompyfunc(math.sqrt, 1, 1)


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
    arrays = [np.asarray(v, dtype=np.int64).astype(object) for v in (n_ii, n_ix, n_xi, n_xx)]
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
    counts = frame["count"].to_numpy(dtype=np.int64)
    n_xx = 2 * int(counts.sum())
    frequency = pd.concat(
        [frame.groupby("word1")["count"].sum(), frame.groupby("word2")["count"].sum()]
    ).groupby(level=0).sum()
    kept = frame[counts >= max(1, int(min_count))]
    n_ix = frequency.reindex(kept["word1"]).to_numpy(dtype=np.int64)
    n_xi = frequency.reindex(kept["word2"]).to_numpy(dtype=np.int64)
    # Negative counts elsewhere in a file can leave a word without a positive frequency:
    # there is no table to score then.
    scorable = (n_ix > 0) & (n_xi > 0) & (n_xx > 0)
    kept, n_ix, n_xi = kept[scorable], n_ix[scorable], n_xi[scorable]
    n_ii = kept["count"].to_numpy(dtype=np.int64)
    scores = score(measure, n_ii, n_ix, n_xi, np.full(len(n_ii), n_xx, dtype=np.int64))
    ranked = pd.DataFrame(
        {"word": kept["word1"].to_numpy(), "other": kept["word2"].to_numpy(),
         "score": scores, "count": n_ii}
    )
    ranked = ranked.sort_values(
        ["word", "score", "other"], ascending=[True, False, True], kind="stable"
    )
    ranked = ranked.groupby("word", sort=False).head(int(top)).reset_index(drop=True)
    if encoding is not None:
        for column in ("word", "other"):
            ranked[column] = ranked[column].str.encode("latin-1").str.decode(encoding)
    else:
        for column in ("word", "other"):
            ranked[column] = ranked[column].str.encode("latin-1")
    return ranked
