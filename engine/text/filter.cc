#include "engine/text/filter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "engine/files/checks.h"
#include "engine/text/characters.h"
#include "engine/text/encoding.h"
#include "engine/text/tokenizer.h"

namespace ulo::engine {
namespace {

// ASCII letters in lower case, in place. Whole characters only: a
// two-byte character's trail byte may look like an ASCII capital (B7 4E is
// 種, B7 6E is 穘), and folding it would make another word.
void FoldAscii(std::string* text) {
  for (size_t i = 0; i < text->size();) {
    char& c = (*text)[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    i += CharacterLength(*text, i);
  }
}

}  // namespace

bool IsPunctuationToken(std::string_view token) {
  bool symbol = false;
  for (size_t i = 0; i < token.size();) {
    size_t length = CharacterLength(token, i);
    uint8_t traits = TraitsOf(token.substr(i, length));
    // The ideographic zero is an ideograph and a number: a number here.
    if ((traits & kSymbol) != 0) {
      symbol = true;
    } else if ((traits & kJoiner) == 0) {
      return false;
    }
    i += length;
  }
  return symbol;
}

bool HasGb2312Form(std::string_view token) {
  for (size_t i = 0; i < token.size();) {
    auto lead = static_cast<unsigned char>(token[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length = CharacterLength(token, i);
    if ((TraitsOf(token.substr(i, length)) & kGb2312) == 0) return false;
    i += length;
  }
  return true;
}

void TokenFilter::AddList(std::string_view text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    // Trimmed of the white space the tokenizer splits at (an ideographic
    // space too, or a CR) and of a byte-order mark: a word with either kept
    // would match no token.
    std::string_view word = TrimBlanks(WithoutByteOrderMark(text.substr(start, end - start)));
    if (!word.empty()) {
      std::string key(word);
      FoldAscii(&key);
      stopwords.insert(std::move(key));
    }
    start = end + 1;
  }
}

bool TokenFilter::Open(const FilterOptions& options, const std::string& from, std::string* error) {
  dropPunctuation = options.dropPunctuation;
  gb2312Only = options.gb2312Only;
  if (options.defaultStopwords) {
    AddList(DefaultStopwordsZh());
    AddList(DefaultStopwordsEn());
  }
  for (const std::string& path : options.stopwordFiles) {
    if (std::string problem = InputFileProblem(path, InputKind::kStopwords); !problem.empty()) {
      *error = "cannot read the stop-word file " + path + ": " + problem;
      return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
      *error = "cannot read the stop-word file " + path + ": " + std::strerror(errno);
      return false;
    }
    if (!AddText(text, from, "the stop-word file " + path, error)) return false;
  }
  return options.stopwordText.empty() ||
         AddText(options.stopwordText, from, "the stop words given as text", error);
}

bool TokenFilter::AddText(std::string_view text, const std::string& from, const std::string& name,
                          std::string* error) {
  std::optional<Converter> converter;
  if (!from.empty()) {
    converter.emplace();
    if (!converter->Open(from, kLibraryEncoding, error)) return false;
  }
  // Checked line by line as a corpus is: a byte skipped would leave another
  // word, which would then be dropped from the corpus.
  std::string words, converted;
  uint64_t lineNumber = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
    std::string_view line = text.substr(start, end - start);
    start = end;
    ++lineNumber;
    std::string problem = CorpusLineProblem(line, !converter);
    if (problem.empty() && converter && ConvertWhole(*converter, from, line, &converted, &problem))
      line = converted;
    if (!problem.empty()) {
      *error = "cannot read " + name + ": line " + std::to_string(lineNumber) + ": " + problem;
      return false;
    }
    words.append(line);
  }
  AddList(words);
  return true;
}

bool TokenFilter::IsStopword(std::string_view token) const {
  if (stopwords.empty()) return false;
  folded.assign(token);
  FoldAscii(&folded);
  return stopwords.count(folded) != 0;
}

void TokenFilter::Apply(std::vector<std::string_view>* tokens) {
  if (!active()) return;
  auto kept = std::remove_if(tokens->begin(), tokens->end(), [this](std::string_view token) {
    // Dropped whole: cutting the character out would make up another word.
    if (gb2312Only && !HasGb2312Form(token)) {
      ++outsideGb2312Count;
      return true;
    }
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
