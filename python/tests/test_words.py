import inspect
import random

import pytest

import vorn_ulo


def planted_texts():
    """Random ideographs with one word planted: 鹦鹉 (the engine's own tests plant more)."""
    rng = random.Random(7)
    filler = "天地人山水火木金土日月星风云雨雪花草鱼鸟马牛羊车门书路河海石"
    lines = ["".join("鹦鹉" if p == 30 else "，" if p == 31 else filler[p % 30]
                     for p in (rng.randrange(40) for _ in range(rng.randrange(10, 40))))
             for _ in range(300)]
    return ["\n".join(lines[:150]), "\n".join(lines[150:])]


def test_the_planted_word_comes_first_from_texts_files_and_bytes(library, tmp_path):
    texts = planted_texts()
    frame = vorn_ulo.new_words(texts, library=library)
    assert list(frame.columns) == ["word", "score", "frequency", "cohesion", "freedom",
                                   "before", "after"]
    assert frame.word[0] == "鹦鹉"
    assert all(isinstance(w, str) for w in frame.word)
    # The same words from a file in the library's encoding and from bytes.
    path = tmp_path / "corpus.txt"
    path.write_bytes(texts[0].encode("gb18030") + b"\n")
    from_sources = vorn_ulo.new_words([path, texts[1].encode("gb18030")], library=library,
                                      workdir=tmp_path / "work")
    assert from_sources.equals(frame)
    # A second search in the same work directory counts only its own texts, whatever spill
    # files an earlier, larger search left there.
    (tmp_path / "work" / "spill" / "temp9.txt").write_bytes("鹦鹉\t>天\t999\n".encode("gb18030"))
    again = vorn_ulo.new_words(texts[1], library=library, workdir=tmp_path / "work")
    assert again.equals(vorn_ulo.new_words(texts[1], library=library))
    # No candidate at all (English, too short, nothing): no rows, as `ulo words --out`.
    for nothing in ("the moon rose over the hills\n" * 20, "ab", []):
        empty = vorn_ulo.new_words(nothing, library=library)
        assert empty.empty and empty.dtypes.equals(frame.dtypes)
    with pytest.raises(FileNotFoundError):
        vorn_ulo.new_words(tmp_path / "missing.txt", library=library)
    # A text beside files of another encoding goes in their bytes as the engine reads them:
    # Python's Big5 gives U+2022 the bytes of the engine's U+2027, which Big5 lacks.
    big5 = tmp_path / "big5.txt"
    big5.write_bytes("天地\n".encode("big5"))
    with pytest.raises(UnicodeEncodeError, match="no form in BIG5"):
        vorn_ulo.new_words([big5, "天\u2022地"], source_encoding="BIG5", library=library)
    # A corpus where the counts go is refused, not replaced by them (as `ulo words` does).
    (tmp_path / "own").mkdir()
    (tmp_path / "own" / "candidates.txt").write_text(texts[0], encoding="utf-8")
    with pytest.raises(vorn_ulo.EngineError, match="same file"):
        vorn_ulo.new_words(str(tmp_path / "own" / "candidates.txt"), source_encoding="UTF-8",
                           workdir=tmp_path / "own", library=library)
    assert (tmp_path / "own" / "candidates.txt").read_text(encoding="utf-8") == texts[0]
    with pytest.raises(vorn_ulo.EngineError, match="max_length"):
        vorn_ulo.new_words(texts, max_length=1, library=library)


def test_defaults_are_the_engines_table(engine):
    table = {name: default for name, default, _ in engine.describe("words")}
    parameters = inspect.signature(vorn_ulo.new_words).parameters
    for name, default in table.items():
        assert float(parameters[name].default) == float(default), name
