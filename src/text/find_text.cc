#include "text/find_text.h"

#include <cstring>

namespace ulo::text {

thread_local int32_t NextTable[kNextTableSize];

int32_t BuildNextTable(const char* pattern, int32_t length, int32_t* table) {
  int32_t i = -1;  // border length
  int32_t j = 0;   // position
  table[0] = -1;
  while (j < length) {
    while (i >= 0 && pattern[j] != pattern[i])
      i = table[i];
    ++i;
    ++j;
    table[j] = pattern[j] == pattern[i] ? table[i] : i;
  }
  return i;
}

int32_t FindText(std::string_view pattern, std::string_view text, int32_t start) {
  const auto m = static_cast<int64_t>(pattern.size());
  if (m < 1 || m > kNextTableSize - 1) return -1;
  if (start >= 0) {
    if (static_cast<size_t>(start) >= text.size()) return -1;
  } else {
    start = 0;  // no caller passes a negative start; search from the beginning
  }
  const char* searched = text.data() + start;
  const auto n = static_cast<int64_t>(text.size()) - start;
  if (n < m) return -1;

  BuildNextTable(pattern.data(), static_cast<int32_t>(m), NextTable);
  if (m == 1) {
    // Every caller searches for one TAB: the table cannot spare anything
    // there, so let memchr scan.
    const void* hit = std::memchr(searched, pattern[0], static_cast<size_t>(n));
    if (hit == nullptr) return -1;
    return static_cast<int32_t>(static_cast<const char*>(hit) - searched) + start;
  }
  int64_t i = 0;
  int64_t j = 0;
  for (;;) {
    while (j >= 0 && searched[i] != pattern[j])
      j = NextTable[j];
    ++i;
    ++j;
    if (j >= m) return static_cast<int32_t>(i - j) + start;
    if (i >= n) return -1;
  }
}

int32_t FindText(const char* pattern, const char* text, int32_t start) {
  if (pattern == nullptr || text == nullptr) return -1;
  size_t m = std::strlen(pattern);
  if (m < 1 || m > kNextTableSize - 1) return -1;
  return FindText(std::string_view(pattern, m), std::string_view(text), start);
}

int StripTrailingChar(char* text, char ch) {
  size_t length = std::strlen(text);
  size_t keep = length;
  while (keep > 0 && text[keep - 1] == ch)
    --keep;
  if (keep < length) text[keep] = '\0';
  return 0;
}

std::string_view StripTrailingChar(std::string_view text, char ch) {
  size_t keep = text.size();
  while (keep > 0 && text[keep - 1] == ch)
    --keep;
  return text.substr(0, keep);
}

}  // namespace ulo::text
