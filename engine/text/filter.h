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
  bool gb2312Only = false;   // drop the tokens that hold a character without a GB2312 form
  std::string stopwordText;  // more words, one a line, in the corpus's encoding
};

// The lists written for ulo, one word a line: Chinese in GB2312, English in
// ASCII (so in GB18030 too). Embedded at build time from engine/text/stopwords/.
std::string_view DefaultStopwordsZh();
std::string_view DefaultStopwordsEn();

// Whether a token (library text) consists only of punctuation, symbols and
// numbers by Unicode's categories, with the marks and format characters
// that vary them (an emoji's variation selector). Letters and ideographs
// are not; nor is the empty token.
bool IsPunctuationToken(std::string_view token);

// Whether every character of a token (library text) has a GB2312 form.
bool HasGb2312Form(std::string_view token);

class TokenFilter {
 public:
  // Loads the lists. `from` is the corpus's encoding (empty: the library's), in
  // which the stop-word files are written. False with a sentence in
  // `*error` when a file cannot be read or `from` is unknown.
  bool Open(const FilterOptions& options, const std::string& from, std::string* error);

  bool active() const { return !stopwords.empty() || dropPunctuation || gb2312Only; }
  // Removes the dropped tokens from `*tokens`, keeping the others' order.
  void Apply(std::vector<std::string_view>* tokens);

  uint64_t stopwordsDropped() const { return stopwordCount; }
  uint64_t punctuationDropped() const { return punctuationCount; }
  uint64_t outsideGb2312Dropped() const { return outsideGb2312Count; }
  size_t stopwordListSize() const { return stopwords.size(); }

 private:
  void AddList(std::string_view text);
  // AddList of `text` in the encoding `from` (empty: the library's). A line
  // a corpus could not hold is refused: `name` says whose, for the sentence.
  bool AddText(std::string_view text, const std::string& from, const std::string& name,
               std::string* error);
  bool IsStopword(std::string_view token) const;

  std::unordered_set<std::string> stopwords;  // ASCII letters in lower case
  bool dropPunctuation = false;
  bool gb2312Only = false;
  uint64_t stopwordCount = 0;
  uint64_t outsideGb2312Count = 0;
  uint64_t punctuationCount = 0;
  mutable std::string folded;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_TOKEN_FILTER_H_
