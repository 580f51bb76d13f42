#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engine/stats/measures.h"

namespace ulo::engine {
namespace {

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
      {Measure::kDeltaP, ad, 0.75},              // 3/4 - 0/4
      {Measure::kDeltaP, da, 0.8},               // 3/3 - 1/5
      {Measure::kLogRatio, ad, std::log2(6.0)},  // (3/4) / (0.5/4): the empty cell as 0.5
      {Measure::kLogRatio, da, std::log2(5.0)},  // (3/3) / (1/5)
      {Measure::kMinSensitivity, ad, 0.75},
      {Measure::kOddsRatio, ad, std::log(21.0)},  // (3.5 * 4.5) / (1.5 * 0.5)
      {Measure::kFisher, ad, std::log10(14.0)},   // P(X >= 3) = C(4,3) C(4,0) / C(8,3)
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

}  // namespace
}  // namespace ulo::engine
