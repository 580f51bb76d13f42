#include "text/field_cut.h"

#include <cstring>

namespace ulo::text {

CutResult CutPairLine(std::string_view line, const FieldLimits& limits, PairFields* fields) {
  const char* bytes = line.data();
  size_t size = line.size();
  if (size > limits.maxLine) {
    // Too long, unless a NUL ends the string early.
    const void* nul = std::memchr(bytes, '\0', size);
    if (nul == nullptr) return CutResult::kTooLong;
    size = static_cast<size_t>(static_cast<const char*>(nul) - bytes);
    if (size > limits.maxLine) return CutResult::kTooLong;
  }
  // One pass over the (short) line finds what FindText("\t", ...) would
  // find for each field, stopping at a NUL as a C string ends there.
  size_t i = 0;
  while (i < size && bytes[i] != '\t') {
    if (bytes[i] == '\0') return CutResult::kNoTabs;
    ++i;
  }
  if (i == size) return CutResult::kNoTabs;
  const size_t first = i++;
  while (i < size && bytes[i] != '\t') {
    if (bytes[i] == '\0') return CutResult::kNoTabs;
    ++i;
  }
  if (i == size) return CutResult::kNoTabs;
  const size_t second = i++;
  while (i < size && bytes[i] != '\0')
    ++i;
  const size_t restSize = i - second - 1;
  if (first > limits.maxWord || second - first - 1 > limits.maxWord || restSize > limits.maxRest) {
    return CutResult::kTooLong;
  }
  // The rest without the LF bytes that end it.
  size_t keep = restSize;
  while (keep > 0 && bytes[second + keep] == '\n')
    --keep;
  fields->word1 = std::string_view(bytes, first);
  fields->word2 = std::string_view(bytes + first + 1, second - first - 1);
  fields->rest = std::string_view(bytes + second + 1, keep);
  return CutResult::kCut;
}

}  // namespace ulo::text
