"""neighbours() gives one word the rows associations() gives it, without ranking the file."""

import pytest

import vorn_ulo
from conftest import write_pairs

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
