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

TEST(PairScannerTest, Examples) {
  testing::TempDir dir;
  const std::string path = dir.Path("in.txt");
  testing::WriteFile(path, "a\tb\t5\r\nno tabs\nc\t\td\te\n" + std::string(2000, 'x') +
                               std::string("\ty\t1\nf\tg\t2\0z\nlast\tline\t3", 24));
  auto scanner = PairScanner::Open(path.c_str(), text::kSupportLimits, 4096);
  ASSERT_NE(scanner, nullptr);
  text::PairFields fields;
  std::string_view line;
  const std::vector<CutLine> expected = {
      {"a\tb\t5\n", "a", "b", "5"},
      {"c\t\td\te\n", "c", "", "d\te"},
      {std::string("f\tg\t2\0z\n", 8), "f", "g", "2"},
      {"last\tline\t3", "last", "line", "3"},
  };
  for (const CutLine& cut : expected) {
    ASSERT_TRUE(scanner->Next(&fields, &line));
    EXPECT_EQ((CutLine{std::string(line), std::string(fields.word1), std::string(fields.word2),
                       std::string(fields.rest)}),
              cut);
  }
  EXPECT_FALSE(scanner->Next(&fields, &line));
  EXPECT_FALSE(scanner->Next(&fields, &line));
  EXPECT_EQ(PairScanner::Open(dir.Path("missing").c_str(), text::kSupportLimits), nullptr);
}

// The field cut with each reader's limits.
struct CutCase {
  std::string line;
  CutResult result;
  std::string word1 = "";
  std::string word2 = "";
  std::string rest = "";
};

// The line alone in a file, as the scanner takes it: cut into the case's
// fields, or skipped (both kNoTabs and kTooLong); the plain cut agrees.
void ExpectCut(const CutCase& c, const text::FieldLimits& limits) {
  testing::TempDir dir;
  testing::WriteFile(dir.Path("in.txt"), c.line);
  std::vector<CutLine> cuts = Scanned(dir.Path("in.txt"), limits);
  text::PairFields fields;
  ASSERT_EQ(oracle::CutPairLine(c.line, limits, &fields), c.result) << "line: " << c.line;
  if (c.result != CutResult::kCut) {
    EXPECT_TRUE(cuts.empty()) << "line: " << c.line;
    return;
  }
  ASSERT_EQ(cuts.size(), 1u) << "line: " << c.line;
  EXPECT_EQ(cuts[0].word1, c.word1);
  EXPECT_EQ(cuts[0].word2, c.word2);
  EXPECT_EQ(cuts[0].rest, c.rest);
}

TEST(FieldCutTest, SplitsAtTheFirstTwoTabs) {
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
  };
  for (const CutCase& c : cases)
    ExpectCut(c, text::kFilterLimits);
}

TEST(FieldCutTest, NulEndsTheLine) {
  ExpectCut({std::string("a\0\tb\t1\n", 7), CutResult::kNoTabs}, text::kFilterLimits);
  ExpectCut({std::string("a\tb\t1\0\t2\n", 9), CutResult::kCut, "a", "b", "1"},
            text::kFilterLimits);
}

TEST(FieldCutTest, FieldsAtTheirLimitsAreTakenWhole) {
  std::string word(127, 'w');
  std::string rest(126, '7');
  ExpectCut({word + "\t" + word + "\t" + rest + "\n", CutResult::kCut, word, word, rest},
            text::kFilterLimits);
  // The LF counts in the rest: 127 bytes without it still fit when it is missing.
  ExpectCut({"a\tb\t" + rest + "7", CutResult::kCut, "a", "b", rest + "7"}, text::kFilterLimits);
}

TEST(FieldCutTest, FieldsBeyondTheirLimitsAreRefusedWhole) {
  std::string word(128, 'w');
  ExpectCut({word + "\tb\t1\n", CutResult::kTooLong}, text::kFilterLimits);
  ExpectCut({"a\t" + word + "\t1\n", CutResult::kTooLong}, text::kFilterLimits);
  ExpectCut({"a\tb\t" + std::string(127, '7') + "\n", CutResult::kTooLong}, text::kFilterLimits);
  // Top-N: 63-byte words and a 31-byte rest.
  ExpectCut({std::string(63, 'w') + "\tb\t" + std::string(30, '1') + "\n", CutResult::kCut,
             std::string(63, 'w'), "b", std::string(30, '1')},
            text::kTopNLimits);
  ExpectCut({std::string(64, 'w') + "\tb\t1\n", CutResult::kTooLong}, text::kTopNLimits);
  ExpectCut({"a\tb\t" + std::string(31, '1') + "\n", CutResult::kTooLong}, text::kTopNLimits);
}

TEST(FieldCutTest, SupportLineLimitCountsTheWholeLine) {
  // Two words of 500 bytes fit their fields, but the line passes 1021 bytes.
  std::string word(500, 'w');
  std::string fits = word + "\t" + word + "\t" + std::string(18, '1') + "\n";
  ASSERT_EQ(fits.size(), 1021u);
  ExpectCut({fits, CutResult::kCut, word, word, std::string(18, '1')}, text::kSupportLimits);
  ExpectCut({word + "\t" + word + "\t" + std::string(19, '1') + "\n", CutResult::kTooLong},
            text::kSupportLimits);
}

}  // namespace
}  // namespace ulo::assoc
