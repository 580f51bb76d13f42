"""The corpus job's Python contenders: the pairs of every token with the next
five tokens of its line, counted in both directions, written as a merged
pair-count file ("word1 TAB word2 TAB count", sorted by word1, then word2).

    python3 corpus_pairs.py nltk|counter CORPUS OUT

nltk:    NLTK's BigramCollocationFinder.from_words on each line with
         window_size=6 (a token and the five after it), the finders' pair
         counts aggregated, both directions added up.
counter: collections.Counter over the same windows.
"""
import sys
from collections import Counter

WINDOW = 5


def nltk_counts(lines):
    from nltk.collocations import BigramCollocationFinder

    total = Counter()
    for line in lines:
        words = line.split()
        if len(words) > 1:
            total.update(BigramCollocationFinder.from_words(words, window_size=WINDOW + 1).ngram_fd)
    return total


def counter_counts(lines):
    total = Counter()
    for line in lines:
        words = line.split()
        for distance in range(1, WINDOW + 1):
            total.update(zip(words, words[distance:]))
    return total


def main():
    mode, corpus, out = sys.argv[1:4]
    with open(corpus, encoding="ascii") as f:
        one_way = (nltk_counts if mode == "nltk" else counter_counts)(f)
    both = Counter(one_way)
    both.update({(b, a): n for (a, b), n in one_way.items()})
    # The words are [a-z]+: their order as strings is their byte order.
    with open(out, "w", encoding="ascii", newline="\n") as f:
        f.writelines("%s\t%s\t%d\n" % (a, b, n) for (a, b), n in sorted(both.items()))


if __name__ == "__main__":
    main()
