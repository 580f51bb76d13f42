#include "text/field_cut.h"

#include <cstring>

#include "text/find_text.h"

namespace ulo::text {

CutResult CutPairLine(std::string_view line, const FieldLimits& limits, PairFields* fields) {
  if (const void* nul = std::memchr(line.data(), '\0', line.size())) {
    line = line.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - line.data()));
  }
  if (line.size() > limits.maxLine) return CutResult::kTooLong;

  int32_t first = FindText("\t", line, 0);
  if (first < 0) return CutResult::kNoTabs;
  std::string_view afterFirst = line.substr(static_cast<size_t>(first) + 1);
  int32_t second = FindText("\t", afterFirst, 0);
  if (second < 0) return CutResult::kNoTabs;

  std::string_view word1 = line.substr(0, static_cast<size_t>(first));
  std::string_view word2 = afterFirst.substr(0, static_cast<size_t>(second));
  std::string_view rest = afterFirst.substr(static_cast<size_t>(second) + 1);
  if (word1.size() > limits.maxWord || word2.size() > limits.maxWord ||
      rest.size() > limits.maxRest) {
    return CutResult::kTooLong;
  }
  fields->word1 = word1;
  fields->word2 = word2;
  fields->rest = StripTrailingChar(rest, '\n');
  return CutResult::kCut;
}

}  // namespace ulo::text
