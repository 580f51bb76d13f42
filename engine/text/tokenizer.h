// Turning corpus lines into tokens and the token pairs fed to the library.
#ifndef ULO_ENGINE_CORPUS_H_
#define ULO_ENGINE_CORPUS_H_

#include <string_view>
#include <vector>

namespace ulo::engine {

enum class TokenMode {
  kWords,  // tokens are separated by white space, of any script
  kChars,  // every letter or ideograph is a token; everything else is skipped
};

// `line` of library text without the byte-order mark (U+FEFF) that may open
// it, as it opens a file saved with one: the mark is no part of a word.
std::string_view WithoutByteOrderMark(std::string_view line);

// `text` (library text) without the white space of any script around it,
// the blanks Tokenize splits at.
std::string_view TrimBlanks(std::string_view text);

// Splits one line of library text (GB18030) into tokens. The views point into `line`.
void Tokenize(std::string_view line, TokenMode mode, std::vector<std::string_view>* tokens);

// Calls emit(first, second) for every pair of tokens at most `window`
// positions apart, in reading order: (t0,t1), (t0,t2), ..., (t1,t2), ...
template <typename Emit>
void ForEachPair(const std::vector<std::string_view>& tokens, int window, Emit emit) {
  for (size_t i = 0; i < tokens.size(); ++i) {
    for (size_t j = i + 1; j < tokens.size() && j - i <= static_cast<size_t>(window); ++j) {
      emit(tokens[i], tokens[j]);
    }
  }
}

}  // namespace ulo::engine

#endif  // ULO_ENGINE_CORPUS_H_
