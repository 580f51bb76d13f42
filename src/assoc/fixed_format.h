// Fixed-point number text, byte for byte as the C library's "%.<n>f" writes
// it, without going through printf for every number.
#ifndef ULO_ASSOC_FIXED_FORMAT_H_
#define ULO_ASSOC_FIXED_FORMAT_H_

#include <cstddef>

namespace ulo::assoc {

// Room for any double with up to 6 decimals: 309 integer digits, a sign, the
// point and the decimals.
constexpr size_t kFixedTextMax = 330;

// Writes `value` at `out` as "%.<precision>f" does (precision 0 to 6):
// rounded exactly from the binary value, ties to even, a minus sign whenever
// the sign bit is set ("-0.00"), and "inf", "-inf", "nan", "-nan" for the
// values that are not finite. Returns the end of the text; `out` needs room
// for kFixedTextMax bytes.
char* FormatFixed(double value, int precision, char* out);

}  // namespace ulo::assoc

#endif  // ULO_ASSOC_FIXED_FORMAT_H_
