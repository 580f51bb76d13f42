#include "engine/stats/measures.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace ulo::engine {
namespace {

constexpr double kSmall = 1e-20;  // NLTK's guard against log(0) and 0/0

struct MeasureInfo {
  const char* name;
  int64_t minCount;
  const char* help;
};

// In the order of enum Measure.
constexpr MeasureInfo kMeasures[] = {
    {"confidence", 5, "P(other | word) in percent, as the library computes it"},
    {"support", 1, "the pair's share of the total in percent, as the library computes it"},
    {"pmi", 5, "pointwise mutual information, log2(O / E)"},
    {"npmi", 5, "pmi normalised to [-1, 1]"},
    {"llr", 1, "log-likelihood ratio (G2), negative below chance"},
    {"t", 1, "t-score"},
    {"chi2", 5, "Pearson's chi-square, negative below chance"},
    {"dice", 5, "Dice coefficient"},
    {"jaccard", 5, "Jaccard coefficient"},
    {"lift", 5, "O / E"},
    {"logdice", 5, "14 + log2 of Dice; at most 14, independent of the corpus size"},
    {"mi3", 1, "log2(O^3 / E), MI weighted towards frequent pairs"},
    {"local_mi", 1, "O log2(O / E)"},
    {"z", 5, "z-score, (O - E) / sqrt(E)"},
    {"simple_ll", 1, "simple log-likelihood, 2 (O ln(O / E) - (O - E)), negative below chance"},
    {"poisson_stirling", 1, "O (ln O - ln E - 1)"},
    {"delta_p", 5, "P(other | word) - P(other | no word); directional"},
    {"log_ratio", 5, "log2 of the ratio of other's relative frequencies with and without word"},
    {"min_sensitivity", 5, "min(O / f(word), O / f(other))"},
    {"odds_ratio", 5, "the natural log of the odds ratio, every cell + 0.5"},
    {"fisher", 1, "-log10 of the one-sided p-value of Fisher's exact test"},
    {"phi2", 5, "chi2 / N, negative below chance"},
};

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

// Loader's saddle-point form of the binomial density: lgamma of counts in
// the billions is too large for its differences to keep any digits.
// ln(n!) - ((n + 0.5) ln n - n + ln sqrt(2 pi)).
constexpr double kLogSqrt2Pi = 0.918938533204672741780329736406;  // ln sqrt(2 pi)

double StirlingError(double n) {
  if (n <= 15) return std::lgamma(n + 1) - (n + 0.5) * std::log(n) + n - kLogSqrt2Pi;
  const double nn = n * n;
  return (1.0 / 12 - (1.0 / 360 - (1.0 / 1260 - (1.0 / 1680 - 1.0 / 1188 / nn) / nn) / nn) / nn) /
         n;
}

// x ln(x / np) + np - x without its cancellation when x is near np.
double Deviance(double x, double np) {
  if (std::fabs(x - np) >= 0.1 * (x + np)) return x * std::log(x / np) + np - x;
  double v = (x - np) / (x + np);
  double sum = (x - np) * v, term = 2 * x * v;
  v *= v;
  for (int j = 1; j < 1000; ++j) {
    term *= v;
    double next = sum + term / (2 * j + 1);
    if (next == sum) break;
    sum = next;
  }
  return sum;
}

// ln P(Y = x), Y binomial (n trials, p, q = 1 - p).
double LogBinomial(double x, double n, double p, double q) {
  if (p == 0) return x == 0 ? 0.0 : -INFINITY;
  if (q == 0) return x == n ? 0.0 : -INFINITY;
  if (x < 0 || x > n) {
    // Only a token count's fraction (--marginals tokens) lands past an end:
    // lgamma's continuation of C(n, x), where the saddle point has no logs.
    return std::lgamma(n + 1) - std::lgamma(x + 1) - std::lgamma(n - x + 1) + x * std::log(p) +
           (n - x) * std::log(q);
  }
  if (x == 0) return n == 0 ? 0.0 : (p < 0.1 ? -Deviance(n, n * q) - n * p : n * std::log(q));
  if (x == n) return q < 0.1 ? -Deviance(n, n * p) - n * q : n * std::log(p);
  const double lc = StirlingError(n) - StirlingError(x) - StirlingError(n - x) -
                    Deviance(x, n * p) - Deviance(n - x, n * q);
  return lc - 0.5 * (2 * kLogSqrt2Pi + std::log(x) + std::log1p(-x / n));
}

// The natural logarithm of P(X = k), X hypergeometric (n items, b marked,
// c drawn), as binomial densities of the marked and unmarked draws.
double LogHypergeometric(double k, double b, double c, double n) {
  const double p = c / n, q = (n - c) / n;
  return LogBinomial(k, b, p, q) + LogBinomial(c - k, n - b, p, q) - LogBinomial(c, n, p, q);
}

// ln P(X >= a) by the normal approximation (continuity corrected): for a
// distribution too wide for its terms to be summed one by one.
double LogNormalUpperTail(double a, double b, double c, double n) {
  const double mean = b * c / n;
  const double variance = mean * ((n - b) / n) * ((n - c) / (n - 1));
  const double z = (a - 0.5 - mean) / std::sqrt(variance);
  if (z < 30) return std::log(0.5 * std::erfc(z / std::sqrt(2.0)));
  // Beyond where erfc underflows: its asymptotic series.
  const double zz = z * z;
  return -0.5 * zz - std::log(z) - kLogSqrt2Pi + std::log1p(-1 / zz + 3 / (zz * zz));
}

// ln P(X >= a): the terms are summed from the mode outwards, where they
// only shrink, in units of the first term so that nothing underflows. A
// tail that needs more terms than kTailTerms (a standard deviation in the
// hundreds of thousands, or counts past 2^53, where k + 1 is k) is taken
// from the normal approximation, within about 1e-6 of the exact sum there.
double LogUpperTail(double a, double b, double c, double n) {
  constexpr int kTailTerms = 1 << 20;
  const double low = std::max(0.0, b + c - n), high = std::min(b, c);
  if (a > high) return -INFINITY;
  if (a <= low) return 0.0;
  const double mode = std::floor((b + 1) * (c + 1) / (n + 2));
  // P(X = k + 1) / P(X = k).
  auto up = [&](double k) { return (b - k) * (c - k) / ((k + 1) * (n - b - c + k + 1)); };
  int terms = 0;
  if (a > mode) {
    double sum = 1.0, term = 1.0;
    for (double k = a; k < high && term > sum * 1e-17; ++k) {
      if (++terms > kTailTerms) return LogNormalUpperTail(a, b, c, n);
      term *= up(k);
      sum += term;
    }
    return LogHypergeometric(a, b, c, n) + std::log(sum);
  }
  // At or below the mode: one minus the lower tail P(X <= a - 1).
  double sum = 1.0, term = 1.0;
  for (double k = a - 1; k > low && term > sum * 1e-17; --k) {
    if (++terms > kTailTerms) return LogNormalUpperTail(a, b, c, n);
    term /= up(k - 1);
    sum += term;
  }
  return std::log1p(-std::exp(LogHypergeometric(a - 1, b, c, n)) * sum);
}

double Raw(Measure measure, const PairCounts& p) {
  const double o11 = p.a;
  const double o21 = p.c - p.a;
  const double o12 = p.b - p.a;
  const double o22 = p.n - p.a - o21 - o12;
  bool table = measure != Measure::kConfidence && measure != Measure::kSupport;
  if (table && (o11 < 0 || o21 < 0 || o12 < 0 || o22 < 0)) return 0.0;
  const double e = p.b * p.c / p.n;
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
    case Measure::kChi2:
    case Measure::kPhi2: {
      const double d = o11 * o22 - o21 * o12;
      const double m1 = o11 + o21, m2 = o11 + o12, m3 = o21 + o22, m4 = o12 + o22;
      double chi2 = p.n * (d * d / (((m1 * m2) * m3) * m4));
      if (measure == Measure::kPhi2) chi2 /= p.n;
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
    case Measure::kLogDice:
      return 14.0 + std::log2(2.0 * p.a / (p.b + p.c));
    case Measure::kMi3:
      return std::log2(p.a * p.a * p.a * p.n / (p.b * p.c));
    case Measure::kLocalMi:
      return p.a * Pmi(p);
    case Measure::kZ:
      return (p.a - e) / std::sqrt(e);
    case Measure::kSimpleLl: {
      const double ll = 2.0 * (p.a * std::log(p.a / e) - (p.a - e));
      return p.a < e ? -ll : ll;
    }
    case Measure::kPoissonStirling:
      return p.a * (std::log(p.a) - std::log(e) - 1.0);
    case Measure::kDeltaP:
      return p.a / p.b - o21 / (p.n - p.b);
    case Measure::kLogRatio:
      // Only an empty cell is corrected: token marginals leave cells below a half.
      return std::log2((p.a / p.b) / ((o21 == 0 ? 0.5 : o21) / (p.n - p.b)));
    case Measure::kMinSensitivity:
      return std::min(p.a / p.b, p.a / p.c);
    case Measure::kOddsRatio:
      return std::log(((o11 + 0.5) * (o22 + 0.5)) / ((o12 + 0.5) * (o21 + 0.5)));
    case Measure::kFisher:
      return -LogUpperTail(p.a, p.b, p.c, p.n) / std::log(10.0);
  }
  return 0.0;
}

}  // namespace

const std::vector<std::string>& MeasureNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (const MeasureInfo& info : kMeasures)
      all.push_back(info.name);
    return all;
  }();
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

int64_t DefaultMinCount(Measure measure) {
  return kMeasures[static_cast<size_t>(measure)].minCount;
}

std::string DescribeMeasures() {
  std::string text;
  for (const MeasureInfo& info : kMeasures) {
    text += info.name;
    text += ": ";
    text += info.help;
    text += '\n';
  }
  return text;
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
