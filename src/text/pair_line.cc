#include "text/pair_line.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace ulo::text {
namespace {

// White space as isspace() sees it in the "C" locale.
bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

int64_t ParseCountInteger(std::string_view text) {
  // Counts as the writers make them: plain digits, too few to overflow.
  if (!text.empty() && text.size() <= 18 && IsDigit(text[0])) {
    int64_t value = 0;
    for (size_t k = 0; k < text.size() && IsDigit(text[k]); ++k)
      value = value * 10 + (text[k] - '0');
    return value;
  }
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate as a negative number: its range reaches INT64_MIN.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    int digit = text[i] - '0';
    if (value < (kMin + digit) / 10) {
      saturated = true;
      continue;  // keep consuming digits; the value stays pinned
    }
    value = value * 10 - digit;
  }
  if (saturated) return negative ? kMin : std::numeric_limits<int64_t>::max();
  if (negative) return value;
  return value == kMin ? std::numeric_limits<int64_t>::max() : -value;
}

double ParseCountReal(std::string_view text) {
  // Plain integers, by far the common case, convert exactly without strtod.
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i]))
    ++i;
  size_t signAt = i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  size_t digitsAt = i;
  int64_t value = 0;
  while (i < text.size() && IsDigit(text[i]) && i - digitsAt < 15) {
    value = value * 10 + (text[i] - '0');
    ++i;
  }
  bool simple = i > digitsAt;
  if (simple && i < text.size()) {
    char next = text[i];
    // A fraction, an exponent, a hexadecimal form or more digits: strtod.
    if (IsDigit(next) || next == '.' || next == 'e' || next == 'E' || next == 'x' || next == 'X') {
      simple = false;
    }
  }
  if (simple) return negative ? -static_cast<double>(value) : static_cast<double>(value);

  std::string copy(text.substr(signAt));
  return std::strtod(copy.c_str(), nullptr);
}

}  // namespace ulo::text
