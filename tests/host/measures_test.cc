#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/stats/measures.h"

#include "contains.h"

namespace ulo::engine {
namespace {

using ulo::testing::Contains;

// The lines (a, b, 1) and (a, d, 3): frequencies a 4, b 1, d 3, total 8.
// The rule a -> d: a = 3, b = 4, c = 3, n = 8; cells 3, 0, 1, 4 (E = 1.5);
// where direction matters, d -> a too.
TEST(MeasureTest, EveryMeasureByHand) {
  const PairCounts ad{3, 4, 3, 8}, da{3, 3, 4, 8}, below{1, 10, 10, 20};  // below: e11 = 5
  const double ln2 = std::log(2.0);
  const struct {
    Measure measure;
    PairCounts counts;
    double want;
  } cases[] = {
      {Measure::kConfidence, ad, 75.0},
      {Measure::kConfidence, da, 100.0},  // the rule's direction matters to confidence
      {Measure::kSupport, ad, 37.5},
      {Measure::kPmi, ad, 1.0},  // log2(24 / 12)
      {Measure::kLift, ad, 2.0},
      {Measure::kNpmi, ad, 1.0 / -std::log2(3.0 / 8.0)},
      {Measure::kDice, ad, 6.0 / 7.0},
      {Measure::kJaccard, ad, 0.75},
      {Measure::kT, ad, 1.5 / std::sqrt(3.0)},  // (3 - 12/8) / sqrt 3
      {Measure::kChi2, ad, 4.8},  // d = 3*4 - 0*1 = 12; margins 3, 4, 4, 5: 8 * 144 / 240
      // Expected cells 1.5, 1.5, 2.5, 2.5: 2 * (3 ln 2 + 1 ln 0.4 + 4 ln 1.6).
      {Measure::kLlr, ad, 2 * (3 * ln2 + std::log(0.4) + 4 * std::log(1.6))},
      {Measure::kLogDice, ad, 14.0 + std::log2(6.0 / 7.0)},
      {Measure::kMi3, ad, std::log2(18.0)},  // 27 / 1.5
      {Measure::kLocalMi, ad, 3.0},          // 3 log2 2
      {Measure::kZ, ad, 1.5 / std::sqrt(1.5)},
      {Measure::kSimpleLl, ad, 2 * (3 * ln2 - 1.5)},
      {Measure::kPoissonStirling, ad, 3 * (ln2 - 1)},
      {Measure::kDeltaP, ad, 0.75},              // 3/4 - 0/4
      {Measure::kDeltaP, da, 0.8},               // 3/3 - 1/5
      {Measure::kLogRatio, ad, std::log2(6.0)},  // (3/4) / (0.5/4): the empty cell as 0.5
      {Measure::kLogRatio, da, std::log2(5.0)},  // (3/3) / (1/5)
      {Measure::kMinSensitivity, ad, 0.75},
      {Measure::kOddsRatio, ad, std::log(21.0)},  // (3.5 * 4.5) / (1.5 * 0.5)
      {Measure::kFisher, ad, std::log10(14.0)},   // P(X >= 3) = C(4,3) C(4,0) / C(8,3)
      {Measure::kPhi2, ad, 0.6},                  // chi2 / 8
      // Below chance: signed where the field signs them.
      {Measure::kSimpleLl, below, -2 * (std::log(0.2) + 4)},
      {Measure::kPhi2, below, -0.64},  // (1*1 - 9*9)^2 / 10^4
      {Measure::kZ, below, -4 / std::sqrt(5.0)},
  };
  for (const auto& test : cases) {
    EXPECT_NEAR(Score(test.measure, test.counts), test.want, 1e-12)
        << MeasureName(test.measure) << " of " << test.counts.a << " " << test.counts.b;
  }
  // Below chance, llr, chi2 and t turn negative: (a, b) in the file of the
  // lines (a, b, 1) and (c, d, 9) is above chance.
  EXPECT_GT(Score(Measure::kLlr, PairCounts{1, 1, 1, 20}), 0.0);
  for (Measure measure : {Measure::kLlr, Measure::kChi2, Measure::kT})
    EXPECT_LT(Score(measure, below), 0.0) << MeasureName(measure);
  // Only confidence (and the measures that look one way) tell d -> a from a -> d.
  for (Measure measure : {Measure::kPmi, Measure::kLlr, Measure::kChi2, Measure::kT, Measure::kDice,
                          Measure::kJaccard, Measure::kLift, Measure::kNpmi}) {
    EXPECT_NEAR(Score(measure, da), Score(measure, ad), 1e-12) << MeasureName(measure);
  }
  // Fisher far out in the tail stays finite where the p-value underflows:
  // P(X = 1000) alone is below 1e-2000.
  double far = Score(Measure::kFisher, {1000, 1000, 1000, 1e7});
  EXPECT_GT(far, 2000.0);
  EXPECT_TRUE(std::isfinite(far));
  EXPECT_LT(Score(Measure::kFisher, below), 0.01);  // below chance: p near 1
  for (const std::string& name : MeasureNames()) {
    EXPECT_GE(DefaultMinCount(*ParseMeasure(name)), 1) << name;
    EXPECT_TRUE(Contains(DescribeMeasures(), name + ": ")) << name;
  }
}

TEST(MeasureTest, DegenerateTablesScoreZeroNeverNanOrInfinity) {
  // A file of the one line (x, x, 3): x fills the whole table, whose other
  // row and column are empty; chi2 divides by a zero margin.
  PairCounts fills{3, 6, 6, 6};
  EXPECT_EQ(Score(Measure::kChi2, fills), 0.0);
  // A pair whose words occur nowhere else (the line (a, b, 2) among others):
  // the empty cells take no logarithm.
  PairCounts alone{2, 2, 2, 10};
  EXPECT_DOUBLE_EQ(Score(Measure::kJaccard, alone), 1.0);
  EXPECT_DOUBLE_EQ(Score(Measure::kDice, alone), 1.0);
  EXPECT_TRUE(std::isfinite(Score(Measure::kLlr, alone)));
  // The lines (x, x, 3) and (x, y, 1): x's frequency 7 counts the first
  // line twice, so the table of (x, x) has the cells 3, 4, 4 and -3.
  PairCounts overlap{3, 7, 7, 8};
  for (const std::string& name : MeasureNames()) {
    Measure measure = *ParseMeasure(name);
    if (measure == Measure::kConfidence || measure == Measure::kSupport) continue;
    EXPECT_EQ(Score(measure, overlap), 0.0) << name;
  }
  EXPECT_DOUBLE_EQ(Score(Measure::kConfidence, overlap), 3.0 / 7.0 * 100.0);
  EXPECT_DOUBLE_EQ(Score(Measure::kSupport, overlap), 37.5);
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
  EXPECT_EQ(MeasureNames().size(), 22u);
  for (const std::string& name : MeasureNames()) {
    ASSERT_TRUE(ParseMeasure(name)) << name;
    EXPECT_EQ(MeasureName(*ParseMeasure(name)), name);
  }
  EXPECT_FALSE(ParseMeasure("PMI"));
  EXPECT_FALSE(ParseMeasure(""));
  EXPECT_EQ(FormatScore(0.1), "0.1");
  EXPECT_EQ(FormatScore(75.0), "75");
  EXPECT_EQ(FormatScore(-0.0), "-0");  // Score never hands out -0
  for (double value : {1.0 / 3.0, 2.0 / 3.0 * 100.0, 1e-300, 123456789.123456789, -4.8}) {
    EXPECT_EQ(std::strtod(FormatScore(value).c_str(), nullptr), value);
  }
}

}  // namespace
}  // namespace ulo::engine
