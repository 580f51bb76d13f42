// The pair filter and what cuts its lines: the 64-byte masks, the scanner
// and the field cut.
#include "assoc/pair_filter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "assoc/chunk_masks.h"
#include "assoc/pair_scanner.h"
#include "support/cut_lines.h"
#include "support/test_support.h"

namespace ulo::assoc {
namespace {

// GB2312 words used below.
const std::string kJia = "\xBC\xD7";  // the character for "first"
const std::string kYi = "\xD2\xD2";   // the character for "second"

class PairFilterTest : public ::testing::Test {
 protected:
  // Runs the filter over `input` and returns the output file's bytes, with
  // CR LF line ends read back as LF.
  std::string Filter(const std::string& input, int32_t threshold) {
    testing::WriteFile(dir.Path("in.txt"), input);
    EXPECT_TRUE(FilterPairs(dir.Path("in.txt").c_str(), dir.Path("out.txt").c_str(), threshold));
    return testing::ReadAsLf(dir.Path("out.txt"));
  }

  testing::TempDir dir;
};

TEST_F(PairFilterTest, KeepsCountsReachingTheThreshold) {
  const std::string line = kJia + "\t" + kYi + "\t12\n";
  const std::string signs = "a\tb\t0\nc\td\t-1\ne\tf\tx\ng\th\t-5\n";
  const std::string word127(127, 'w'), word128(128, 'w'), rest126(126, '9');
  const struct {
    std::string input;
    int32_t threshold;
    std::string kept;
  } cases[] = {
      {line, 12, "12\t" + kJia + "\t" + kYi + "\n"},
      {line, 13, ""},
      {"a\tb\t1\nc\td\t5\ne\tf\t3\n", 3, "5\tc\td\n3\te\tf\n"},
      // Zero and negative thresholds; a count without digits reads as 0.
      {signs, 0, "0\ta\tb\nx\te\tf\n"},
      {signs, -1, "0\ta\tb\n-1\tc\td\nx\te\tf\n"},
      {signs, -5, "0\ta\tb\n-1\tc\td\nx\te\tf\n-5\tg\th\n"},
      // The count's text is written as read.
      {"a\tb\t007\n", 7, "007\ta\tb\n"},
      {"a\tb\t5\tx\n", 5, "5\tx\ta\tb\n"},
      {"a\tb\t 9.5\n", 9, " 9.5\ta\tb\n"},
      // Line shapes.
      {"a\tb\t4", 1, "4\ta\tb\n"},  // last line without LF
      {"a\tb\nab\n\na\t\t2\n", 1, "2\ta\t\n"},
      {"a\tb\t4\r\nc\td\t5\r\n", 1, "4\ta\tb\n5\tc\td\n"},
      {"", 0, ""},
      // Counts do not wrap: 2^32 + 1 would read as 1 in 32 bits.
      {"a\tb\t4294967297\n", 2, "4294967297\ta\tb\n"},
      {"a\tb\t-4294967295\n", 0, ""},
      {"a\tb\t99999999999999999999\n", 2147483647, "99999999999999999999\ta\tb\n"},
      // Over-long lines are refused whole.
      {word128 + "\tb\t5\n" +                                  // word1 too long
           "a\t" + word128 + "\t5\n" +                         // word2 too long
           "a\tb\t" + rest126 + "9\n" +                        // rest of 128 with its LF
           word127 + "\t" + word127 + "\t" + rest126 + "\n" +  // at the limits
           "c\td\t5\n",
       1, rest126 + "\t" + word127 + "\t" + word127 + "\n" + "5\tc\td\n"},
      // A line far beyond any buffer is skipped whole, never read as pieces.
      {"x\ty\t1" + std::string(5000, '\t') + "a\tb\t7\n" + "c\td\t3\n", 1, "3\tc\td\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Filter(c.input, c.threshold), c.kept) << c.input << " at " << c.threshold;
}

TEST_F(PairFilterTest, AgreesWithLineByLineFiltering) {
  // Mostly plain lines, which the filter takes 64 bytes at a time, mixed
  // with every shape it must leave to the line-by-line way or skip: CR LF
  // ends, NUL bytes, lines longer than 64 bytes or than the limits, fewer
  // or more than two TABs, empty lines, counts that are not plain digits.
  // Files reach past the filter's pieces and read blocks, so that lines lie
  // across their ends.
  std::mt19937 random(321);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  auto word = [&](size_t longest) {
    static const char kBytes[] = {'a', 'z', ' ', '5', '\xB0', '\xA1', '\xD2', '\xFE'};
    std::string text(1 + pick(longest), ' ');
    for (char& c : text)
      c = kBytes[pick(sizeof kBytes)];
    return text;
  };
  auto count = [&]() -> std::string {
    const size_t kind = pick(12);
    if (kind == 0) return std::string(1 + pick(12), '9');   // past 8 digits
    if (kind == 1) return "0" + std::to_string(pick(100));  // leading zero
    if (kind == 2) return "-" + std::to_string(pick(1000));
    if (kind == 3) return " " + std::to_string(pick(100));
    if (kind == 4) return std::to_string(pick(100)) + "x";
    if (kind == 5) return "";
    if (kind == 6) return std::to_string(pick(20)) + "\t" + word(4);  // a third TAB
    return std::to_string(1 + pick(pick(2) ? 9 : 150000));
  };
  const int32_t thresholds[] = {INT32_MIN, -7,  0,        1,        5,         9,        10,
                                57,        100, 12345678, 99999999, 100000000, INT32_MAX};
  for (int round = 0; round < 40; ++round) {
    // Some files have CR LF ends, some also NUL bytes (which keep the whole
    // buffer they lie in from the fast way).
    const size_t shapes = round % 4 == 2 ? 50 : (round % 4 == 3 ? 60 : 40);
    std::string input;
    const size_t size = round % 5 == 0 ? 300000 : pick(70000);
    while (input.size() < size) {
      size_t shape = pick(shapes);
      std::string line = word(6) + "\t" + word(6) + "\t" + count();
      if (shape == 0) line = word(6);                                      // no TAB
      if (shape == 1) line = word(6) + "\t" + word(6);                     // one TAB
      if (shape == 2) line = "";                                           // empty
      if (shape == 3) line = word(40) + "\t" + word(40) + "\t" + count();  // often past 64
      if (shape == 4) line = word(120) + "\t" + word(1) + "\t1";           // word past 127
      if (shape == 5) line = "\t\t" + count();                             // empty words
      if (shape >= 40 && shape < 50) line += "\r";                         // CR LF
      if (shape >= 50) line.insert(pick(line.size() + 1), 1, '\0');
      input += line + "\n";
    }
    if (pick(2)) input += word(6) + "\t" + word(6) + "\t" + count();  // no LF at the end
    testing::WriteFile(dir.Path("in.txt"), input);
    const int32_t threshold = thresholds[pick(sizeof thresholds / sizeof thresholds[0])];
    ASSERT_TRUE(FilterPairs(dir.Path("in.txt").c_str(), dir.Path("out.txt").c_str(), threshold));
    ASSERT_TRUE(testing::SameText(testing::ReadTextFile(dir.Path("out.txt")),
                                  oracle::FilteredLines(input, threshold)))
        << "round " << round << " threshold " << threshold;
  }
}

// The marks of the 64-byte pieces the filter takes, one byte at a time.
ChunkMasks ByteByByte(const char* p) {
  ChunkMasks masks{0, 0, 0};
  for (int i = 0; i < 64; ++i) {
    masks.tabs |= uint64_t{p[i] == '\t'} << i;
    masks.lfs |= uint64_t{p[i] == '\n'} << i;
    masks.crs |= uint64_t{p[i] == '\r'} << i;
  }
  return masks;
}

void ExpectSame(const ChunkMasks& actual, const ChunkMasks& expected, int round) {
  EXPECT_EQ(actual.tabs, expected.tabs) << "round " << round;
  EXPECT_EQ(actual.lfs, expected.lfs) << "round " << round;
  EXPECT_EQ(actual.crs, expected.crs) << "round " << round;
}

TEST(ChunkMasksTest, EveryWayMarksTheSameBytes) {
  // Bytes next to the wanted ones (LF and CR are 10 and 13, TAB 9), high
  // bytes whose sign a vector comparison must not mind, at every position of
  // unaligned chunks.
  const char kBytes[] = {'\t', '\n', '\r', '\x0B', '\x08', '\0', 'a', '\x89', '\x8A', '\xFF'};
  std::mt19937 random(17);
  alignas(64) char buffer[64 * 3];
  for (int round = 0; round < 2000; ++round) {
    for (char& c : buffer)
      c = kBytes[random() % sizeof kBytes];
    const char* chunk = buffer + random() % 128;
    const ChunkMasks expected = ByteByByte(chunk);
    ExpectSame(BaselineMasks::At(chunk), expected, round);
#if ULO_CHUNK_MASKS_AVX2
    if (HasAvx2()) ExpectSame(Avx2Masks::At(chunk), expected, round);
#endif
  }
}

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
