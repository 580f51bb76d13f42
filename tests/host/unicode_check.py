#!/usr/bin/python3
"""Checks that ulo keeps every character, against Python's own codecs.

usage: unicode_check.py ULO WORKDIR

A corpus of Simplified and Traditional Chinese, Japanese, accented Latin,
emoji and Chinese punctuation is counted by ulo; each pair file, decoded
with Python's gb18030 codec, must equal a plain Python count over the
Unicode tokens: words split at white space, --chars letters, --encoding
gb2312 and --drop-punctuation dropping whole tokens. ulo rank must write
UTF-8.
"""
import collections
import os
import shutil
import subprocess
import sys
import unicodedata

ULO, WORK = sys.argv[1], sys.argv[2]
WINDOW = 2
CORPUS = [
    "进程 管理 系统 —— 「守护 进程」……",
    "進程 管理 系統 「進程」 資訊",
    "日本語 の テキスト です 、 ひらがな カタカナ",
    "café crème brûlée naïve Ærø",
    "emoji 😀 👍🏽 ❤️ 心 ok",
    "他说——「你好」……再见 １２３ 42 ——",
    "進程\u3000管理\u00a0系統 進程",
]


def ulo(*args):
    done = subprocess.run([ULO, "--quiet", *args], capture_output=True)
    if done.returncode != 0:
        sys.exit("ulo %s failed: %s" % (" ".join(args), done.stderr.decode(errors="replace")))
    return done.stdout


def read_counts(pairs):
    """A merged pair file read with Python's codec."""
    counts = collections.Counter()
    with open(pairs, "rb") as f:
        for line in f:
            first, second, count = line.rstrip(b"\n").decode("gb18030").split("\t")
            counts[first, second] += int(count)
    return counts


def counted(options):
    """ulo's pair counts. Every filter is named, whatever the defaults."""
    work, pairs = os.path.join(WORK, "w"), os.path.join(WORK, "pairs.txt")
    shutil.rmtree(work, ignore_errors=True)
    flags = ["--chars"] if options.get("tokenizer") == "chars" else []
    flags += ["--encoding", options["encoding"]] if "encoding" in options else []
    flags.append("--drop-punctuation" if options.get("drop_punctuation") else
                 "--keep-punctuation")
    ulo("count", CORPUS_PATH, "--from", "UTF-8", "--work", work, "--jobs", "1",
        "--window", str(WINDOW), "--no-default-stopwords", *flags)
    ulo("merge", work, pairs)
    return read_counts(pairs)


def expected(tokens_of):
    """Every pair within the window, in both directions, as the library counts."""
    counts = collections.Counter()
    for line in CORPUS:
        tokens = tokens_of(line)
        for i, first in enumerate(tokens):
            for second in tokens[i + 1:i + 1 + WINDOW]:
                counts[first, second] += 1
                counts[second, first] += 1
    return counts


def is_letter(c):
    return unicodedata.category(c).startswith("L")


def is_punctuation(token):
    """Punctuation, symbols, numbers, and the marks and format characters that vary them."""
    kinds = [unicodedata.category(c) for c in token]
    return any(k[0] in "PSN" for k in kinds) and all(k[0] in "PSNM" or k == "Cf" for k in kinds)


def has_gb2312_form(token):
    # The bytes a GB2312 host reads, judged by Python's gb2312 codec.
    try:
        token.encode("gb18030").decode("gb2312")
        return True
    except UnicodeDecodeError:
        return False


os.makedirs(WORK, exist_ok=True)
CORPUS_PATH = os.path.join(WORK, "corpus.txt")
with open(CORPUS_PATH, "w", encoding="utf-8") as f:
    f.write("\n".join(CORPUS) + "\n")

cases = {
    "words": ({}, str.split),
    "chars": ({"tokenizer": "chars"}, lambda line: [c for c in line if is_letter(c)]),
    "gb2312": ({"encoding": "gb2312"},
               lambda line: [t for t in line.split() if has_gb2312_form(t)]),
    "punctuation": ({"drop_punctuation": True},
                    lambda line: [t for t in line.split() if not is_punctuation(t)]),
}
failures = []
for name, (options, tokens_of) in cases.items():
    want = expected(tokens_of)
    got = counted(options)
    if got != want:
        failures.append("%s: ulo only %s; Python only %s" % (
            name, sorted((got - want).items())[:5], sorted((want - got).items())[:5]))

# Every character of the corpus is in the pair file's words.
words = {w for pair in counted({}) for w in pair}
lost = set("".join(CORPUS).replace(" ", "").replace("\u3000", "").replace("\u00a0", "")) - set(
    "".join(words))
if lost:
    failures.append("characters lost: %s" % sorted(lost))

ranking = os.path.join(WORK, "rank.txt")
ulo("rank", os.path.join(WORK, "pairs.txt"), ranking)
with open(ranking, "rb") as f:
    ranked = {line.split(b"\t")[0].decode("utf-8") for line in f}
if ranked != words:
    failures.append("ulo rank's words are not the pair file's in UTF-8")

for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
