// The pair-count line, the one format passed between the operations:
//   word1 TAB word2 TAB count LF
// Words hold no TAB, LF or NUL byte; the count is a signed decimal integer.
#ifndef ULO_TEXT_PAIR_LINE_H_
#define ULO_TEXT_PAIR_LINE_H_

#include <cstdint>
#include <string_view>

#include "text/text_writer.h"

namespace ulo::text {

// Writes one pair-count line. Counts are 64-bit so that summed counts never
// wrap; within the 32-bit range the text is what "%d" gives.
inline void WritePairLine(TextWriter& out, std::string_view word1, std::string_view word2,
                          int64_t count) {
  out.Append(word1);
  out.Append('\t');
  out.Append(word2);
  out.Append('\t');
  out.AppendDecimal(count);
  out.Append('\n');
}

// Reads a count text as atoi does (leading white space, an optional sign,
// decimal digits up to the first other byte, 0 without digits), but in 64
// bits, saturating at the ends of the 64-bit range instead of wrapping.
int64_t ParseCountInteger(std::string_view text);

// Reads a count text as atof does (a count such as 2.5 keeps its fraction).
double ParseCountReal(std::string_view text);

}  // namespace ulo::text

#endif  // ULO_TEXT_PAIR_LINE_H_
