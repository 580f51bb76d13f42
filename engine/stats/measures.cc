#include "engine/stats/measures.h"

#include <charconv>
#include <cmath>

namespace ulo::engine {
namespace {

constexpr double kSmall = 1e-20;  // NLTK's guard against log(0) and 0/0

double Pmi(const PairCounts& p) {
  return std::log2(p.a * p.n) - std::log2(p.b * p.c);
}

double LlrTerm(double observed, double expected) {
  return observed * std::log(observed / (expected + kSmall) + kSmall);
}

// e11 of the llr below, which gives llr and chi2 their sign.
double Expected11(double o11, double o21, double o12, double o22) {
  const double s = (((0.0 + o11) + o21) + o12) + o22;
  return (o11 + o21) * (o11 + o12) / s;
}

double Raw(Measure measure, const PairCounts& p) {
  const double o11 = p.a;
  const double o21 = p.c - p.a;
  const double o12 = p.b - p.a;
  const double o22 = p.n - p.a - o21 - o12;
  bool table = measure != Measure::kConfidence && measure != Measure::kSupport;
  if (table && (o11 < 0 || o21 < 0 || o12 < 0 || o22 < 0)) return 0.0;
  switch (measure) {
    case Measure::kConfidence:
      return p.a / p.b * 100.0;
    case Measure::kSupport:
      return p.a / p.n * 100.0;
    case Measure::kPmi:
      return Pmi(p);
    case Measure::kNpmi:
      return Pmi(p) / -std::log2(p.a / p.n);
    case Measure::kLift:
      return (p.a * p.n) / (p.b * p.c);
    case Measure::kT:
      return (p.a - p.b * p.c / p.n) / std::sqrt(p.a + kSmall);
    case Measure::kDice:
      return 2.0 * p.a / (p.b + p.c);
    case Measure::kJaccard:
      return p.a / (((0.0 + o11) + o21) + o12);
    case Measure::kChi2: {
      const double d = o11 * o22 - o21 * o12;
      const double m1 = o11 + o21, m2 = o11 + o12, m3 = o21 + o22, m4 = o12 + o22;
      const double chi2 = p.n * (d * d / (((m1 * m2) * m3) * m4));
      return o11 < Expected11(o11, o21, o12, o22) ? -chi2 : chi2;
    }
    case Measure::kLlr: {
      const double s = (((0.0 + o11) + o21) + o12) + o22;
      const double e11 = (o11 + o21) * (o11 + o12) / s;
      const double e21 = (o21 + o11) * (o21 + o22) / s;
      const double e12 = (o12 + o22) * (o12 + o11) / s;
      const double e22 = (o22 + o12) * (o22 + o21) / s;
      const double llr =
          2.0 * ((((0.0 + LlrTerm(o11, e11)) + LlrTerm(o21, e21)) + LlrTerm(o12, e12)) +
                 LlrTerm(o22, e22));
      return o11 < e11 ? -llr : llr;
    }
  }
  return 0.0;
}

}  // namespace

const std::vector<std::string>& MeasureNames() {
  static const std::vector<std::string> names = {
      "confidence", "support", "pmi", "npmi", "llr", "t", "chi2", "dice", "jaccard", "lift"};
  return names;
}

std::optional<Measure> ParseMeasure(std::string_view name) {
  const std::vector<std::string>& names = MeasureNames();
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<Measure>(i);
  }
  return std::nullopt;
}

std::string MeasureName(Measure measure) {
  return MeasureNames()[static_cast<size_t>(measure)];
}

double Score(Measure measure, const PairCounts& counts) {
  double score = Raw(measure, counts);
  if (!std::isfinite(score)) return 0.0;
  return score == 0.0 ? 0.0 : score;  // no negative zero
}

std::string FormatScore(double score) {
  char text[32];
  auto [end, error] = std::to_chars(text, text + sizeof text, score);
  if (error != std::errc()) return "0";
  return std::string(text, end);
}

}  // namespace ulo::engine
