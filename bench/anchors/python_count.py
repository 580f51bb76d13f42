"""The Python package's count_corpus, one process, for the corpus jobs (python/ on
PYTHONPATH); or jieba alone over the same lines, the floor of a jieba count.

    python3 python_count.py count TOKENIZER WINDOW CORPUS WORK OUT [ENCODING]
    python3 python_count.py jieba CORPUS OUT
"""
import os
import shutil
import sys


def main():
    if sys.argv[1] == "jieba":
        import jieba

        jieba.setLogLevel(60)
        corpus, out = sys.argv[2:4]
        tokens = 0
        with open(corpus, encoding="utf-8") as lines:
            for line in lines:
                tokens += len(jieba.lcut(line.rstrip("\r\n")))
        with open(out, "w") as file:
            file.write("%d\n" % tokens)
        return
    import vorn_ulo

    tokenizer, window, corpus, work, out = sys.argv[2:7]
    encoding = sys.argv[7] if len(sys.argv) > 7 else ""
    shutil.rmtree(work, ignore_errors=True)
    pairs = vorn_ulo.count_corpus(corpus, work, tokenizer=tokenizer, window=int(window),
                                  source_encoding=encoding, jobs=1,
                                  stopwords="none", drop_punctuation=False)
    os.replace(pairs, out)


if __name__ == "__main__":
    main()
