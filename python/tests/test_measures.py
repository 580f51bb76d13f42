"""The engine's measures against NLTK, how associations() ranks through the engine, and
neighbours(), which gives one word the rows associations() gives it without ranking the file."""

import math
import random

import numpy as np
import pytest
from nltk.metrics import BigramAssocMeasures as N

import vorn_ulo
from conftest import TANG, write_pairs

NLTK = {
    "pmi": N.pmi,
    "llr": N.likelihood_ratio,
    "t": N.student_t,
    "chi2": N.chi_sq,
    "dice": N.dice,
    "jaccard": N.jaccard,
    # NLTK lacks these two; their identities with its PMI:
    "npmi": lambda n_ii, m, n_xx: N.pmi(n_ii, m, n_xx) / -math.log2(n_ii / n_xx),
    "lift": lambda n_ii, m, n_xx: 2 ** N.pmi(n_ii, m, n_xx),
}


def below_chance(n_ii, n_ix, n_xi, n_xx):
    """Whether the pair is seen less often than chance would have it, in exact integers."""
    return n_ii * n_xx < n_ix * n_xi


def nltk_score(measure, n_ii, marginals, n_xx):
    """NLTK's value, with the sign of the association for llr and chi2, which NLTK omits."""
    value = NLTK[measure](n_ii, marginals, n_xx)
    if measure in ("llr", "chi2") and below_chance(int(n_ii), *map(int, marginals), int(n_xx)):
        return -value
    return value


def random_tables(count, seed, scale=1):
    """Marginals of real-looking tables: every cell at least 1. At scale 1 the products of
    marginals pass 2**53; at 1e-3 they stay below it."""
    rng = random.Random(seed)
    tables = []
    for _ in range(count):
        n_ii = rng.choice([1, 2, 3, rng.randint(1, int(10**6 * scale))])
        n_io, n_oi = rng.randint(1, int(10**5 * scale)), rng.randint(0, int(10**7 * scale))
        n_oo = rng.randint(1, int(10**9 * scale))
        tables.append((n_ii, n_ii + n_io, n_ii + n_oi, n_ii + n_io + n_oi + n_oo))
    return tables


# NLTK given doubles does the arithmetic of ulo rank, so these give the very same bits; chi2
# squares with ** and lift goes through 2 ** pmi, so those two only agree closely.
SAME_BITS = {"pmi", "npmi", "llr", "t", "dice", "jaccard"}


def scores(measure, *columns):
    return np.array([vorn_ulo.score(measure, *table) for table in zip(*columns)])


@pytest.mark.parametrize("scale", [1, 1e-3])
@pytest.mark.parametrize("measure", sorted(NLTK))
def test_every_measure_matches_nltk(library, measure, scale):
    tables = random_tables(500, seed=len(measure), scale=scale)
    columns = np.array(tables, dtype=np.int64).T
    ours = scores(measure, *columns)
    doubles = np.array([nltk_score(measure, float(a), (float(b), float(c)), float(d))
                        for a, b, c, d in tables])
    if measure in SAME_BITS:
        assert (ours == doubles).all()
    else:
        assert np.allclose(ours, doubles, rtol=1e-12, atol=0)
    # Against NLTK's exact integers: within 1e-9, except the log-likelihood ratio of tables
    # whose o22 dwarfs the rest, where doubles lose digits to cancellation.
    exact = np.array([nltk_score(measure, a, (b, c), d) for a, b, c, d in tables])
    assert np.allclose(ours, exact, rtol=1e-5 if measure == "llr" and scale == 1 else 1e-9,
                       atol=0)
    # The same order, as far as the values tell them apart.
    theirs = np.sort(exact)
    distinct = np.abs(np.diff(theirs)) > 1e-5 * np.abs(theirs[1:])
    assert (np.argsort(ours, kind="stable")[1:][distinct] ==
            np.argsort(exact, kind="stable")[1:][distinct]).all()


def test_confidence_and_support_are_the_librarys(library, tmp_path):
    pairs = write_pairs(tmp_path / "p.txt", [("a", "b", 1), ("a", "d", 3), ("b", "d", 2)])
    vorn_ulo.top_n(pairs, tmp_path / "t.txt", 5)
    library_scores = {(w, o): (c, s) for w, o, c, s in vorn_ulo.read_top_n(tmp_path / "t.txt")}
    confidence = vorn_ulo.associations(pairs, "confidence", top=5)
    support = vorn_ulo.associations(pairs, "support", top=5)
    for frame, index in ((confidence, 0), (support, 1)):
        for word, other, score in zip(frame["word"], frame["other"], frame["score"]):
            assert round(score, 2) == library_scores[(word, other)][index]


def test_degenerate_tables_give_numbers_never_nan(library, tmp_path):
    # x x fills the whole table; y z occurs nowhere else.
    for rows in ([("x", "x", 3)], [("y", "z", 2)], [("x", "x", 3), ("y", "z", 1)]):
        pairs = write_pairs(tmp_path / "p.txt", rows)
        for measure in vorn_ulo.MEASURES:
            ranked = vorn_ulo.associations(pairs, measure)["score"]
            assert np.isfinite(ranked).all(), (rows, measure)
    table = np.array([[3], [6], [6], [6]], dtype=np.int64)  # the x x table
    assert scores("chi2", *table)[0] == 0.0
    assert vorn_ulo.score("npmi", 1, 1, 1, 1) == 0.0  # pmi / -0


def test_ranking_order_top_and_min_count(library, tmp_path):
    pairs = write_pairs(tmp_path / "p.txt", [
        ("b", "c", 2), ("b", "a", 2), ("a", "z", 1), ("a", "y", 5), ("a", "x", 5),
    ])
    ranked = vorn_ulo.associations(pairs, "support", top=2)
    # Each line offers both ways; equal scores go in the other word's byte order.
    assert list(zip(ranked["word"], ranked["other"], ranked["count"])) == [
        ("a", "x", 5), ("a", "y", 5), ("b", "a", 2), ("b", "c", 2), ("c", "b", 2),
        ("x", "a", 5), ("y", "a", 5), ("z", "a", 1),
    ]
    kept = vorn_ulo.associations(pairs, "pmi", top=10, min_count=2)
    assert "z" not in set(kept["other"]) | set(kept["word"]) and len(kept) == 8


def test_a_pair_counted_both_ways_stands_once_with_its_better_score(library, tmp_path):
    pairs = write_pairs(tmp_path / "p.txt", [("p", "q", 3), ("q", "p", 1), ("q", "r", 1)])
    ranked = vorn_ulo.associations(pairs, "support", top=5)
    assert list(zip(ranked["word"], ranked["other"], ranked["count"])) == [
        ("p", "q", 3), ("q", "p", 3), ("q", "r", 1), ("r", "q", 1)]
    assert ranked["score"][0] == 3 / 10 * 100.0
    with pytest.raises(vorn_ulo.EngineError, match="nonsense"):
        vorn_ulo.associations(pairs, "nonsense")


@pytest.fixture(scope="module")
def tang_pairs(tmp_path_factory):
    if not TANG.is_file():
        pytest.skip("the Tang poems (fortunes-zh) are not installed")
    vorn_ulo.load()
    return vorn_ulo.count_corpus(TANG, tmp_path_factory.mktemp("tang"), window=2,
                                 tokenizer="chars", source_encoding="UTF-8")


def test_measures_on_a_real_corpus_match_nltk(tang_pairs):
    frame = vorn_ulo.to_frame(tang_pairs)
    frequency = {}
    for word1, word2, count in frame.itertuples(index=False, name=None):
        frequency[word1] = frequency.get(word1, 0) + count
        frequency[word2] = frequency.get(word2, 0) + count
    total = 2 * int(frame["count"].sum())
    ranked = vorn_ulo.associations(tang_pairs, "llr", top=3)
    for word, other, score, count, _side in ranked.head(500).itertuples(index=False, name=None):
        expected = nltk_score("llr", count, (frequency[word], frequency[other]), total)
        assert score == expected


@pytest.mark.parametrize("measure", ["llr", "chi2"])
def test_llr_and_chi2_are_negative_below_chance(library, tmp_path, measure):
    signs = np.sign(scores(measure, [1, 1], [1, 10], [1, 10], [20, 20]))
    assert list(signs) == [1.0, -1.0]  # e11 = 0.05, then 5
    # x and y are each frequent but meet once: far below chance, so surely no collocation,
    # and NLTK's magnitude would put y before z among x's best words.
    pairs = write_pairs(tmp_path / "p.txt",
                        [("x", "a", 50), ("x", "y", 1), ("y", "b", 50), ("x", "z", 1)])
    ranked = vorn_ulo.associations(pairs, measure, top=5, min_count=1)
    of_x = ranked[ranked["word"] == "x"]
    assert list(of_x["other"]) == ["a", "z", "y"]
    y_score = of_x["score"].iloc[2]
    assert y_score < 0 < of_x["score"].iloc[1]
    assert -y_score > of_x["score"].iloc[1]
    assert math.isclose(-y_score, NLTK[measure](1, (52, 51), 204), rel_tol=1e-12)


def test_negative_counts_are_refused_by_their_line(library, tmp_path):
    pairs = write_pairs(tmp_path / "p.txt", [("a", "b", 2), ("a", "c", -3), ("d", "e", 5)])
    with pytest.raises(vorn_ulo.EngineError, match="line 2: the count '-3' is not digits only"):
        vorn_ulo.associations(pairs, "llr")


ROWS = [("月", "光", 4), ("光", "月", 4), ("月", "山", 2), ("山", "月", 2), ("山", "水", 7),
        ("水", "山", 7), ("月", "月", 3)]
# The token counts a count writes beside its pairs: total 40, window 2.
TOKENS = "ulo-tokens 1 40 2\n光\t5\n月\t12\n山\t9\n水\t14\n"


@pytest.mark.parametrize("options", [
    {},
    {"measure": "confidence", "min_count": 1},
    {"measure": "delta_p", "min_count": 1, "direction": "after", "self_pairs": True},
    {"measure": "pmi", "min_count": 1, "marginals": "tokens"},
])
def test_neighbours_equal_the_word_rows_of_associations(library, tmp_path, options):
    pairs = write_pairs(tmp_path / "p.txt", ROWS)
    (tmp_path / "p.txt.tokens").write_text(TOKENS, encoding="gb2312")
    ranked = vorn_ulo.associations(pairs, **options)
    for word in ("月", "山", "水"):
        expected = ranked[ranked["word"] == word].reset_index(drop=True)
        got = vorn_ulo.neighbours(pairs, word, **options)
        assert got.to_dict("list") == expected.to_dict("list")
        assert all(isinstance(other, str) for other in got["other"])


def test_neighbours_of_an_absent_word_and_of_the_wrong_file(library, tmp_path):
    pairs = write_pairs(tmp_path / "p.txt", ROWS)
    assert vorn_ulo.neighbours(pairs, "海").empty
    ranked = tmp_path / "ranked.txt"
    ranked.write_text("月\t光\t1.5\t4\tafter\n", encoding="utf-8")
    with pytest.raises(vorn_ulo.EngineError, match="is a ranked file"):
        vorn_ulo.neighbours(ranked, "月")
    # No token counts beside the file: refused, not scored from the pairs.
    for rank in (vorn_ulo.neighbours, lambda path, word, **options:
                 vorn_ulo.associations(path, **options)):
        with pytest.raises(vorn_ulo.EngineError, match="p.txt.tokens"):
            rank(pairs, "月", marginals="tokens")
