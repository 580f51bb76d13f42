#include "assoc/pair_scanner.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/cut_lines.h"
#include "support/test_support.h"

namespace ulo::assoc {
namespace {

using oracle::CutLine;
using oracle::CutResult;

std::vector<CutLine> Scanned(const std::string& path, const text::FieldLimits& limits,
                             size_t blockSize = PairScanner::kDefaultBlockSize) {
  std::vector<CutLine> cuts;
  auto scanner = PairScanner::Open(path.c_str(), limits, blockSize);
  text::PairFields fields;
  std::string_view line;
  while (scanner->Next(&fields, &line)) {
    cuts.push_back({std::string(line), std::string(fields.word1), std::string(fields.word2),
                    std::string(fields.rest)});
  }
  EXPECT_FALSE(scanner->readFailed());
  return cuts;
}

TEST(PairScannerTest, CutsAsTheLineReaderAndFieldCutDo) {
  testing::TempDir dir;
  const std::string path = dir.Path("in.txt");
  // Bytes that matter and some that do not, long runs of a letter so that
  // some lines exceed the limits.
  const char alphabet[] = {'a', 'b', '\t', '\t', '\n', '\r', '\0', '\xB0', '5', ' '};
  std::mt19937 random(2024);
  for (int round = 0; round < 300; ++round) {
    std::string input;
    size_t length = random() % 3000;
    while (input.size() < length) {
      if (random() % 40 == 0) {
        input.append(random() % 90, 'w');
      } else {
        input.push_back(alphabet[random() % sizeof alphabet]);
      }
    }
    testing::WriteFile(path, input);
    const text::FieldLimits limits{10 + random() % 60, random() % 20, random() % 20};
    const size_t blockSize = 1 + random() % 300;
    ASSERT_EQ(Scanned(path, limits, blockSize), oracle::CutLines(input, limits))
        << "round " << round << " block " << blockSize << " limits " << limits.maxLine << " "
        << limits.maxWord << " " << limits.maxRest << " input " << ::testing::PrintToString(input);
  }
}

// A line alone in a file, as the scanner takes it: cut into the case's
// fields, or skipped (both kNoTabs and kTooLong); the plain cut agrees.
struct CutCase {
  std::string line;
  CutResult result;
  std::string word1 = "";
  std::string word2 = "";
  std::string rest = "";
};

TEST(FieldCutTest, SplitsAtTheFirstTwoTabsWithinTheLimits) {
  const auto& limits = text::kFilterLimits;
  const std::string rest126(126, '7');
  const CutCase cases[] = {
      {"a\tb\t12\n", CutResult::kCut, "a", "b", "12"},
      {"a\t\t5\n", CutResult::kCut, "a", "", "5"},
      {"a\tb\t\n", CutResult::kCut, "a", "b", ""},
      {"a\tb\t7\tx\n", CutResult::kCut, "a", "b", "7\tx"},
      {"a\tb\t9", CutResult::kCut, "a", "b", "9"},      // last line without LF
      {"a\tb\t9\r", CutResult::kCut, "a", "b", "9\r"},  // a lone CR stays
      {"\xBC\xD7\t\xD2\xD2\t-3\n", CutResult::kCut, "\xBC\xD7", "\xD2\xD2", "-3"},
      {"a\tb\n", CutResult::kNoTabs},
      {"ab\n", CutResult::kNoTabs},
      {"\n", CutResult::kNoTabs},
      {"", CutResult::kNoTabs},
      // A NUL ends the line.
      {std::string("a\0\tb\t1\n", 7), CutResult::kNoTabs},
      {std::string("a\tb\t1\0\t2\n", 9), CutResult::kCut, "a", "b", "1"},
      // Fields at and past each reader's limits, its own tests show; the LF
      // counts in the rest: 127 bytes without it still fit when it is missing.
      {"a\tb\t" + rest126 + "7", CutResult::kCut, "a", "b", rest126 + "7"},
  };
  testing::TempDir dir;
  for (const CutCase& c : cases) {
    SCOPED_TRACE("line: " + c.line);
    testing::WriteFile(dir.Path("in.txt"), c.line);
    std::vector<CutLine> cuts = Scanned(dir.Path("in.txt"), limits);
    text::PairFields fields;
    EXPECT_EQ(oracle::CutPairLine(c.line, limits, &fields), c.result);
    if (c.result != CutResult::kCut) {
      EXPECT_TRUE(cuts.empty());
      continue;
    }
    ASSERT_EQ(cuts.size(), 1u);
    EXPECT_EQ(cuts[0].word1, c.word1);
    EXPECT_EQ(cuts[0].word2, c.word2);
    EXPECT_EQ(cuts[0].rest, c.rest);
  }
}

}  // namespace
}  // namespace ulo::assoc
