#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/text/encoding.h"
#include "engine/text/filter.h"
#include "engine/text/tokenizer.h"
#include "test_support.h"

namespace ulo::engine {
namespace {

std::vector<std::string> Tokens(const std::string& line, TokenMode mode) {
  std::vector<std::string_view> views;
  Tokenize(line, mode, &views);
  return std::vector<std::string>(views.begin(), views.end());
}

// The white space and four-byte characters of other scripts
// host_unicode_matches_python holds to Python's split.
TEST(TokenizeTest, Words) {
  EXPECT_EQ(Tokens("  a bb\tc\r\n", TokenMode::kWords), (std::vector<std::string>{"a", "bb", "c"}));
  // The ideographic space separates; a GBK trail byte that looks like ASCII
  // stays with its lead byte, but a blank is never a trail byte.
  EXPECT_EQ(Tokens("\xD4\xC2\xA1\xA1\xC9\xBD \x81\x41x \x81 y", TokenMode::kWords),
            (std::vector<std::string>{"\xD4\xC2", "\xC9\xBD", "\x81\x41x", "\x81", "y"}));
  EXPECT_TRUE(Tokens("", TokenMode::kWords).empty());
  // A byte-order mark (84 31 95 33) opening the text is no part of its word.
  EXPECT_EQ(Tokens("\x84\x31\x95\x33"
                   "alpha beta",
                   TokenMode::kWords),
            (std::vector<std::string>{"alpha", "beta"}));
}

TEST(TokenizeTest, CharactersAreLettersAndIdeographsOfAnyScript) {
  // Which characters are letters host_unicode_matches_python holds to
  // Python's categories; a cut byte is none.
  EXPECT_EQ(Tokens("x\xB9", TokenMode::kChars), (std::vector<std::string>{"x"}));
  // Terminal colour codes are no text.
  EXPECT_EQ(Tokens("\x1B[32m\xD4\xC2\x1B[m", TokenMode::kChars),
            (std::vector<std::string>{"\xD4\xC2"}));
  // A combining acute (81 30 BC 37 is U+0301) stays with its letter.
  EXPECT_EQ(Tokens("e\x81\x30\xBC\x37!", TokenMode::kChars),
            (std::vector<std::string>{"e\x81\x30\xBC\x37"}));
  // A zero-width space (81 36 A4 37) or a soft hyphen (81 30 85 32) varies
  // no letter: 中 stays 中.
  EXPECT_EQ(Tokens("\xD6\xD0\x81\x36\xA4\x37\xCE\xC4\xD6\xD0\x81\x30\x85\x32", TokenMode::kChars),
            (std::vector<std::string>{"\xD6\xD0", "\xCE\xC4", "\xD6\xD0"}));
}

TEST(ConverterTest, KeepsEveryCharacterInTheLibraryEncoding) {
  Converter converter;
  std::string error;
  ASSERT_TRUE(converter.Open("UTF-8", kLibraryEncoding, &error)) << error;
  std::string out;
  // month, U+1F600, an invalid byte, an encoded surrogate (no character, not
  // one GB18030 lacks), bright: GB2312's bytes stay as they were.
  converter.Convert("\xE6\x9C\x88\xF0\x9F\x98\x80\xFF\xED\xA0\x80\xE6\x98\x8E", &out);
  EXPECT_EQ(out, "\xD4\xC2\x94\x39\xFC\x36\xC3\xF7");
  EXPECT_EQ(converter.unrepresentable(), 0u);
  EXPECT_EQ(converter.invalid(), 4u);
  // Read --from GB2312, the middle dot and the dash (A1 A4, A1 AA) stay
  // themselves, not iconv's GB2312 code points in GB18030.
  Converter gb2312;
  std::string problem;
  ASSERT_TRUE(gb2312.Open("EUC-CN", kLibraryEncoding, &error)) << error;
  EXPECT_TRUE(ConvertWhole(gb2312, "EUC-CN", "\xA1\xA4\xA1\xAA\n", &out, &problem)) << problem;
  EXPECT_EQ(out, "\xA1\xA4\xA1\xAA\n");
  EXPECT_FALSE(ConvertWhole(gb2312, "EUC-CN", "\x81\x40", &out, &problem));  // GBK's, not GB2312's
  // Written in GB2312 (an export, Python's encode_source), they are its A1 A4
  // and A1 AA, and the katakana middle dot it lacks is no middle dot.
  Converter written;
  ASSERT_TRUE(written.Open("UTF-8", "GB2312", &error)) << error;
  written.MarkUnrepresentable("?");
  out.clear();
  // Beside them, ASCII stays, an invalid byte goes and U+1F600 is lacked.
  written.Convert(
      "\xC2\xB7\xE2\x80\x94\xE3\x83\xBB"
      "a\xFF\xF0\x9F\x98\x80z",
      &out);
  EXPECT_EQ(out, "\xA1\xA4\xA1\xAA?a?z");
  EXPECT_EQ(written.firstUnrepresentable(), 5u);
  EXPECT_EQ(written.invalid(), 1u);
}

// What each use asks of an encoding: words read back as written, words
// written for people (ASCII kept one way), corpora read (LF kept).
TEST(EncodingRuleTest, EachUseAsksItsOwn) {
  struct Case {
    const char* name;
    bool words, shown, corpus;
  } cases[] = {
      {"UTF-8", true, true, true},      {"EUC-CN", true, true, true},
      {"SHIFT_JIS", false, true, true},  // 0x5C reads back as the yen sign
      {"UTF-16", false, false, false},  {"no-such-encoding", false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WordsEncodingProblem(c.name).empty(), c.words) << c.name;
    EXPECT_EQ(OutputEncodingProblem(c.name).empty(), c.shown) << c.name;
    EXPECT_EQ(SourceEncodingProblem(c.name).empty(), c.corpus) << c.name;
  }
}

// What it shows as '?' and the words it takes whole, EncodingOutputTest's
// latin1 ranking and UloTest's words typed for show check.
TEST(PeopleTextTest, RefusesACutTypedWord) {
  PeopleText text;
  std::string error, word;
  ASSERT_TRUE(text.Open("GB2312", "UTF-8", &error)) << error;
  EXPECT_FALSE(text.Take("\xE9\x80", &word));  // cut UTF-8
  // GB2312's middle dot and dash (A1 A4, A1 AA) are no characters it lacks.
  EXPECT_EQ(text.Show("\xA1\xA4\xA1\xAA"), "\xA1\xA4\xA1\xAA");
  EXPECT_EQ(text.lossyWords(), 0u);
  // Beside characters it lacks (U+0080), still: one word written lossy.
  EXPECT_EQ(text.Show("\x81\x30\x81\x30\xA1\xA4\x81\x30\x81\x30"), "?\xA1\xA4?");
  EXPECT_EQ(text.lossyWords(), 1u);
  PeopleText typed;
  ASSERT_TRUE(typed.Open("UTF-8", "EUC-CN", &error)) << error;
  EXPECT_TRUE(typed.Take("\xA1\xA4", &word));
  EXPECT_EQ(word, "\xA1\xA4");
}

// What host_unicode_matches_python holds to Python's categories (digits,
// dashes, emoji with their modifiers, kana, Traditional and accented words)
// is left to it.
TEST(PunctuationTokenTest, UnicodeCategories) {
  for (const char* symbols :
       {".", "--", "(1)", "\xA3\xAC" /* full-width comma */, "\xA1\xA3" /* ideographic full stop */,
        "\xA2\xF1" /* circled one */, "\xA9\xA4" /* box drawing */, "\xA1\xB0\x2E\xA1\xB1",
        "\xA1\xAD\xA1\xAD" /* two ellipses */, "\xA1\xE3" /* degree */,
        "\xA9\x96" /* ideographic zero */}) {
    EXPECT_TRUE(IsPunctuationToken(symbols)) << symbols;
  }
  for (const char* words :
       {"", "a.", "-h", "x2", "\xA3\xC1" /* full-width A */, "\xA3\xFA" /* full-width z */,
        "\xA6\xC1" /* Greek */, "\xA7\xA1" /* Cyrillic */, "\xA8\xA1" /* pinyin */,
        "\xA1" /* a cut byte */, "\x84\x31\x82\x35" /* a lone variation selector */}) {
    EXPECT_FALSE(IsPunctuationToken(words)) << words;
  }
}

// Python's gb2312 codec judges the rest in host_unicode_matches_python.
TEST(Gb2312FormTest, GbkAdditionsInGb2312RowsHaveNone) {
  EXPECT_FALSE(HasGb2312Form("\xA2\xA1"));  // a small Roman numeral GBK added to row 2
}

TEST(TokenFilterTest, ListsFilesAndPunctuation) {
  ulo::testing::TempDir dir;
  // 进程 in UTF-8 after a byte-order mark, with a CR LF line end, a blank
  // line, "Foo", 種 (B7 4E), 守护 between an ideographic and a no-break
  // space; Traditional 們的 (82 83 B5 C4), beyond GB2312.
  ulo::testing::WriteFile(dir.Path("stop.txt"),
                          "\xEF\xBB\xBF\xE8\xBF\x9B\xE7\xA8\x8B\r\n\nFoo\n\xE7\xA8\xAE\n"
                          "\xE3\x80\x80\xE5\xAE\x88\xE6\x8A\xA4\xC2\xA0\n");
  ulo::testing::WriteFile(dir.Path("zh-hant.txt"), "\xE5\x80\x91\xE7\x9A\x84\n");
  FilterOptions lists, file, traditional;
  lists.defaultStopwords = lists.dropPunctuation = true;
  file.stopwordFiles = {dir.Path("stop.txt")};
  traditional.stopwordFiles = {dir.Path("zh-hant.txt")};
  const struct {
    const char* what;
    const FilterOptions& options;
    const char* line;
    std::vector<std::string> kept;
    uint64_t stopwords, punctuation;
  } cases[] = {
      // 的 (B5 C4) and "The" (any case) go, so do the comma and "42";
      // 守护 进程 (daemon process) and "daemon" stay.
      {"ulo's lists",
       lists,
       "The \xCA\xD8\xBB\xA4 \xB5\xC4 \xBD\xF8\xB3\xCC \xA3\xAC daemon 42",
       {"\xCA\xD8\xBB\xA4", "\xBD\xF8\xB3\xCC", "daemon"},
       2,
       2},
      // 穘 (B7 6E) is no 種 (B7 4E): case is ASCII's, not a trail byte's.
      {"a UTF-8 file",
       file,
       "\xBD\xF8\xB3\xCC foo the \xB7\x4E \xB7\x6E \xCA\xD8\xBB\xA4",
       {"the", "\xB7\x6E"},
       4,
       0},
      // Cut to what GB2312 has, the stop word would drop another word.
      {"a word beyond GB2312 kept whole",
       traditional,
       "\xB5\xC4 \x82\x83\xB5\xC4",
       {"\xB5\xC4"},
       1,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TokenFilter filter;
    std::string error;
    ASSERT_TRUE(filter.Open(c.options, "UTF-8", &error)) << error;
    std::vector<std::string_view> tokens;
    Tokenize(c.line, TokenMode::kWords, &tokens);
    filter.Apply(&tokens);
    EXPECT_EQ(std::vector<std::string>(tokens.begin(), tokens.end()), c.kept);
    EXPECT_EQ(filter.stopwordsDropped(), c.stopwords);
    EXPECT_EQ(filter.punctuationDropped(), c.punctuation);
  }
}

}  // namespace
}  // namespace ulo::engine
