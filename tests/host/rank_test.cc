#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contains.h"
#include "engine/count/options.h"
#include "engine/stats/rank.h"
#include "test_support.h"

namespace ulo::engine {
namespace {

using ulo::testing::Contains;

using ulo::testing::ReadFile;
using ulo::testing::TempDir;
using ulo::testing::WriteFile;

TEST(PairLineTest, CountsAsTheLibraryReadsThem) {
  std::string_view w1, w2;
  int64_t count = 0;
  ASSERT_TRUE(ParsePairLine("a\tb\t12", &w1, &w2, &count));
  EXPECT_EQ(w1, "a");
  EXPECT_EQ(w2, "b");
  EXPECT_EQ(count, 12);
  ASSERT_TRUE(ParsePairLine("\t\t -7x", &w1, &w2, &count));  // empty words, a sign, junk
  EXPECT_EQ(w1, "");
  EXPECT_EQ(count, -7);
  ASSERT_TRUE(ParsePairLine("a\tb\tabc", &w1, &w2, &count));
  EXPECT_EQ(count, 0);
  ASSERT_TRUE(ParsePairLine("a\tb\t99999999999999999999999", &w1, &w2, &count));
  EXPECT_EQ(count, INT64_MAX);
  EXPECT_FALSE(ParsePairLine("a\tb", &w1, &w2, &count));
  EXPECT_FALSE(ParsePairLine("", &w1, &w2, &count));
}

// Hand-checked: the lines (a, b, 1), (a, d, 3), (a, c, 3), (b, a, 1):
// frequencies a 8, b 2, c 3, d 3; total 16.
class RankingTest : public ::testing::Test {
 protected:
  std::string Rank(const RankOptions& options) {
    Ranking ranking;
    std::string error;
    EXPECT_TRUE(ranking.Build(dir.Path("pairs.txt"), options, &error)) << error;
    EXPECT_TRUE(WriteRanking(ranking, dir.Path("rank.txt"), &error)) << error;
    return ReadFile(dir.Path("rank.txt"));
  }

  void SetUp() override {
    WriteFile(dir.Path("pairs.txt"), "a\tb\t1\na\td\t3\na\tc\t3\nb\ta\t1\n");
  }

  TempDir dir;
};

TEST_F(RankingTest, ConfidenceWithTiesInTheOtherWordsOrder) {
  RankOptions options;
  options.measure = Measure::kConfidence;
  options.minCount = 1;
  // a: c and d tie at 3/8 (c first by its bytes), b at 1/8 once although
  // two lines offer it; b, c, d: their one partner a.
  EXPECT_EQ(Rank(options),
            "a\tc\t37.5\t3\tafter\na\td\t37.5\t3\tafter\na\tb\t12.5\t1\tafter\n"
            "b\ta\t50\t1\tbefore\nc\ta\t100\t3\tbefore\nd\ta\t100\t3\tbefore\n");
  options.top = 1;
  EXPECT_EQ(Rank(options),
            "a\tc\t37.5\t3\tafter\nb\ta\t50\t1\tbefore\nc\ta\t100\t3\tbefore\n"
            "d\ta\t100\t3\tbefore\n");
  options.top = 10;
  options.minCount = 2;
  EXPECT_EQ(Rank(options),
            "a\tc\t37.5\t3\tafter\na\td\t37.5\t3\tafter\n"
            "c\ta\t100\t3\tbefore\nd\ta\t100\t3\tbefore\n");
  // The words that come before: c and d never precede a.
  options.direction = Direction::kBefore;
  EXPECT_EQ(Rank(options), "c\ta\t100\t3\tbefore\nd\ta\t100\t3\tbefore\n");
}

TEST_F(RankingTest, PmiAndTheFrequenciesOfTheWholeFile) {
  RankOptions options;
  options.measure = Measure::kPmi;
  options.minCount = 1;
  // a -> b: log2(1 * 16 / (8 * 2)) = 0; a -> c: log2(3 * 16 / 24) = 1.
  EXPECT_EQ(Rank(options),
            "a\tc\t1\t3\tafter\na\td\t1\t3\tafter\na\tb\t0\t1\tafter\nb\ta\t0\t1\tbefore\n"
            "c\ta\t1\t3\tbefore\nd\ta\t1\t3\tbefore\n");
  // Only some words' lists, from the frequencies of every line.
  Ranking ranking;
  std::string error;
  std::vector<std::string> bases = {"b", "zzz"};
  ASSERT_TRUE(ranking.Build(dir.Path("pairs.txt"), options, &error, &bases)) << error;
  EXPECT_EQ(ranking.Total(), 16);
  EXPECT_EQ(ranking.Frequency(*ranking.Find("a")), 8);
  EXPECT_TRUE(ranking.List(*ranking.Find("a")).empty());
  ASSERT_EQ(ranking.List(*ranking.Find("b")).size(), 1u);
  EXPECT_FALSE(ranking.Find("zzz"));
}

// The options by name, as every front-end sets them, and what they leave
// out: the lines (x, x, 6), (x, y, 6), (y, z, 1); frequencies x 18, y 7, z 1.
TEST_F(RankingTest, FiltersByNameAndTheirDefaults) {
  WriteFile(dir.Path("pairs.txt"), "x\tx\t6\nx\ty\t6\ny\tz\t1\n");
  auto ranked = [this](std::vector<std::pair<std::string, std::string>> settings) {
    RankOptions options;
    std::string error;
    for (const auto& [name, value] : settings)
      EXPECT_TRUE(SetRankOption(&options, name, value, &error)) << name << ": " << error;
    std::string words;  // "word>other " for each line
    std::string text = Rank(options);
    for (size_t start = 0; start < text.size(); start = text.find('\n', start) + 1) {
      size_t tab = text.find('\t', start), next = text.find('\t', tab + 1);
      words += text.substr(start, tab - start) + ">" + text.substr(tab + 1, next - tab - 1) + " ";
    }
    return words;
  };
  EXPECT_EQ(ranked({}), "x>y y>z y>x z>y ");  // llr from 1, no self-pair
  EXPECT_EQ(ranked({{"self_pairs", "yes"}}), "x>y x>x y>z y>x z>y ");
  EXPECT_EQ(ranked({{"min_word_count", "2"}}), "x>y y>x ");
  EXPECT_EQ(ranked({{"measure", "pmi"}}), "x>y y>x ");  // from 5 by default
  EXPECT_EQ(ranked({{"measure", "pmi"}, {"min_count", "1"}}), "x>y y>z y>x z>y ");
  EXPECT_EQ(ranked({{"measure", "pmi"}, {"min_count", "7"}}), "");
  EXPECT_EQ(ranked({{"direction", "after"}}), "x>y y>z ");
  RankOptions options;
  std::string error;
  for (auto [name, value] : {std::pair{"colour", "red"},
                             {"top", "0"},
                             {"top", "5x"},
                             {"measure", "PMI"},
                             {"self_pairs", "maybe"},
                             {"min_count", "-1"}}) {
    EXPECT_FALSE(SetRankOption(&options, name, value, &error)) << name << " " << value;
    EXPECT_TRUE(Contains(error, name));
  }
  EXPECT_EQ(options.top, 10);  // unchanged by what was refused
  for (const char* name : {"measure\tllr\t", "top\t10\t", "min_count\t0\t", "self_pairs\t"})
    EXPECT_TRUE(Contains(DescribeOptions(RankOptionTable()), name)) << name;
}

TEST_F(RankingTest, UnreadableAndUnwritableFilesAreReported) {
  Ranking ranking;
  std::string error;
  EXPECT_FALSE(ranking.Build(dir.Path("missing.txt"), RankOptions(), &error));
  EXPECT_TRUE(Contains(error, "missing.txt"));
  ASSERT_TRUE(ranking.Build(dir.Path("pairs.txt"), RankOptions(), &error));
  EXPECT_FALSE(WriteRanking(ranking, dir.Path("no/rank.txt"), &error));
  if (ulo::testing::FileExists("/dev/full")) {
    // Never renamed over: a device stays a device.
    EXPECT_FALSE(WriteRanking(ranking, "/dev/full", &error));
    EXPECT_TRUE(Contains(error, "not a regular file"));
  }
}

}  // namespace
}  // namespace ulo::engine
