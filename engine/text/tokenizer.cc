#include "engine/text/tokenizer.h"

namespace ulo::engine {
namespace {

bool IsSeparator(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0;
}

// GB2312 Chinese characters: rows 16 to 87, lead bytes 0xB0-0xF7.
bool IsHanzi(unsigned char lead, unsigned char trail) {
  return lead >= 0xB0 && lead <= 0xF7 && trail >= 0xA1 && trail <= 0xFE;
}

}  // namespace

void Tokenize(std::string_view line, TokenMode mode, std::vector<std::string_view>* tokens) {
  tokens->clear();
  const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
  size_t n = line.size();
  if (mode == TokenMode::kChars) {
    for (size_t i = 0; i < n;) {
      if (bytes[i] < 0x81 || i + 1 >= n) {
        ++i;  // ASCII noise, or a lone lead byte at the end
        continue;
      }
      if (IsHanzi(bytes[i], bytes[i + 1])) tokens->push_back(line.substr(i, 2));
      i += 2;  // punctuation and symbols are double-byte too
    }
    return;
  }
  size_t i = 0;
  while (i < n) {
    // The ideographic space (A1 A1) separates words as a blank does.
    if (IsSeparator(bytes[i])) {
      ++i;
      continue;
    }
    if (bytes[i] == 0xA1 && i + 1 < n && bytes[i + 1] == 0xA1) {
      i += 2;
      continue;
    }
    size_t start = i;
    while (i < n && !IsSeparator(bytes[i]) &&
           !(bytes[i] == 0xA1 && i + 1 < n && bytes[i + 1] == 0xA1)) {
      // Keep double-byte characters whole (GBK trail bytes are 0x40 and up).
      i += bytes[i] >= 0x81 && i + 1 < n && bytes[i + 1] >= 0x40 ? 2 : 1;
    }
    tokens->push_back(line.substr(start, i - start));
  }
}

}  // namespace ulo::engine
