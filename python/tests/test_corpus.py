"""count_corpus against the ulo host on the same corpus: the same merged bytes."""

import re
import shutil

import pytest

import vorn_ulo
from vorn_ulo import tokens
from conftest import PROJECT, TANG, run_ulo, ulo_help

SAMPLE = (
    "床前明月光，疑是地上霜。\n举头望明月，低头思故乡。\n"
    "The moon   rose\tover 3 hills, 2026!\n"
    "月光\u3000照 山水 ・ café — 《静夜思》\n"
)


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    path = tmp_path_factory.mktemp("corpus") / "corpus.txt"
    text = TANG.read_text(encoding="utf-8") if TANG.is_file() else ""
    path.write_text(SAMPLE * 20 + text, encoding="utf-8")
    return path


def ulo_count(ulo, corpus, out, *flags):
    spill = out / "spill"
    result = run_ulo(ulo, "count", corpus, "--work", spill, "--from", "UTF-8", *flags)
    run_ulo(ulo, "merge", spill, out / "pairs.txt")
    return (out / "pairs.txt").read_bytes(), result.stdout.decode("utf-8", "replace")


def filter_flags(ulo, drop_punctuation, default_stopwords):
    """The host's flags for the filters, where this build of it has them."""
    text = ulo_help(ulo, "count")
    if "--drop-punctuation" not in text:
        if drop_punctuation or default_stopwords:
            pytest.skip("this ulo has no token filters")
        return []
    return [
        "--drop-punctuation" if drop_punctuation else "--keep-punctuation",
        "--default-stopwords" if default_stopwords else "--no-default-stopwords",
    ]


@pytest.mark.parametrize("tokenizer, window, one_way", [
    ("whitespace", 3, False),
    ("chars", 2, False),
    ("chars", 5, True),
])
def test_same_merged_bytes_as_ulo(library, ulo, corpus, tmp_path, tokenizer, window, one_way):
    flags = ["--window", str(window)] + (["--chars"] if tokenizer == "chars" else [])
    flags += ["--one-way"] if one_way else []
    flags += filter_flags(ulo, False, False)
    expected, report = ulo_count(ulo, corpus, tmp_path / "ulo", *flags)
    summary = {}
    ours = vorn_ulo.count_corpus(corpus, tmp_path / "py", window=window, tokenizer=tokenizer,
                                 one_way=one_way, drop_punctuation=False, errors="skip",
                                 summary=summary)
    assert ours.read_bytes() == expected
    skipped = re.search(r"skipped characters\s+(\d[\d,]*)", report)
    assert skipped and int(skipped.group(1).replace(",", "")) == summary["skipped_chars"] > 0


def test_jieba_segmented_corpus_end_to_end(library, ulo, corpus, tmp_path):
    import jieba

    jieba.setLogLevel(60)
    segmented = tmp_path / "segmented.txt"
    with open(corpus, encoding="utf-8") as source, open(segmented, "w", encoding="utf-8") as out:
        for line in source:
            out.write(" ".join(jieba.cut(line.rstrip("\n"))) + "\n")
    expected, _ = ulo_count(ulo, segmented, tmp_path / "ulo", *filter_flags(ulo, False, False))
    pairs = vorn_ulo.count_corpus([corpus], tmp_path / "py", tokenizer="jieba",
                                  drop_punctuation=False, errors="skip")
    assert pairs.read_bytes() == expected
    frame = vorn_ulo.to_frame(pairs)
    assert "明月" in set(frame["word1"])
    ranked = vorn_ulo.associations(pairs, "llr", top=3)
    assert len(ranked[ranked["word"] == "明月"]) == 3


@pytest.mark.parametrize("tokenizer", ["whitespace", "jieba"])
def test_filters_as_the_host_applies_them(library, ulo, corpus, tmp_path, tokenizer):
    flags = filter_flags(ulo, True, True)
    source = corpus
    if tokenizer == "jieba":  # English and Chinese words, upper and lower case
        import jieba

        jieba.setLogLevel(60)
        source = tmp_path / "segmented.txt"
        source.write_text("".join(" ".join(jieba.cut(line.rstrip("\n"))) + "\n" for line in
                                  corpus.read_text(encoding="utf-8").splitlines(True)),
                          encoding="utf-8")
    expected, report = ulo_count(ulo, source, tmp_path / "ulo", *flags)
    summary = {}
    ours = vorn_ulo.count_corpus(corpus, tmp_path / "py", tokenizer=tokenizer,
                                 stopwords="default", drop_punctuation=True, errors="skip",
                                 summary=summary)
    assert ours.read_bytes() == expected
    stop = re.search(r"stop words dropped\s+([\d,]+)", report)
    punctuation = re.search(r"punctuation, symbols and digits dropped\s+([\d,]+)", report)
    assert int(stop.group(1).replace(",", "")) == summary["dropped_stopwords"]
    assert int(punctuation.group(1).replace(",", "")) == summary["dropped_punctuation"]


def test_stopword_lists_are_the_hosts(library):
    for language in tokens.STOPWORD_LANGUAGES:
        host = PROJECT / "engine" / "text" / "stopwords" / f"{language}.txt"
        if not host.is_file():
            pytest.skip(f"no {host} in this tree")
        package = PROJECT / "python" / "vorn_ulo" / "stopwords" / f"{language}.txt"
        assert package.read_bytes() == host.read_bytes(), (
            f"{package} differs from {host}: cp engine/text/stopwords/*.txt python/vorn_ulo/stopwords/")


class TestTokens:
    def test_words_split_at_blanks_and_the_ideographic_space_only(self):
        line = "a  b\t月光\u3000照,x\x00y\r\n".encode("gb2312")
        assert tokens.word_tokens(line) == [b"a", b"b", "月光".encode("gb2312"),
                                            "照,x".encode("gb2312"), b"y"]

    def test_a_trail_byte_a1_never_starts_a_token(self):
        # B0 A1 is a character; the A1 A1 that follows it is a separator, not a trail.
        assert tokens.word_tokens(b"X\xa1\xa1\xb0\xa1") == [b"X", b"\xb0\xa1"]
        assert tokens.word_tokens(b"\xb0\xa1\xa1\xa1z") == [b"\xb0\xa1", b"z"]
        assert tokens.word_tokens(b"x\xa1\xa1") == [b"x"]
        assert tokens.word_tokens(b"x\xa1\xa1\xa1") == [b"x", b"\xa1"]

    def test_chars_keep_chinese_characters_only(self):
        line = "月，A光1・照".encode("gb2312", "ignore") + b"\xb0"
        assert tokens.char_tokens(line) == [c.encode("gb2312") for c in "月光照"]

    def test_punctuation_symbols_and_digits(self):
        for token in ("，", "。！", "2026", "3.14", "--", "《》", "１２", "①", "─┼", "＄"):
            assert tokens.is_punctuation(token.encode("gb2312")), token
        # Letters of rows 3 to 8 (full-width Latin, kana, Greek, Cyrillic) are words.
        for token in ("月", "a", "x1", "月。", "Ａ", "ｚ", "α", "あ", "Я", ""):
            assert not tokens.is_punctuation(token.encode("gb2312")), token
        assert not tokens.is_punctuation(b"\xb0")  # a lead byte alone

    def test_stop_words_match_ascii_letters_in_any_case(self):
        keep = tokens.TokenFilter(tokens.load_stopwords_text(" The\r\n的 \n\n"), True)
        kept = keep([b"THE", b"the", "的".encode("gb2312"), b"theory", b"42", b"Moon"])
        assert kept == [b"theory", b"Moon"]
        assert (keep.dropped_stopwords, keep.dropped_punctuation) == (3, 1)

    def test_shards_cut_at_line_ends_cover_every_line_once(self, tmp_path):
        from vorn_ulo.corpus import read_shard

        path = tmp_path / "c.txt"
        data = b"".join(b"line %d %s\n" % (i, b"x" * (i % 7)) for i in range(200)) + b"tail"
        path.write_bytes(data)
        for step in (1, 5, 64, 1000, len(data)):
            lines = []
            for start in range(0, len(data), step):
                lines += list(read_shard(path, start, start + step))
            assert b"".join(lines) == data, step


def test_callable_tokenizer_and_texts(library, tmp_path):
    texts = ["a b c", "b c d"]
    pairs = vorn_ulo.count_corpus(texts, tmp_path, window=1, tokenizer=str.split,
                                  one_way=True)
    assert list(vorn_ulo.read_pairs(pairs)) == [("a", "b", 1), ("b", "c", 2), ("c", "d", 1)]
    with pytest.raises(UnicodeEncodeError):
        vorn_ulo.count_corpus(["a €"], tmp_path / "strict")
    (tmp_path / "busy" / "spill").mkdir(parents=True)
    (tmp_path / "busy" / "spill" / "notes.txt").write_text("mine")
    with pytest.raises(FileExistsError):
        vorn_ulo.count_corpus(texts, tmp_path / "busy")
    shutil.rmtree(tmp_path / "busy")


def test_a_tuple_of_paths_is_a_list_of_corpora(library, tmp_path):
    (tmp_path / "a.txt").write_text("x y\n")
    (tmp_path / "b.txt").write_text("y z\n")
    pairs = vorn_ulo.count_corpus((tmp_path / "a.txt", str(tmp_path / "b.txt")),
                                  tmp_path / "work", one_way=True)
    assert list(vorn_ulo.read_pairs(pairs)) == [("x", "y", 1), ("y", "z", 1)]


def test_spill_files_of_an_earlier_run_are_not_merged_again(library, tmp_path):
    spill = tmp_path / "spill"
    spill.mkdir()
    (spill / "temp9.txt").write_bytes(b"x\ty\t100\n")  # left by a longer run before
    pairs = vorn_ulo.count_corpus(["x y"], tmp_path, one_way=True)
    assert list(vorn_ulo.read_pairs(pairs)) == [("x", "y", 1)]
