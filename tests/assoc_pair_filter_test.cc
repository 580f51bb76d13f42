#include "assoc/pair_filter.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/env.h"
#include "test_support.h"

namespace ulo::assoc {
namespace {

// GB2312 words used below.
const std::string kJia = "\xBC\xD7";  // the character for "first"
const std::string kYi = "\xD2\xD2";   // the character for "second"

class PairFilterTest : public ::testing::Test {
 protected:
  // Runs the filter over `input` and returns the output file's bytes, with
  // CR LF line ends read back as LF.
  std::string Filter(const std::string& input, int32_t threshold, bool expectOk = true) {
    testing::WriteFile(dir.Path("in.txt"), input);
    EXPECT_EQ(FilterPairs(dir.Path("in.txt").c_str(), dir.Path("out.txt").c_str(), threshold),
              expectOk);
    std::string bytes = testing::ReadFile(dir.Path("out.txt"));
    std::string lf;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
      lf.push_back(bytes[i]);
    }
    return lf;
  }

  testing::TempDir dir;
};

TEST_F(PairFilterTest, KeepsCountsReachingTheThreshold) {
  std::string line = kJia + "\t" + kYi + "\t12\n";
  EXPECT_EQ(Filter(line, 12), "12\t" + kJia + "\t" + kYi + "\n");
  EXPECT_EQ(Filter(line, 13), "");
  EXPECT_EQ(Filter("a\tb\t1\nc\td\t5\ne\tf\t3\n", 3), "5\tc\td\n3\te\tf\n");
}

TEST_F(PairFilterTest, ThresholdZeroAndNegative) {
  std::string input = "a\tb\t0\nc\td\t-1\ne\tf\tx\ng\th\t-5\n";
  EXPECT_EQ(Filter(input, 0), "0\ta\tb\nx\te\tf\n");
  EXPECT_EQ(Filter(input, -1), "0\ta\tb\n-1\tc\td\nx\te\tf\n");
  EXPECT_EQ(Filter(input, -5), "0\ta\tb\n-1\tc\td\nx\te\tf\n-5\tg\th\n");
}

TEST_F(PairFilterTest, CountTextWrittenAsRead) {
  EXPECT_EQ(Filter("a\tb\t007\n", 7), "007\ta\tb\n");
  EXPECT_EQ(Filter("a\tb\t5\tx\n", 5), "5\tx\ta\tb\n");
  EXPECT_EQ(Filter("a\tb\t 9.5\n", 9), " 9.5\ta\tb\n");
}

TEST_F(PairFilterTest, LineShapes) {
  EXPECT_EQ(Filter("a\tb\t4", 1), "4\ta\tb\n");  // last line without LF
  EXPECT_EQ(Filter("a\tb\nab\n\na\t\t2\n", 1), "2\ta\t\n");
  EXPECT_EQ(Filter("a\tb\t4\r\nc\td\t5\r\n", 1), "4\ta\tb\n5\tc\td\n");
  EXPECT_EQ(Filter("", 0), "");
}

TEST_F(PairFilterTest, CountsDoNotWrap) {
  // 2^32 + 1 would read as 1 in 32 bits.
  EXPECT_EQ(Filter("a\tb\t4294967297\n", 2), "4294967297\ta\tb\n");
  EXPECT_EQ(Filter("a\tb\t-4294967295\n", 0), "");
  EXPECT_EQ(Filter("a\tb\t99999999999999999999\n", 2147483647), "99999999999999999999\ta\tb\n");
}

TEST_F(PairFilterTest, OverLongLinesAreRefusedWhole) {
  std::string word127(127, 'w');
  std::string word128(128, 'w');
  std::string rest126(126, '9');
  std::string input = word128 + "\tb\t5\n" +                              // word1 too long
                      "a\t" + word128 + "\t5\n" +                         // word2 too long
                      "a\tb\t" + rest126 + "9\n" +                        // rest of 128 with its LF
                      word127 + "\t" + word127 + "\t" + rest126 + "\n" +  // at the limits
                      "c\td\t5\n";
  EXPECT_EQ(Filter(input, 1), rest126 + "\t" + word127 + "\t" + word127 + "\n" + "5\tc\td\n");
  // A line far beyond any buffer is skipped whole, never read as pieces.
  std::string huge = "x\ty\t1" + std::string(5000, '\t') + "a\tb\t7\n";
  EXPECT_EQ(Filter(huge + "c\td\t3\n", 1), "3\tc\td\n");
}

TEST_F(PairFilterTest, NullOrMissingFiles) {
  testing::WriteFile(dir.Path("in.txt"), "a\tb\t1\n");
  EXPECT_FALSE(FilterPairs(nullptr, dir.Path("out.txt").c_str(), 0));
  EXPECT_FALSE(FilterPairs(dir.Path("in.txt").c_str(), nullptr, 0));
  EXPECT_FALSE(testing::FileExists(dir.Path("out.txt")));

  // A missing input still leaves an empty output behind.
  EXPECT_FALSE(FilterPairs(dir.Path("missing.txt").c_str(), dir.Path("out.txt").c_str(), 0));
  EXPECT_TRUE(testing::FileExists(dir.Path("out.txt")));
  EXPECT_EQ(testing::ReadFile(dir.Path("out.txt")), "");

  EXPECT_FALSE(FilterPairs(dir.Path("in.txt").c_str(), dir.Path("no/such/out.txt").c_str(), 0));
}

#if !defined(_WIN32)
TEST_F(PairFilterTest, FullDiskFails) {
  testing::WriteFile(dir.Path("in.txt"), "a\tb\t1\n");
  EXPECT_FALSE(FilterPairs(dir.Path("in.txt").c_str(), "/dev/full", 0));
  // Nothing kept: the close still succeeds, and so does the filter.
  EXPECT_TRUE(FilterPairs(dir.Path("in.txt").c_str(), "/dev/full", 5));
}
#endif

TEST_F(PairFilterTest, OutputNamingTheInputIsRefused) {
  const std::string input = "a\tb\t1\nc\td\t2\n";
  testing::WriteFile(dir.Path("in.txt"), input);
  std::string sep(1, platform::kPathSeparator);
  std::string spellings[] = {
      dir.Path("in.txt"),
      dir.path() + sep + "." + sep + "in.txt",
      dir.path() + sep + sep + "in.txt",
  };
  for (const std::string& output : spellings) {
    EXPECT_FALSE(FilterPairs(dir.Path("in.txt").c_str(), output.c_str(), 0)) << output;
    EXPECT_EQ(testing::ReadFile(dir.Path("in.txt")), input);
  }
}

}  // namespace
}  // namespace ulo::assoc
