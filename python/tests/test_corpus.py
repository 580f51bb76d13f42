"""count_corpus and count_texts: the same merged bytes as `ulo count` + `ulo merge` for every
tokenizer and filter, one set of defaults, the traps of paths and bad input, and a count killed
at any moment, which leaves WORKDIR/pairs.txt whole or absent, never cut."""

import inspect
import os
import re
import signal
import subprocess
import sys
import time

import pytest

import vorn_ulo
from conftest import PROJECT, PYTHON_DIR, run_ulo
from vorn_ulo.corpus import CountOptions, _segment_lines

STOPWORDS = "moon\n山水\n"


def ulo_flags(options, stopword_file):
    flags = ["--window", options.get("window", 3), "--from", "UTF-8", "--jobs", 1]
    flags += ["--one-way"] if options.get("one_way") else []
    flags += ["--chars"] if options.get("tokenizer") == "chars" else []
    flags += ["--encoding", options["encoding"]] if "encoding" in options else []
    flags += ["--default-stopwords" if options.get("stopwords", "default") == "default"
              else "--no-default-stopwords"]
    flags += ["--drop-punctuation" if options.get("drop_punctuation", True)
              else "--keep-punctuation"]
    flags += ["--stopwords", stopword_file] if options.get("stopword_files") else []
    return flags


def ulo_pairs(ulo, corpus, out, flags):
    out.mkdir(parents=True, exist_ok=True)  # ulo count makes the work directory, not its parent
    run_ulo(ulo, "count", corpus, "--work", out / "spill", *flags)
    run_ulo(ulo, "merge", out / "spill", out / "pairs.txt")
    return (out / "pairs.txt").read_bytes()


def segmented(corpus, path):
    """The corpus cut into words by jieba, blank-separated, as ulo reads such a file."""
    import jieba

    jieba.setLogLevel(60)
    with open(corpus, encoding="utf-8") as source, open(path, "w", encoding="utf-8") as out:
        for line in source:
            out.write(" ".join(jieba.lcut(line.rstrip("\n"))) + "\n")
    return path


# The engine's count rules are checked on the ulo side; here each option once, and the
# tokenizers of this package.
@pytest.mark.parametrize("options", [
    {},
    {"tokenizer": "whitespace", "stopword_files": True, "one_way": True, "window": 5,
     "drop_punctuation": False, "encoding": "gb2312"},
    {"tokenizer": "chars", "stopwords": "none", "window": 2, "jobs": 2},
    {"tokenizer": "jieba"},
    {"tokenizer": "jieba", "stopwords": "none", "drop_punctuation": False, "jobs": 2},
], ids=repr)
def test_same_merged_bytes_as_ulo(library, ulo, corpus, tmp_path, options):
    stopword_file = tmp_path / "stop.txt"
    stopword_file.write_text(STOPWORDS, encoding="utf-8")
    source = corpus
    if options.get("tokenizer") == "jieba":
        source = segmented(corpus, tmp_path / "segmented.txt")
    expected = ulo_pairs(ulo, source, tmp_path / "ulo", ulo_flags(options, stopword_file))
    ours = dict(options, jobs=options.get("jobs", 1), source_encoding="UTF-8")
    if ours.pop("stopword_files", None):
        ours["stopword_files"] = [stopword_file]
    summary = {}
    pairs = vorn_ulo.count_corpus(corpus, tmp_path / "py", summary=summary, **ours)
    assert pairs.read_bytes() == expected
    # The token counts too, whichever front-end and however many runs counted.
    assert pairs.with_name("pairs.txt.tokens").read_bytes() == \
        (tmp_path / "ulo" / "pairs.txt.tokens").read_bytes()
    assert summary["lines"] == corpus.read_bytes().count(b"\n")


def test_texts_and_callable_tokenizers(library, corpus, tmp_path):
    text = corpus.read_text(encoding="utf-8")
    from_file = vorn_ulo.count_corpus(corpus, tmp_path / "file", source_encoding="UTF-8",
                                      jobs=1)
    assert vorn_ulo.count_texts(text, tmp_path / "text").read_bytes() == \
        from_file.read_bytes()
    calls = []
    # \x1c ends no line (str.split takes it for a blank).
    pairs = vorn_ulo.count_texts(["a b\x1cc", "b c d"], tmp_path / "split", window=1,
                                 tokenizer=str.split, one_way=True, stopwords="none",
                                 progress=lambda lines, pairs: calls.append((lines, pairs)))
    assert list(vorn_ulo.read_pairs(pairs)) == [("a", "b", 1), ("b", "c", 2), ("c", "d", 1)]
    assert calls and calls[-1] == (2, 4)
    # An earlier count's spill files are replaced; a file no count wrote is refused, kept.
    again = vorn_ulo.count_texts("a b", tmp_path / "split", stopwords="none")
    assert again.read_bytes() == b"a\tb\t1\nb\ta\t1\n"
    notes = tmp_path / "mine" / "spill" / "notes.txt"
    notes.parent.mkdir(parents=True)
    notes.write_text("mine")
    for tokenizer in ("whitespace", str.split):
        with pytest.raises(vorn_ulo.EngineError, match="not empty"):
            vorn_ulo.count_texts("a b", tmp_path / "mine", tokenizer=tokenizer)
    assert notes.read_text() == "mine"
    # Bytes no tokenizer can read are refused by their line, a Python one's too. Either
    # reads a source encoding as the engine does: GB2312's middle dot (A1 A4) stays itself,
    # Big5's A1 45 is U+2027 (Python's codec says U+2022); and the stop words of str texts
    # in UTF-8, as the texts are.
    stop = tmp_path / "stop.txt"
    stop.write_text(STOPWORDS, encoding="utf-8")
    for tokenizer in ("whitespace", str.split):
        kept = vorn_ulo.count_texts("山水 苹果 香蕉", tmp_path / "stopped", stopword_files=[stop],
                                    tokenizer=tokenizer)
        assert {row[0] for row in vorn_ulo.read_pairs(kept)} == {"苹果", "香蕉"}, tokenizer
        with pytest.raises(vorn_ulo.EngineError, match=r"<text 1>\D+3\b"):
            vorn_ulo.count_texts(UNDECODABLE, tmp_path / "undecodable", tokenizer=tokenizer)
        counted = {}  # a blank last line is a line
        vorn_ulo.count_texts(b"a b\n\n", tmp_path / "blank", tokenizer=tokenizer, summary=counted)
        assert counted["lines"] == 2, tokenizer
        for encoding, text, word in (
                ("GB2312", b"\xc2\xed\xbf\xcb\xa1\xa4\xcd\xc2\xce\xc2 \xd0\xa1", "马克\u00b7吐温"),
                ("BIG5", b"a\xa1\x45b c", "a\u2027b"),
                # A line read from the encoding's first state, whatever the line before left.
                ("ISO-2022-JP", b"\x1b$BF|\nab cd\n", "ab")):
            pairs = vorn_ulo.count_texts(text, tmp_path / encoding, source_encoding=encoding,
                                         tokenizer=tokenizer)
            assert next(vorn_ulo.read_pairs(pairs))[0] == word, (encoding, tokenizer)
    with pytest.raises(vorn_ulo.EngineError, match=r"<text 1>\D+3001\b.*longer"):
        vorn_ulo.count_texts(LONG.decode(), tmp_path / "long",
                             tokenizer=lambda line: line.split()[:2])
    # A corpus saved with a byte-order mark: the mark is no part of its first word.
    bom = tmp_path / "bom.txt"
    bom.write_bytes(b"\xef\xbb\xbfa b\n")
    for name, tokenizer in (("engine", "whitespace"), ("callable", str.split)):
        counted = vorn_ulo.count_corpus(bom, tmp_path / name, tokenizer=tokenizer, jobs=1,
                                        source_encoding="UTF-8", stopwords="none")
        assert counted.read_bytes() == b"a\tb\t1\nb\ta\t1\n", name


def test_defaults_are_the_engines_table(engine):
    """The signatures' defaults, the engine's table and the docs' table agree, and the
    package writes and reads the library's files in the engine's default encoding."""
    table = {name: default for name, default, _ in engine.describe("count")}
    docs = (PROJECT / "docs" / "python.md").read_text(encoding="utf-8")
    documented = dict(re.findall(r"^\| `(\w+)` \| `([^`]*)` \|", docs, re.M))
    assert documented == table
    for function in (vorn_ulo.count_corpus, vorn_ulo.count_texts):
        parameters = inspect.signature(function).parameters
        for name, default in table.items():
            python = "stopword_files" if name == "stopword_file" else name
            if python not in parameters and python in ("per_pair_commands", "jobs"):
                continue  # ulo's knob; texts are counted in this process
            value = parameters[python].default
            value = "" if value == () else vorn_ulo.engine.option_text(value)
            assert value == default, (function.__name__, name)
    assert vorn_ulo.encoding.DEFAULT_ENCODING == table["encoding"]


def test_a_path_is_never_taken_for_text(library, tmp_path):
    for tokenizer in ("whitespace", "jieba"):
        with pytest.raises(FileNotFoundError, match="typo.txt"):
            vorn_ulo.count_corpus("typo.txt", tmp_path, tokenizer=tokenizer)
    assert not (tmp_path / "pairs.txt").exists()


BINARY = b"one two\nthree\0four\n" * 3
UNDECODABLE = b"one two\nthree four\n\xff\xfe five\n"  # line 3
LONG = b"one two\n" * 3000 + b"x " * (1 << 20) + b"\nthree four\n"  # line 3001, 2 MiB


# The engine's refusals are checked on the ulo side; here one comes through, and the
# tokenizers that read in Python refuse alike.
@pytest.mark.parametrize("tokenizer, data, problem, jobs", [
    ("whitespace", UNDECODABLE, r"bad\.txt\D+3\b", 1),
    ("jieba", BINARY, "binary", 1),
    ("jieba", UNDECODABLE, r"bad\.txt\D+3\b", 1),
    # In the second share: named by its line in the file.
    (str.split, LONG, r"bad\.txt\D+3001\b.*longer", 2),
    # A tokenizer that keeps few of its tokens would pass the token lines' check.
    (lambda line: line.split()[:2], LONG, r"bad\.txt\D+3001\b.*longer", 1),
    # A lambda goes to forked workers unpickled; one that dies fails the count, never hangs.
    (lambda line: os.kill(os.getpid(), 9) if "three" in line else line.split(),
     b"one two\n" * 3000 + b"three four\n", "ended before its share", 2),
], ids=["undecodable", "binary-jieba", "undecodable-jieba", "long-callable", "long-few-tokens",
        "killed-lambda"])
def test_bad_input_is_refused_by_name(library, tmp_path, tokenizer, data, problem, jobs):
    bad = tmp_path / "bad.txt"
    bad.write_bytes(data)
    (tmp_path / "work").mkdir()
    (tmp_path / "work" / "pairs.txt").write_bytes(b"a\tb\t1\n")  # an earlier result
    with pytest.raises(vorn_ulo.VornULOError, match=problem):
        vorn_ulo.count_corpus(bad, tmp_path / "work", tokenizer=tokenizer, jobs=jobs)
    assert (tmp_path / "work" / "pairs.txt").read_bytes() == b"a\tb\t1\n"


@pytest.mark.parametrize("tokenizer", ["whitespace", str.split])
def test_a_pipe_is_counted_whole_and_progress_can_stop_a_count(library, corpus, tmp_path,
                                                               tokenizer):
    count = lambda path, out, **more: vorn_ulo.count_corpus(  # noqa: E731
        path, tmp_path / out, source_encoding="UTF-8", tokenizer=tokenizer, jobs=1, **more)
    # Another process writes: a worker forked here would hold a writing end open.
    with subprocess.Popen(["cat", str(corpus)], stdout=subprocess.PIPE) as writer:
        piped = count(f"/dev/fd/{writer.stdout.fileno()}", "pipe").read_bytes()
    assert piped == count(corpus, "file").read_bytes()

    def interrupt(lines, pairs):
        raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):  # an error in the callback is not lost in C
        count(corpus, "stopped", progress=interrupt)
    assert not (tmp_path / "stopped" / "pairs.txt").exists()


def test_a_share_its_file_no_longer_holds_fails(engine, tmp_path):
    # The file shrank after it was shared out: its lines would be counted short.
    path = tmp_path / "c.txt"
    path.write_bytes(b"one two\nthree four\n")
    lines = _segment_lines(engine, str(path), 8, 40, CountOptions(), 2)
    with pytest.raises(vorn_ulo.VornULOError, match=r"c\.txt shrank .*\(21 bytes missing\)"):
        list(lines)


# Imports, says so, then counts when told to: the kills fall in the count alone.
CHILD = """
import sys
sys.path.insert(0, sys.argv[1])
import vorn_ulo
print("ready", flush=True)
sys.stdin.readline()
vorn_ulo.count_corpus(sys.argv[2], sys.argv[3], source_encoding="UTF-8", jobs=1, window=8)
"""


def start(big, work):
    child = subprocess.Popen([sys.executable, "-c", CHILD, str(PYTHON_DIR), str(big), str(work)],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
    assert child.stdout.readline() == "ready\n"
    child.stdin.write("go\n")
    child.stdin.flush()
    return child, time.monotonic()


def test_a_killed_count_leaves_no_cut_pairs_file(library, corpus, tmp_path):
    big = tmp_path / "big.txt"
    big.write_bytes(corpus.read_bytes() * 40)
    whole = vorn_ulo.count_corpus(big, tmp_path / "whole", source_encoding="UTF-8", jobs=1,
                                  window=8).read_bytes()
    child, started = start(big, tmp_path / "timed")
    child.wait(timeout=300)
    took = time.monotonic() - started
    # A few kills spread over the count, the merge and the final rename: what the engine
    # stages, killed anywhere, ulo's own kill tests check.
    for step in range(1, 5):
        work = tmp_path / f"kill{step}"
        child, started = start(big, work)
        time.sleep(max(0.0, started + took * step / 4 - time.monotonic()))
        os.kill(child.pid, signal.SIGKILL)
        child.wait(timeout=60)
        pairs = work / "pairs.txt"
        if pairs.exists():
            assert pairs.read_bytes() == whole, f"a cut pairs.txt after a kill at {step}/4"
