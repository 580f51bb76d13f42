// The field cut: how the filter and the statistics readers split a
// pair-count line at its first two TABs, with each reader's limits. The
// readers cut as they scan (assoc/pair_scanner.h): a line is taken as a C
// string (a NUL ends it), and a line or a field beyond its limit is skipped.
#ifndef ULO_TEXT_FIELD_CUT_H_
#define ULO_TEXT_FIELD_CUT_H_

#include <cstddef>
#include <string_view>

namespace ulo::text {

// What one reader accepts, in bytes. A line or a field beyond its limit is
// refused whole, never split or cut short.
struct FieldLimits {
  size_t maxLine;  // the whole line, its LF included
  size_t maxWord;  // word1 and word2 each
  size_t maxRest;  // everything after the second TAB, its LF included
};

// The pair filter.
inline constexpr FieldLimits kFilterLimits{1021, 127, 127};
// The support records, in both passes (the second converts only the first
// 31 bytes of the rest).
inline constexpr FieldLimits kSupportLimits{1021, 511, 127};
// The top-N ranking, in both passes.
inline constexpr FieldLimits kTopNLimits{509, 63, 31};

struct PairFields {
  std::string_view word1;  // the bytes before the first TAB
  std::string_view word2;  // the bytes between the first and the second TAB
  std::string_view rest;   // the bytes after the second TAB, trailing LFs removed
};

}  // namespace ulo::text

#endif  // ULO_TEXT_FIELD_CUT_H_
