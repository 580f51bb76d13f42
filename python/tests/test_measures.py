"""Measures and ranking through the package: what the engine computes (checked in full on
the ulo side) reaches Python with its types, options and errors; and neighbours(), which
gives one word the rows associations() gives it."""

import numpy as np
import pytest

import vorn_ulo
from conftest import write_pairs


def test_score_passes_the_table_and_names_a_wrong_measure(library):
    # The table of a -> d in the lines (a, b, 1) and (a, d, 3): pmi log2(24 / 12).
    assert vorn_ulo.score("pmi", 3, 4, 3, 8) == 1.0
    assert vorn_ulo.score("confidence", *np.array([3, 4, 3, 8], dtype=np.int64)) == 75.0
    assert "llr" in vorn_ulo.measure_names()
    with pytest.raises(vorn_ulo.EngineError, match="nonsense"):
        vorn_ulo.score("nonsense", 1, 1, 1, 1)


def test_associations_pass_their_options_and_errors(library, tmp_path):
    pairs = write_pairs(tmp_path / "p.txt", [
        ("b", "c", 2), ("b", "a", 2), ("a", "z", 1), ("a", "y", 5), ("a", "x", 5),
    ])
    ranked = vorn_ulo.associations(pairs, "support", top=2, min_count=2)
    assert list(zip(ranked["word"], ranked["other"], ranked["count"], ranked["side"])) == [
        ("a", "x", 5, "after"), ("a", "y", 5, "after"), ("b", "a", 2, "after"),
        ("b", "c", 2, "after"), ("c", "b", 2, "before"), ("x", "a", 5, "before"),
        ("y", "a", 5, "before"),
    ]
    assert ranked["score"][0] == 5 / 30 * 100.0  # the total counts each line twice
    assert list(vorn_ulo.associations(pairs, "pmi", encoding=None)["word"][:1]) == [b"a"]
    with pytest.raises(vorn_ulo.EngineError, match="nonsense"):
        vorn_ulo.associations(pairs, "nonsense")
    bad = write_pairs(tmp_path / "bad.txt", [("a", "b", 2), ("a", "c", -3), ("d", "e", 5)])
    with pytest.raises(vorn_ulo.EngineError, match="line 2: the count '-3' is not digits only"):
        vorn_ulo.associations(bad, "llr")


# A word holding \x1c and CR, which str.splitlines() and pandas take for line ends.
ROWS = [("月", "光", 4), ("光", "月", 4), ("月", "山", 2), ("山", "月", 2), ("山", "水", 7),
        ("水", "山", 7), ("月", "月", 3), ("月", "云\x1c\r雨", 1), ("云\x1c\r雨", "月", 1)]
# The token counts a count writes beside its pairs: total 40, window 2.
TOKENS = "ulo-tokens 1 40 2\n光\t5\n月\t12\n山\t9\n水\t14\n云\x1c\r雨\t1\n"


def test_neighbours_equal_the_word_rows_of_associations(library, tmp_path):
    pairs = write_pairs(tmp_path / "p.txt", ROWS)
    options = {"measure": "pmi", "min_count": 1, "self_pairs": True}
    with pytest.raises(vorn_ulo.EngineError, match="p.txt.tokens"):
        vorn_ulo.neighbours(pairs, "月", marginals="tokens", **options)
    (tmp_path / "p.txt.tokens").write_text(TOKENS, encoding="gb2312")
    ranked = vorn_ulo.associations(pairs, marginals="tokens", **options)
    expected = ranked[ranked["word"] == "月"].reset_index(drop=True)
    got = vorn_ulo.neighbours(pairs, "月", marginals="tokens", **options)
    assert got.to_dict("list") == expected.to_dict("list") and len(got) == 4
    assert vorn_ulo.neighbours(pairs, "海").empty
    ranked_file = tmp_path / "ranked.txt"
    ranked_file.write_text("月\t光\t1.5\t4\tafter\n", encoding="utf-8")
    with pytest.raises(vorn_ulo.EngineError, match="is a ranked file"):
        vorn_ulo.neighbours(ranked_file, "月")
    # b\xff shown as text would be b: refused, as associations() refuses it.
    invalid = tmp_path / "invalid.txt"
    invalid.write_bytes(b"a\tb\t5\na\tb\xff\t7\nb\ta\t5\nb\xff\ta\t7\n")
    for call in (vorn_ulo.associations, lambda path, **options: vorn_ulo.neighbours(
            path, "a", **options)):
        with pytest.raises(vorn_ulo.EngineError, match="not GB18030 text"):
            call(invalid, min_count=1)
