#include "engine/text/tokenizer.h"

#include "engine/text/characters.h"

namespace ulo::engine {
namespace {

bool IsAsciiSeparator(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0;
}

// The length of the separator at `at` (white space of any script), or 0.
size_t SeparatorAt(std::string_view line, size_t at) {
  auto lead = static_cast<unsigned char>(line[at]);
  if (lead < 0x80) return IsAsciiSeparator(lead) ? 1 : 0;
  size_t length = CharacterLength(line, at);
  // The ideographic space A1 A1 is the common one; no other two-byte
  // character is white space.
  if (length == 2) return lead == 0xA1 && static_cast<unsigned char>(line[at + 1]) == 0xA1 ? 2 : 0;
  if (length == 4 && (TraitsOf(line.substr(at, 4)) & kSpace) != 0) return 4;
  return 0;
}

// Past the escape sequence at `at` (ESC, and for ESC [ its parameters and
// final byte).
size_t SkipControlSequence(std::string_view line, size_t at) {
  ++at;
  if (at >= line.size() || line[at] != '[') return at;
  for (++at; at < line.size(); ++at) {
    auto c = static_cast<unsigned char>(line[at]);
    if (c >= 0x40 && c <= 0x7E) return at + 1;
  }
  return at;
}

}  // namespace

std::string_view WithoutByteOrderMark(std::string_view line) {
  constexpr std::string_view kMark = "\x84\x31\x95\x33";  // U+FEFF in GB18030
  return line.substr(0, kMark.size()) == kMark ? line.substr(kMark.size()) : line;
}

std::string_view TrimBlanks(std::string_view text) {
  size_t start = 0, end = 0;
  for (size_t i = 0; i < text.size();) {
    if (size_t blank = SeparatorAt(text, i); blank > 0) {
      i += blank;
      continue;
    }
    if (end == 0) start = i;
    i += CharacterLength(text, i);
    end = i;
  }
  return text.substr(start, end - start);
}

void Tokenize(std::string_view line, TokenMode mode, std::vector<std::string_view>* tokens) {
  tokens->clear();
  size_t n = line.size();
  if (mode == TokenMode::kChars) {
    bool lastKept = false;
    for (size_t i = 0; i < n;) {
      if (line[i] == '\x1B') {
        // A terminal's colour code (ESC [ 32 m) is no text: its letter is
        // no token.
        i = SkipControlSequence(line, i);
        lastKept = false;
        continue;
      }
      size_t length = CharacterLength(line, i);
      uint8_t traits = TraitsOf(line.substr(i, length));
      if ((traits & kLetter) != 0) {
        tokens->push_back(line.substr(i, length));
        lastKept = true;
      } else if ((traits & kJoiner) != 0 && (traits & kUnjoined) == 0 && lastKept) {
        // A combining accent stays with its letter; a zero-width space or a
        // soft hyphen would make another token of the letter before it.
        std::string_view& last = tokens->back();
        last = std::string_view(last.data(), last.size() + length);
      } else {
        lastKept = false;
      }
      i += length;
    }
    return;
  }
  size_t i = n - WithoutByteOrderMark(line).size();
  while (i < n) {
    if (size_t blank = SeparatorAt(line, i); blank > 0) {
      i += blank;
      continue;
    }
    size_t start = i;
    // Whole characters only: a trail byte is never taken for a separator.
    while (i < n && SeparatorAt(line, i) == 0)
      i += CharacterLength(line, i);
    tokens->push_back(line.substr(start, i - start));
  }
}

}  // namespace ulo::engine
