#include "engine/text/filter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "engine/files/checks.h"
#include "engine/text/encoding.h"

namespace ulo::engine {
namespace {

bool IsAsciiPunctuationOrDigit(unsigned char c) {
  return (c >= '!' && c <= '/') || (c >= '0' && c <= '9') || (c >= ':' && c <= '@') ||
         (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}

// A GB2312 character of rows 1 to 9 that is no letter.
bool IsGb2312Symbol(unsigned char lead, unsigned char trail) {
  if (trail < 0xA1 || trail > 0xFE) return false;
  switch (lead) {
    case 0xA1:  // punctuation and symbols
    case 0xA2:  // numerals
    case 0xA9:  // box drawing
      return true;
    case 0xA3:  // full-width ASCII: all but its letters
      return !((trail >= 0xC1 && trail <= 0xDA) || (trail >= 0xE1 && trail <= 0xFA));
    default:  // rows 4 to 8 are letters; from row 16 on, Chinese characters
      return false;
  }
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsPunctuationToken(std::string_view token) {
  if (token.empty()) return false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(token.data());
  for (size_t i = 0; i < token.size();) {
    if (bytes[i] < 0x80) {
      if (!IsAsciiPunctuationOrDigit(bytes[i])) return false;
      ++i;
    } else {
      if (i + 1 >= token.size() || !IsGb2312Symbol(bytes[i], bytes[i + 1])) return false;
      i += 2;
    }
  }
  return true;
}

void TokenFilter::AddList(std::string_view text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view word = text.substr(start, end - start);
    while (!word.empty() && (word.back() == '\r' || word.back() == ' ' || word.back() == '\t')) {
      word.remove_suffix(1);
    }
    while (!word.empty() && (word.front() == ' ' || word.front() == '\t'))
      word.remove_prefix(1);
    if (!word.empty()) {
      std::string key(word);
      std::transform(key.begin(), key.end(), key.begin(), Lower);
      stopwords.insert(std::move(key));
    }
    start = end + 1;
  }
}

bool TokenFilter::Open(const FilterOptions& options, const std::string& from, std::string* error) {
  dropPunctuation = options.dropPunctuation;
  if (options.defaultStopwords) {
    AddList(DefaultStopwordsZh());
    AddList(DefaultStopwordsEn());
  }
  for (const std::string& path : options.stopwordFiles) {
    if (std::string problem = InputFileProblem(path); !problem.empty()) {
      *error = "cannot read the stop-word file " + path + ": " + problem;
      return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
      *error = "cannot read the stop-word file " + path + ": " + std::strerror(errno);
      return false;
    }
    if (!AddText(text, from, error)) return false;
  }
  return options.stopwordText.empty() || AddText(options.stopwordText, from, error);
}

bool TokenFilter::AddText(std::string_view text, const std::string& from, std::string* error) {
  if (from.empty()) {
    AddList(text);
    return true;
  }
  Converter converter;
  std::string converted;
  if (!converter.Open(from, "GB2312", error)) return false;
  converter.Convert(text, &converted);
  AddList(converted);
  return true;
}

bool TokenFilter::IsStopword(std::string_view token) const {
  if (stopwords.empty()) return false;
  folded.assign(token);
  std::transform(folded.begin(), folded.end(), folded.begin(), Lower);
  return stopwords.count(folded) != 0;
}

void TokenFilter::Apply(std::vector<std::string_view>* tokens) {
  if (!active()) return;
  auto kept = std::remove_if(tokens->begin(), tokens->end(), [this](std::string_view token) {
    if (dropPunctuation && IsPunctuationToken(token)) {
      ++punctuationCount;
      return true;
    }
    if (IsStopword(token)) {
      ++stopwordCount;
      return true;
    }
    return false;
  });
  tokens->erase(kept, tokens->end());
}

}  // namespace ulo::engine
