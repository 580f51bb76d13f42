"""Counts the pairs of a pair stream with collections.Counter and writes them
sorted, one "word1 TAB word2 TAB count" line each: what a counting run's
spill file holds when nothing was spilled before the end.

    python3 counter.py PAIRS OUT
"""
import sys
from collections import Counter

with open(sys.argv[1], "rb") as pairs:
    counts = Counter(pairs)
# Byte order of "word1 TAB word2 LF" is the pair order: TAB and LF sort
# before every byte of a GB2312 word.
with open(sys.argv[2], "wb") as out:
    out.writelines(line[:-1] + b"\t%d\n" % n for line, n in sorted(counts.items()))
