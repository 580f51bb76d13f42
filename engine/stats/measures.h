// Association measures of a word pair from its 2x2 contingency table.
//
// The table of the rule base -> other, for one line of a pair-count file,
// is built of the library's own numbers, all taken as doubles:
//   a = n_ii   the line's count
//   b = n_ix   the base word's frequency (sum of the counts of the lines it
//              stands in, as word1 or word2; twice on a line of two equal
//              words)
//   c = n_xi   the other word's frequency
//   n = n_xx   the total (twice the sum of the counts of all lines)
// and its cells, as NLTK's BigramAssocMeasures forms them:
//   o11 = a
//   o21 = c - a                  (NLTK's n_oi)
//   o12 = b - a                  (NLTK's n_io)
//   o22 = n - a - o21 - o12      (NLTK's n_oo)
//
// Each measure, written as the code computes it, operation for operation
// (evaluated left to right; log2, log and sqrt are the C library's):
//   confidence = a / b * 100.0
//   support    = a / n * 100.0
//   pmi        = log2(a * n) - log2(b * c)
//   npmi       = pmi / -log2(a / n)
//   lift       = (a * n) / (b * c)
//   t          = (a - b * c / n) / sqrt(a + 1e-20)
//   dice       = 2.0 * a / (b + c)
//   jaccard    = a / (((0.0 + o11) + o21) + o12)
//   chi2       = n * (d * d / (((m1 * m2) * m3) * m4))
//                where d  = o11 * o22 - o21 * o12,
//                      m1 = o11 + o21, m2 = o11 + o12,
//                      m3 = o21 + o22, m4 = o12 + o22
//   llr        = 2.0 * ((((0.0 + g(o11, e11)) + g(o21, e21)) + g(o12, e12)) + g(o22, e22))
//                where g(o, e) = o * log(o / (e + 1e-20) + 1e-20)
//                and, with s = (((0.0 + o11) + o21) + o12) + o22,
//                      e11 = (o11 + o21) * (o11 + o12) / s
//                      e21 = (o21 + o11) * (o21 + o22) / s
//                      e12 = (o12 + o22) * (o12 + o11) / s
//                      e22 = (o22 + o12) * (o22 + o21) / s
//   phi2       = chi2 / n
// llr, chi2 and phi2 then take the sign of the association: they are
// negated when o11 < e11 (e11 as above), since a pair seen less often than
// chance would have it is no collocation, however sure the evidence.
// These are NLTK's formulas (its 1e-20 included) for pmi, t (student_t),
// chi2 (chi_sq), llr (likelihood_ratio), dice and jaccard; npmi and lift
// follow from pmi (npmi = pmi / -log2(a / n), lift = 2^pmi). NLTK's llr,
// chi2 and phi_sq are the magnitudes of ours.
//
// The measures of the field's catalogue (Evert), with E = b * c / n the
// count expected by chance and ln the natural logarithm:
//   logdice          = 14.0 + log2(2.0 * a / (b + c))            (at most 14)
//   mi3              = log2(a * a * a * n / (b * c))             (log2(a^3 / E))
//   local_mi         = a * pmi                                   (a log2(a / E))
//   z                = (a - E) / sqrt(E)
//   simple_ll        = 2.0 * (a * ln(a / E) - (a - E)), negated when a < E
//   poisson_stirling = a * (ln(a) - ln(E) - 1.0)
//   delta_p          = a / b - o21 / (n - b)       P(other | base) - P(other | no base)
//   log_ratio        = log2((a / b) / (o21' / (n - b)))  o21' = o21, or 0.5 where o21 is 0
//   min_sensitivity  = min(a / b, a / c)
//   odds_ratio       = ln(((o11 + 0.5) * (o22 + 0.5)) / ((o12 + 0.5) * (o21 + 0.5)))
//   fisher           = -log10(P(X >= a)), X hypergeometric: n items, b of
//                      them the base's, c drawn (the one-sided exact test;
//                      near 0 for a pair below chance); summed term by term,
//                      or where that takes over 2^20 terms (counts in the
//                      trillions near chance) by the normal approximation
// NLTK's poisson_stirling takes log2 where the catalogue takes ln; its
// fisher is P(X <= a), which grows with the association where ours shrinks.
// confidence and delta_p are the only directional measures: they read the
// table from the base word's row, so base -> other and other -> base differ.
//
// The one policy for degenerate tables: every measure but confidence and
// support scores 0 on a table with a negative cell (the library's
// frequencies allow one: o22 < 0 for a word paired with itself whose
// frequency, which counts that line twice, exceeds half the total), and every measure scores
// 0 where its formula is undefined or infinite (a division by zero, the
// logarithm of zero or of a negative number). With counts of at least 1 the
// latter happens only where a margin is zero (a word that fills the whole
// table, so one variable is constant and shows no association). A result of
// negative zero is written as 0.
#ifndef ULO_ENGINE_MEASURES_H_
#define ULO_ENGINE_MEASURES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ulo::engine {

enum class Measure {
  kConfidence,
  kSupport,
  kPmi,
  kNpmi,
  kLlr,
  kT,
  kChi2,
  kDice,
  kJaccard,
  kLift,
  kLogDice,
  kMi3,
  kLocalMi,
  kZ,
  kSimpleLl,
  kPoissonStirling,
  kDeltaP,
  kLogRatio,
  kMinSensitivity,
  kOddsRatio,
  kFisher,
  kPhi2
};

// The measures' names as the command line takes them, in the order above.
const std::vector<std::string>& MeasureNames();
std::optional<Measure> ParseMeasure(std::string_view name);
std::string MeasureName(Measure measure);
// The smallest pair count ranked when none is asked for: 5 for the measures
// that rate a pair of rare words seen once or twice as perfect (the MI
// family, the ratios, the proportions), 1 for those weighted by evidence.
int64_t DefaultMinCount(Measure measure);
// One line per measure, "name: what it is", for help texts.
std::string DescribeMeasures();

// The contingency table's margins; see the header comment for the names.
struct PairCounts {
  double a;  // n_ii
  double b;  // n_ix, the base word's frequency
  double c;  // n_xi, the other word's frequency
  double n;  // n_xx
};

// The score of `measure`, after the policy above (always finite).
double Score(Measure measure, const PairCounts& counts);

// The shortest text that reads back as the same double (std::to_chars).
std::string FormatScore(double score);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_MEASURES_H_
