#include "engine/words/candidates.h"

#include <string>
#include <vector>

#include "engine/text/characters.h"

namespace ulo::engine {
namespace {

// U+200B, a format character that marks a word break (Thai, Khmer): it
// ends a run as a space does, where other format characters join.
constexpr std::string_view kZeroWidthSpace = "\x81\x36\xA4\x37";

struct Letter {
  size_t begin;
  size_t end;
  bool candidate;  // of a script written without spaces
  bool visible;    // a neighbour worth naming; else a boundary
};

void CutLetters(std::string_view line, std::vector<Letter>* letters) {
  letters->clear();
  for (size_t at = 0; at < line.size();) {
    size_t length = LetterLength(line, at);
    std::string_view character = line.substr(at, CharacterLength(line, at));
    uint8_t traits = TraitsOf(character);
    bool visible = (traits & (kLetter | kSymbol | kJoiner)) != 0 && (traits & kSpace) == 0 &&
                   character != kZeroWidthSpace;
    letters->push_back({at, at + length, (traits & kUnspaced) != 0, visible});
    at += length;
  }
}

}  // namespace

size_t LetterLength(std::string_view text, size_t at) {
  size_t end = at + CharacterLength(text, at);
  while (end < text.size()) {
    std::string_view character = text.substr(end, CharacterLength(text, end));
    if ((TraitsOf(character) & kJoiner) == 0 || character == kZeroWidthSpace) break;
    end += character.size();
  }
  return end - at;
}

size_t LetterCount(std::string_view text) {
  size_t count = 0;
  for (size_t at = 0; at < text.size(); at += LetterLength(text, at))
    ++count;
  return count;
}

bool AddCandidatePairs(std::string_view line, int maxLength, PairBatch* batch) {
  thread_local std::vector<Letter> letters;
  thread_local std::string before, after;
  CutLetters(line, &letters);
  auto text = [&](size_t from, size_t to) {
    return line.substr(letters[from].begin, letters[to - 1].end - letters[from].begin);
  };
  auto neighbour = [&](std::string* into, char mark, size_t index, bool inside) {
    into->assign(1, mark);
    if (inside && letters[index].visible) into->append(text(index, index + 1));
  };
  const std::string_view self(&kSelfMark, 1);
  size_t count = letters.size();
  for (size_t start = 0; start < count;) {
    if (!letters[start].candidate) {
      ++start;
      continue;
    }
    size_t end = start;
    while (end < count && letters[end].candidate)
      ++end;
    for (size_t i = start; i < end; ++i) {
      if (!batch->Add(text(i, i + 1), self)) return false;
      neighbour(&before, kBeforeMark, i - 1, i > 0);
      for (size_t stop = i + 2; stop <= end && stop - i <= static_cast<size_t>(maxLength); ++stop) {
        neighbour(&after, kAfterMark, stop, stop < count);
        if (!batch->Add(text(i, stop), before) || !batch->Add(text(i, stop), after)) return false;
      }
    }
    start = end;
  }
  return true;
}

}  // namespace ulo::engine
