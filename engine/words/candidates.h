// New-word candidates as pairs the library counts. A run is a stretch of
// letters of a script written without spaces between words (Han, kana, Thai
// and the like); punctuation, digits, spaces, other scripts and line ends
// end it. Every string of 1 to N letters of a run is counted, one way, as
//   string TAB "=" TAB count         one letter: its frequency
//   string TAB "<" before TAB count   2 to N letters: the character before it
//   string TAB ">" after TAB count    and the one after it
// where `before` and `after` are empty at a line's ends and beside white
// space (the zero width space too) or control characters. In a sorted file
// a string's lines stand together: its frequency is the sum of its ">"
// counts (or its "=" count), and its "<" and ">" lines are its neighbours'
// distributions. The marks are ASCII, which no GB18030 character holds in a
// later byte.
#ifndef ULO_ENGINE_WORDS_CANDIDATES_H_
#define ULO_ENGINE_WORDS_CANDIDATES_H_

#include <cstddef>
#include <string_view>

#include "engine/text/pair_batch.h"

namespace ulo::engine {

inline constexpr char kBeforeMark = '<';
inline constexpr char kSelfMark = '=';
inline constexpr char kAfterMark = '>';

// Longest candidate counted: beyond this the pairs grow and words do not.
inline constexpr int kMaxCandidateLength = 12;

// The byte length of the letter at `at` of library text: its character and
// the marks and format characters that join it (a Thai vowel sign stays with
// its consonant).
size_t LetterLength(std::string_view text, size_t at);

// Letters in `text` (library text), as LetterLength cuts them.
size_t LetterCount(std::string_view text);

// Adds the candidate pairs of one line of library text (its line end may be
// included) for strings of up to `maxLength` letters. False once the batch's
// hand-over to the library has failed.
bool AddCandidatePairs(std::string_view line, int maxLength, PairBatch* batch);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_WORDS_CANDIDATES_H_
