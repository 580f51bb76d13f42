// Filters that drop tokens before they are paired: stop words (the lists
// written for ulo, and files of the user's) and tokens made only of
// punctuation, symbols or digits.
#ifndef ULO_ENGINE_TOKEN_FILTER_H_
#define ULO_ENGINE_TOKEN_FILTER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace ulo::engine {

struct FilterOptions {
  std::vector<std::string> stopwordFiles;  // one word a line, in the corpus's encoding
  bool defaultStopwords = false;           // the Chinese and English lists of ulo
  bool dropPunctuation = false;
  std::string stopwordText;  // more words, one a line, in the corpus's encoding
};

// The lists written for ulo, one word a line: Chinese in GB2312, English in
// ASCII. Generated at build time from host/stopwords/.
std::string_view DefaultStopwordsZh();
std::string_view DefaultStopwordsEn();

// Whether a GB2312 token consists only of punctuation, symbols and digits:
// ASCII ones, and in GB2312 the non-letters of rows 1 to 9 (rows 1, 2 and 9,
// and row 3 but for its full-width Latin letters). The letters of rows 3
// to 8 (Latin, kana, Greek, Cyrillic, pinyin) and every Chinese character
// are not. The empty token is not.
bool IsPunctuationToken(std::string_view token);

class TokenFilter {
 public:
  // Loads the lists. `from` is the corpus's encoding (empty: GB2312), in
  // which the stop-word files are written. False with a sentence in
  // `*error` when a file cannot be read or `from` is unknown.
  bool Open(const FilterOptions& options, const std::string& from, std::string* error);

  bool active() const { return !stopwords.empty() || dropPunctuation; }
  // Removes the dropped tokens from `*tokens`, keeping the others' order.
  void Apply(std::vector<std::string_view>* tokens);

  uint64_t stopwordsDropped() const { return stopwordCount; }
  uint64_t punctuationDropped() const { return punctuationCount; }
  size_t stopwordListSize() const { return stopwords.size(); }

 private:
  void AddList(std::string_view text);
  // AddList of `text` in the encoding `from` (empty: GB2312).
  bool AddText(std::string_view text, const std::string& from, std::string* error);
  bool IsStopword(std::string_view token) const;

  std::unordered_set<std::string> stopwords;  // ASCII letters in lower case
  bool dropPunctuation = false;
  uint64_t stopwordCount = 0;
  uint64_t punctuationCount = 0;
  mutable std::string folded;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_TOKEN_FILTER_H_
