"""Readers of the library's files, streamed and as DataFrames, checked against the files."""

import contextlib
import os
import random

import pytest

import vorn_ulo
from vorn_ulo.encoding import Encoder, decode_words
from conftest import write_pairs

# Words that a careless CSV reader would turn into missing values, numbers, quotes or line ends.
AWKWARD = ["nan", "NULL", "N/A", '"quoted', "it's", "#hash", "007", "月光", "a,b", "-", "  ",
           "a\rb"]


@pytest.fixture
def pairs(tmp_path):
    rng = random.Random(7)
    vocabulary = AWKWARD + ["词%d" % i for i in range(300)]
    rows = {}
    for _ in range(3000):
        rows[(rng.choice(vocabulary), rng.choice(vocabulary))] = rng.randint(1, 9)
    directory = tmp_path / "in"
    directory.mkdir()
    write_pairs(directory / "temp1.txt", [(a, b, c) for (a, b), c in rows.items()])
    return vorn_ulo.merge(directory, tmp_path / "pairs.txt")


def test_pairs_and_filtered_frames_equal_the_streamed_lines(library, pairs, tmp_path):
    frame = vorn_ulo.to_frame(pairs)
    assert list(frame.itertuples(index=False, name=None)) == list(vorn_ulo.read_pairs(pairs))
    assert str(frame["count"].dtype) == "int64"
    assert set(AWKWARD) <= set(frame["word1"])
    vorn_ulo.filter_pairs(pairs, tmp_path / "f.txt", 5)
    filtered = vorn_ulo.to_frame(tmp_path / "f.txt", "filtered")
    assert list(filtered.itertuples(index=False, name=None)) == list(
        vorn_ulo.read_filtered(tmp_path / "f.txt"))
    assert (filtered["count"] >= 5).all()
    expected = frame[frame["count"] >= 5]
    assert sorted(zip(filtered["word1"], filtered["word2"])) == sorted(
        zip(expected["word1"], expected["word2"]))


def test_top_n_and_support_frames_equal_the_streamed_lines(library, pairs, tmp_path):
    vorn_ulo.top_n(pairs, tmp_path / "t.txt", 4)
    top = vorn_ulo.to_frame(tmp_path / "t.txt", "top_n")
    assert list(top.itertuples(index=False, name=None)) == list(
        vorn_ulo.read_top_n(tmp_path / "t.txt"))
    assert top.groupby("word").size().max() <= 4
    vorn_ulo.support_records(pairs, tmp_path / "s.txt")
    support = vorn_ulo.to_frame(tmp_path / "s.txt", "support")
    streamed = list(vorn_ulo.read_support_records(tmp_path / "s.txt"))
    assert list(support.itertuples(index=False, name=None)) == streamed
    assert len(streamed) == 2 * len(vorn_ulo.to_frame(pairs))


def test_bytes_and_other_encodings(library, tmp_path):
    path = write_pairs(tmp_path / "p.txt", [("月", "光", 2)])
    assert list(vorn_ulo.read_pairs(path, encoding=None)) == [(b"\xd4\xc2", b"\xb9\xe2", 2)]
    assert vorn_ulo.to_frame(path, encoding="latin-1")["word1"][0] == "\xd4\xc2"
    # GB2312's middle dot is read as the engine wrote it (Python's codec: U+30FB) under any
    # of its names; an encoding whose ASCII the engine changes (Shift_JIS's 5C) goes by
    # Python's codec, and one without ASCII (UTF-16) is refused for words.
    path.write_bytes("马·克\t光\t2\n".encode("gb18030"))
    for name in ("gb2312", "chinese"):
        assert vorn_ulo.to_frame(path, encoding=name)["word1"][0] == "马·克"
    assert list(vorn_ulo.read_pairs(path, encoding="gb2312")) == [("马·克", "光", 2)]
    path.write_bytes(b"C:\\t\t~/x\t1\n")
    assert list(vorn_ulo.read_pairs(path, encoding="shift_jis")) == [("C:\\t", "~/x", 1)]
    with pytest.raises(ValueError, match="ASCII"):
        Encoder("utf-16")
    # An encoding iconv alone knows, both ways.
    assert Encoder("EUC-TW").encode("月") == b"\xc5\xcc"
    path.write_bytes(b"\xc5\xcc\tx\t1\n")
    assert list(vorn_ulo.read_pairs(path, encoding="EUC-TW")) == [("月", "x", 1)]
    assert decode_words([b"a\0\n\0b\0"], "strict", "UTF-16LE") == ["a\nb"]  # one text


# TAB and bytes that are not UTF-8 come back from the engine's lists of files as given; LF,
# which ends an item there, is refused.
@pytest.mark.parametrize("name", ["with\ttab", os.fsdecode(b"caf\xe9"), "line\nend"])
def test_names_in_the_engines_lists_of_files(library, tmp_path, name):
    corpus = tmp_path / f"{name}.txt"
    corpus.write_text("moon light over hill\nlight over moon water\n")
    pairs = vorn_ulo.count_corpus(corpus, tmp_path / "engine", jobs=1, stopwords="none")
    refused = pytest.raises(ValueError, match="line end") if "\n" in name else \
        contextlib.nullcontext()
    with refused:
        assert vorn_ulo.count_corpus(corpus, tmp_path / "py", tokenizer=str.split, jobs=1,
                                     stopwords="none").read_bytes() == pairs.read_bytes()
    parts = vorn_ulo.merge(pairs.parent / "spill", tmp_path / f"parts-{name}", parts=True)
    with refused:
        assert list(vorn_ulo.read_pairs(parts)) == list(vorn_ulo.read_pairs(pairs))
        assert vorn_ulo.to_frame(parts).equals(vorn_ulo.to_frame(pairs))


# Characters whose GB18030 bytes Python's codec and the engine disagree on (a form the library
# reads as another character, or one it cannot read at all).
DISPUTED = ["ḿa", "龴x", "︐", "𠂇"]


def test_words_in_the_library_encoding_are_the_engines_both_ways(library, tmp_path):
    counted = vorn_ulo.count_texts(" ".join(DISPUTED), tmp_path / "c", window=1,
                                   stopwords="none", drop_punctuation=False)
    assert {w for w, _, _ in vorn_ulo.read_pairs(counted)} == set(DISPUTED)
    assert set(vorn_ulo.to_frame(counted)["word1"]) == set(DISPUTED)
    assert set(vorn_ulo.associations(counted, min_count=1)["word"]) == set(DISPUTED)
    assert list(vorn_ulo.neighbours(counted, "ḿa", min_count=1)["other"]) == ["龴x"]
    # Back to the library's bytes: a run fed the words writes the count's file.
    (tmp_path / "run").mkdir()
    with vorn_ulo.CountingRun(tmp_path / "run") as run:
        run.add_many(vorn_ulo.read_pairs(counted), one_way=True)
    assert vorn_ulo.merge(tmp_path / "run", tmp_path / "p.txt").read_bytes() == \
        counted.read_bytes()
    # A Python tokenizer reads a corpus in the library's encoding as the engine's does.
    corpus = tmp_path / "corpus.txt"
    corpus.write_bytes(b" ".join(w for w, _, _ in vorn_ulo.read_pairs(counted, encoding=None)))
    assert vorn_ulo.count_corpus(corpus, tmp_path / "split", tokenizer=str.split, jobs=1,
                                 stopwords="none", drop_punctuation=False).read_bytes() == \
        vorn_ulo.count_corpus(corpus, tmp_path / "engine", jobs=1, stopwords="none",
                              drop_punctuation=False).read_bytes()


def test_malformed_files_are_refused(library, tmp_path):
    bad = tmp_path / "bad.txt"
    bad.write_bytes(b"a\tb\t1\nonly one field\n")
    with pytest.raises(ValueError, match="bad.txt:2"):
        list(vorn_ulo.read_pairs(bad))
    cut = tmp_path / "cut.txt"
    cut.write_bytes("<rec>\n<基准规则>=a\n".encode("gb2312"))
    with pytest.raises(ValueError, match="ends inside a record"):
        list(vorn_ulo.read_support_records(cut))
    with pytest.raises(ValueError, match="whole five-line records"):
        vorn_ulo.to_frame(cut, "support")
    with pytest.raises(ValueError, match="kind"):
        vorn_ulo.to_frame(cut, "nonsense")


def test_empty_files_and_crlf_lines(library, tmp_path):
    empty = tmp_path / "empty.txt"
    empty.write_bytes(b"")
    for kind, columns in (("pairs", ["word1", "word2", "count"]),
                          ("top_n", ["word", "other", "confidence", "support"]),
                          ("support", ["base", "associated", "confidence", "support"])):
        frame = vorn_ulo.to_frame(empty, kind)
        assert list(frame.columns) == columns and len(frame) == 0
    with pytest.raises(vorn_ulo.EngineError, match="empty"):  # as ulo rank refuses it
        vorn_ulo.associations(empty)
    crlf = tmp_path / "crlf.txt"
    crlf.write_bytes("月\t光\t2\r\na\tb\t1\r\n".encode("gb2312"))
    assert list(vorn_ulo.read_pairs(crlf)) == [("月", "光", 2), ("a", "b", 1)]
    assert list(vorn_ulo.to_frame(crlf)["count"]) == [2, 1]
    crlf.write_bytes("2\t月\t光\r\n".encode("gb2312"))  # a word last on the line
    assert list(vorn_ulo.to_frame(crlf, "filtered")["word2"]) == ["光"]
