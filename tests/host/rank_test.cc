// The ranking: its measures, how it reads pair lines, its options and what
// it writes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "contains.h"
#include "engine/count/options.h"
#include "engine/stats/measures.h"
#include "engine/stats/rank.h"
#include "run_ulo.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

using namespace engine;

// The measures host_measures_match_nltk cannot hold to NLTK, by hand. The
// lines (a, b, 1) and (a, d, 3): frequencies a 4, b 1, d 3, total 8. The
// rule a -> d: a = 3, b = 4, c = 3, n = 8; cells 3, 0, 1, 4; d -> a too.
TEST(MeasureTest, EveryMeasureNltkLacksByHand) {
  const PairCounts ad{3, 4, 3, 8}, da{3, 3, 4, 8};
  const struct {
    Measure measure;
    PairCounts counts;
    double want;
  } cases[] = {
      {Measure::kDeltaP, ad, 0.75},                    // 3/4 - 0/4
      {Measure::kDeltaP, da, 0.8},                     // 3/3 - 1/5
      {Measure::kLogRatio, ad, std::log2(6.0)},        // (3/4) / (0.5/4): the empty cell as 0.5
      {Measure::kLogRatio, da, std::log2(5.0)},        // (3/3) / (1/5)
      {Measure::kLogRatio, {2.0 / 3, 4, 1, 20}, 3.0},  // a token count's cell of 1/3 is not empty
      {Measure::kMinSensitivity, ad, 0.75},
      {Measure::kOddsRatio, ad, std::log(21.0)},  // (3.5 * 4.5) / (1.5 * 0.5)
      {Measure::kFisher, ad, std::log10(14.0)},   // P(X >= 3) = C(4,3) C(4,0) / C(8,3)
      // A token count's 1/3 below the mode: 1 - P(X = -2/3), lgamma's C(n, k).
      {Measure::kFisher, {1.0 / 3, 6, 6, 24}, 0.009213462093139332},
  };
  for (const auto& test : cases) {
    EXPECT_NEAR(Score(test.measure, test.counts), test.want, 1e-12)
        << MeasureName(test.measure) << " of " << test.counts.a << " " << test.counts.b;
  }
  // Fisher far out in the tail stays finite where the p-value underflows:
  // P(X = 1000) alone is below 1e-2000.
  double far = Score(Measure::kFisher, {1000, 1000, 1000, 1e7});
  EXPECT_GT(far, 2000.0);
  EXPECT_TRUE(std::isfinite(far));
  // At chance with counts in the trillions and past 2^53, P(X >= O) is a
  // half: lgamma's differences lost its digits there, and k + 1 == k hung.
  for (double count : {0x1p40, 0x1p56}) {
    EXPECT_NEAR(Score(Measure::kFisher, {count, 4 * count, 4 * count, 16 * count}), std::log10(2.0),
                1e-6)
        << count;
  }
}

TEST(MeasureTest, DegenerateTablesScoreZeroNeverNanOrInfinity) {
  // npmi of a pair that fills a total of 1 divides 0 by -0.
  EXPECT_EQ(Score(Measure::kNpmi, PairCounts{1, 1, 1, 1}), 0.0);
  // The files (x, x, 3), (y, z, 2) and both with (y, z, 1) leave empty
  // cells; negative counts elsewhere in a file can leave anything.
  for (PairCounts odd : {PairCounts{3, 6, 6, 6}, PairCounts{2, 2, 2, 4}, PairCounts{3, 6, 6, 8},
                         PairCounts{1, 1, 1, 8}, PairCounts{1, 0, 0, 0}, PairCounts{1, -2, 3, -4},
                         PairCounts{2, 1, 1, 2}, PairCounts{0, 0, 0, 0}, PairCounts{1, 1, 1, 1}}) {
    for (const std::string& name : MeasureNames()) {
      double score = Score(*ParseMeasure(name), odd);
      EXPECT_TRUE(std::isfinite(score)) << name;
      EXPECT_FALSE(std::signbit(score) && score == 0.0) << name;
    }
  }
}

TEST(MeasureTest, NamesAndShortestScoresThatReadBack) {
  for (const std::string& name : MeasureNames()) {
    ASSERT_TRUE(ParseMeasure(name)) << name;
    EXPECT_EQ(MeasureName(*ParseMeasure(name)), name);
  }
  EXPECT_FALSE(ParseMeasure(""));
  EXPECT_EQ(FormatScore(0.1), "0.1");
  EXPECT_EQ(FormatScore(75.0), "75");
  for (double value : {1.0 / 3.0, 2.0 / 3.0 * 100.0, 1e-300, 123456789.123456789, -4.8}) {
    EXPECT_EQ(std::strtod(FormatScore(value).c_str(), nullptr), value);
  }
}

TEST(PairLineTest, CountsAsTheLibraryReadsThem) {
  // The line's words and count as "word|word|count", or "refused".
  auto read = [](const char* line) {
    std::string_view w1, w2;
    int64_t count = 0;
    if (!ParsePairLine(line, &w1, &w2, &count)) return std::string("refused");
    return std::string(w1) + "|" + std::string(w2) + "|" + std::to_string(count);
  };
  EXPECT_EQ(read("a\tb\t12"), "a|b|12");
  EXPECT_EQ(read("\t\t -7x"), "||-7");  // empty words, a sign, junk
  EXPECT_EQ(read("a\tb\tabc"), "a|b|0");
  EXPECT_EQ(read("a\tb\t99999999999999999999999"), "a|b|" + std::to_string(INT64_MAX));
  EXPECT_EQ(read("a\tb"), "refused");
  EXPECT_EQ(read(""), "refused");
}

class RankingTest : public ::testing::Test {
 protected:
  std::string Rank(const RankOptions& options) {
    Ranking ranking;
    std::string error;
    EXPECT_TRUE(ranking.Build(dir.Path("pairs.txt"), options, &error)) << error;
    EXPECT_TRUE(WriteRanking(ranking, dir.Path("rank.txt"), &error)) << error;
    return ReadFile(dir.Path("rank.txt"));
  }

  TempDir dir;
};

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
}

// A file counted both ways offers each word its partners from its own
// lines alone; the lists and the side each partner stood on must be those
// of offering every line both ways, as the file's steps below do.
TEST_F(RankingTest, AMirroredFileRanksAsEveryLineOfferedBothWays) {
  std::mt19937 random(5);
  std::map<std::pair<std::string, std::string>, int> counts;
  for (int i = 0; i < 400; ++i) {
    std::string a = "w" + std::to_string(random() % 25), b = "w" + std::to_string(random() % 25);
    int count = 1 + static_cast<int>(random() % 4);
    counts[{a, b}] = counts[{b, a}] = count;
  }
  std::string text;
  for (const auto& [pair, count] : counts)
    text += pair.first + "\t" + pair.second + "\t" + std::to_string(count) + "\n";
  for (bool whole : {true, false}) {
    // Without one line's mirror, the file is ranked both ways throughout.
    WriteFile(dir.Path("pairs.txt"), whole ? text : text.substr(text.find('\n') + 1));
    for (const char* measure : {"llr", "confidence", "pmi", "delta_p"}) {
      for (bool self : {false, true}) {
        RankOptions options;
        std::string error;
        ASSERT_TRUE(SetRankOption(&options, "measure", measure, &error));
        options.minCount = 1;
        options.top = 3;
        options.selfPairs = self;
        Ranking sums, steps;
        ASSERT_TRUE(sums.CountFrequencies(dir.Path("pairs.txt"), &error));
        steps.SetOptions(options);
        for (uint32_t id = 0; id < sums.WordCount(); ++id)
          steps.AddFrequency(sums.Word(id), sums.Frequency(id));
        steps.AddTotal(sums.Total());
        steps.Keep(nullptr);
        ASSERT_TRUE(steps.Score(dir.Path("pairs.txt"), &error));
        ASSERT_TRUE(WriteRanking(steps, dir.Path("steps.txt"), &error));
        EXPECT_EQ(Rank(options), ReadFile(dir.Path("steps.txt"))) << measure << " " << self;
      }
    }
  }
}

TEST_F(RankingTest, UnreadableAndUnwritableFilesAreReported) {
  Ranking ranking;
  std::string error;
  WriteFile(dir.Path("pairs.txt"), "a\tb\t1\n");
  EXPECT_FALSE(ranking.Build(dir.Path("missing.txt"), RankOptions(), &error));
  EXPECT_TRUE(Contains(error, "missing.txt"));
  ASSERT_TRUE(ranking.Build(dir.Path("pairs.txt"), RankOptions(), &error));
  EXPECT_FALSE(WriteRanking(ranking, dir.Path("no/rank.txt"), &error));
  // Read again by the second pass (as a part is), a file grown since the
  // first holds words it has no frequency of.
  Ranking steps;
  ASSERT_TRUE(steps.CountFrequencies(dir.Path("pairs.txt"), &error));
  steps.Keep(nullptr);
  WriteFile(dir.Path("grown.txt"), "a\tb\t1\nc\ta\t1\n");
  EXPECT_FALSE(steps.Score(dir.Path("grown.txt"), &error));
  EXPECT_TRUE(Contains(error, "grown.txt changed while it was ranked")) << error;
  if (FileExists("/dev/full")) {
    // Never renamed over: a device stays a device.
    EXPECT_FALSE(WriteRanking(ranking, "/dev/full", &error));
    EXPECT_TRUE(Contains(error, "not a regular file"));
  }
}

using ShowTest = UloCommandTest;

TEST_F(ShowTest, TakesTheScoresMarginalsAndATopNFilesListsAsTheyAre) {
  Write("c.txt", "a b\na b\na d\n");
  RunOk("run {c.txt} --window 1 --jobs 1 --no-default-stopwords --topn --out {out}");
  // Counted both ways, a stands in four lines (frequency 6) but is 3 tokens.
  EXPECT_TRUE(Contains(RunOk("show {out/pairs.txt} a --min-count 1").out, "a (frequency 6)"));
  EXPECT_TRUE(Contains(RunOk("show {out/pairs.txt} a --min-count 1 --marginals tokens").out,
                       "a (frequency 3)"));
  // A top-N file's lists are the library's: --top cuts them, a filter is refused.
  UloResult cut = RunOk("show {out/topn.txt} a --top 1");
  EXPECT_TRUE(Contains(cut.out, " b ") && !Contains(cut.out, " d ")) << cut.out;
  Fails("show {out/topn.txt} a --min-count 2", "--min-count applies to a ranking");
}

// The demo's own words are UTF-8 whatever the terminal takes.
TEST_F(ShowTest, TheDemoRunsUnderALocaleOfAnotherEncoding) {
  const std::string locales = dir.Path("locales");
  MakeDirectory(locales);
  if (std::system(
          ("localedef -i en_US -f ISO-8859-1 '" + locales + "/en_US.ISO-8859-1' >/dev/null 2>&1")
              .c_str()) != 0) {
    GTEST_SKIP() << "localedef cannot make a latin1 locale here";
  }
  Write("small.txt",
        "\xE6\x98\x8E\xE6\x9C\x88\xE7\x85\xA7\xE5\xB1\xB1\n"    // 明月照山
        "\xE6\x9C\x88\xE5\xB1\xB1\xE6\x9C\x88\xE5\xB1\xB1\n");  // 月山月山
  setenv("LOCPATH", locales.c_str(), 1);
  setenv("LC_ALL", "en_US.ISO-8859-1", 1);
  UloResult demo = Run("demo --corpus {small.txt} --out {demo}");
  unsetenv("LC_ALL");
  unsetenv("LOCPATH");
  EXPECT_EQ(demo.exitCode, 0) << demo.err;
}

}  // namespace
}  // namespace ulo::testing
