#include "text/find_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ulo::text {
namespace {

std::vector<int32_t> TableFor(const std::string& pattern) {
  BuildNextTable(pattern.c_str(), static_cast<int32_t>(pattern.size()), NextTable);
  return std::vector<int32_t>(NextTable, NextTable + pattern.size() + 1);
}

TEST(BuildNextTableTest, KnownTables) {
  EXPECT_EQ(TableFor("abab"), (std::vector<int32_t>{-1, 0, -1, 0, 2}));
  EXPECT_EQ(TableFor("aaaa"), (std::vector<int32_t>{-1, -1, -1, -1, 3}));
  EXPECT_EQ(TableFor("abcabd"), (std::vector<int32_t>{-1, 0, 0, -1, 0, 2, 0}));
  EXPECT_EQ(TableFor("\t"), (std::vector<int32_t>{-1, 0}));
}

TEST(BuildNextTableTest, ReturnsLongestBorder) {
  EXPECT_EQ(BuildNextTable("abab", 4, NextTable), 2);
  EXPECT_EQ(BuildNextTable("aaaa", 4, NextTable), 3);
  EXPECT_EQ(BuildNextTable("abc", 3, NextTable), 0);
}

TEST(FindTextTest, SearchesLikeAPlainLeftmostSearch) {
  struct Case {
    const char* pattern;
    const char* text;
    int32_t start;
    int32_t expected;
  } cases[] = {
      {"\t", "a\tb", 0, 1},
      {"\t", "ab", 0, -1},
      {"\t", "", 0, -1},
      {"ab", "xxab", 2, 2},   // an index into the whole text
      {"ab", "xxab", 3, -1},  // one byte left, shorter than the pattern
      {"ab", "xxab", 4, -1},  // start at the end
      {"aa", "aaaa", 0, 0},
      {"abcabd", "abcabcabd", 0, 3},
      {"\xB0\xA1", "\xB0\xA2\xB0\xA1", 0, 2},
      {"\t", "a\tb\tc", 2, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindText(c.pattern, c.text, c.start), c.expected)
        << "pattern '" << c.pattern << "' text '" << c.text << "' start " << c.start;
  }
}

TEST(FindTextTest, RefusedArguments) {
  EXPECT_EQ(FindText(nullptr, "abc", 0), -1);
  EXPECT_EQ(FindText("a", nullptr, 0), -1);
  EXPECT_EQ(FindText("", "abc", 0), -1);
  std::string longest(1023, 'x');
  std::string tooLong(1024, 'x');
  EXPECT_EQ(FindText(longest.c_str(), ("y" + longest).c_str(), 0), 1);
  EXPECT_EQ(FindText(tooLong.c_str(), tooLong.c_str(), 0), -1);
}

TEST(FindTextTest, ViewsNeedNoTerminator) {
  std::string text = "a\tb\tc";
  EXPECT_EQ(FindText("\t", std::string_view(text.data(), 1), 0), -1);
  EXPECT_EQ(FindText("\t", std::string_view(text.data(), 2), 0), 1);
}

TEST(StripTrailingCharTest, RemovesOnlyTheFinalRun) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"12\n\n", "12"},   {"12\r\n", "12\r"}, {"\n\n\n", ""}, {"a\nb", "a\nb"},
      {"a\n \n", "a\n "}, {"", ""},           {"abc", "abc"},
  };
  for (const Case& c : cases) {
    std::string buffer = c.in;
    EXPECT_EQ(StripTrailingChar(buffer.data(), '\n'), 0);
    EXPECT_EQ(std::string(buffer.c_str()), c.out);
    EXPECT_EQ(StripTrailingChar(std::string_view(c.in), '\n'), c.out);
  }
}

}  // namespace
}  // namespace ulo::text
