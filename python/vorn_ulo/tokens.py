"""Tokens of GB2312 lines, and the filters that keep stop words and punctuation out.

The tokenizers work on the library's bytes, as the `ulo` host does, so that a corpus counted
here gives the same pairs as `ulo count` on the same text.
"""

import re
import string
from importlib import resources

# Words: runs of bytes between white space (ASCII blanks, NUL) and the ideographic space
# A1 A1, double-byte characters kept whole. Every byte of a line is matched by one of the two
# alternatives, so the scan never lands inside a character.
_WORDS = re.compile(
    rb"(?:[ \t\n\r\v\f\x00]|\xa1\xa1)+"
    rb"|((?:(?!\xa1\xa1)(?:[\x81-\xff][\x40-\xff]|[^ \t\n\r\v\f\x00]))+)"
)

# Characters: every GB2312 Chinese character (lead bytes B0-F7); ASCII, punctuation and
# symbols are stepped over, double-byte ones two bytes at a time.
_CHARS = re.compile(rb"[\x00-\x80]|([\xb0-\xf7][\xa1-\xfe])|[\x81-\xff][\x00-\xff]|[\x81-\xff]")


def word_tokens(line):
    """The white-space separated tokens of a GB2312 byte line."""
    return [token for token in _WORDS.findall(line) if token]


def char_tokens(line):
    """The GB2312 Chinese characters of a byte line, one token each."""
    return [token for token in _CHARS.findall(line) if token]


# Punctuation, symbols and digits, as ulo's filter takes them: ASCII ones, and the
# non-letters of GB2312 rows 1 to 9 (rows 1, 2 and 9 whole, row 3 but for its full-width Latin
# letters); the letters of rows 3 to 8 and every Chinese character are words.
_PUNCTUATION = re.compile(
    rb"(?:[" + re.escape((string.punctuation + string.digits).encode()) + rb"]"
    rb"|[\xa1\xa2\xa9][\xa1-\xfe]|\xa3[\xa1-\xc0\xdb-\xe0\xfb-\xfe])+"
)


def is_punctuation(token):
    """Whether a byte token is made only of punctuation, symbols or digits."""
    return _PUNCTUATION.fullmatch(token) is not None


STOPWORD_LANGUAGES = ("zh", "en")


def default_stopwords(languages=STOPWORD_LANGUAGES):
    """The package's stop-word lists (copies of ulo's: UTF-8, one word a line) as one set of
    GB2312 bytes."""
    words = set()
    for language in languages:
        data = resources.files(__package__).joinpath(f"stopwords/{language}.txt").read_bytes()
        words.update(_stopword_lines(data.decode("utf-8").encode("gb2312")))
    return words


def _stopword_lines(data):
    """The words of a list, one a line, blanks around them dropped, ASCII letters folded to
    lower case as the filter compares them."""
    words = set()
    for line in data.split(b"\n"):
        word = line.rstrip(b"\r \t").lstrip(b" \t")
        if word:
            words.add(word.lower())  # bytes.lower folds ASCII letters only
    return words


def load_stopwords_text(data):
    """The words of a stop-word list given as GB2312 bytes or as a str."""
    if isinstance(data, str):
        data = data.encode("gb2312", "ignore")
    return _stopword_lines(data)


def load_stopwords(path, source_encoding=None):
    """A stop-word file (one word a line, in the corpus's encoding) as a set of GB2312 bytes;
    words without a GB2312 form lose those characters, as the corpus does."""
    with open(path, "rb") as file:
        data = file.read()
    if source_encoding and source_encoding.lower().replace("-", "") not in ("gb2312", "euccn"):
        data = data.decode(source_encoding, "ignore").encode("gb2312", "ignore")
    return _stopword_lines(data)


class TokenFilter:
    """Drops punctuation (optionally) and stop words (ASCII letters in any case); counts what
    each drops."""

    # Tokens repeat: each one's verdict (0 keep, 1 stop word, 2 punctuation) is kept, up to
    # a bound, so that most tokens cost one look-up.
    VERDICTS = 1 << 20

    def __init__(self, stopwords=frozenset(), drop_punctuation=False):
        self.stopwords = frozenset(word.lower() for word in stopwords)
        self.drop_punctuation = drop_punctuation
        self.dropped_stopwords = 0
        self.dropped_punctuation = 0
        self.verdicts = {}

    @property
    def active(self):
        return bool(self.stopwords) or self.drop_punctuation

    def _verdict(self, token):
        if self.drop_punctuation and is_punctuation(token):
            verdict = 2
        elif token.lower() in self.stopwords:
            verdict = 1
        else:
            verdict = 0
        if len(self.verdicts) < self.VERDICTS:
            self.verdicts[token] = verdict
        return verdict

    def __call__(self, tokens):
        if not self.active:
            return tokens
        verdicts = self.verdicts
        kept = []
        for token in tokens:
            verdict = verdicts.get(token)
            if verdict is None:
                verdict = self._verdict(token)
            if verdict == 0:
                kept.append(token)
            elif verdict == 1:
                self.dropped_stopwords += 1
            else:
                self.dropped_punctuation += 1
        return kept
