// Substring search and trailing-byte strip used to cut pair-count lines.
#ifndef ULO_TEXT_FIND_TEXT_H_
#define ULO_TEXT_FIND_TEXT_H_

#include <cstdint>
#include <string_view>

namespace ulo::text {

constexpr int kNextTableSize = 1024;

// Failure table of the current search. Every FindText call rebuilds it; it
// holds nothing that outlives that call. One table per thread, so searches
// on different threads never disturb each other.
extern thread_local int32_t NextTable[kNextTableSize];

// Fills table[0..length] with the optimised Knuth-Morris-Pratt failure table
// of the first `length` bytes of `pattern`, which must be followed by a NUL.
// Returns the length of the longest proper border of the whole pattern.
int32_t BuildNextTable(const char* pattern, int32_t length, int32_t* table);

// Index, counted from text[0], of the leftmost occurrence of `pattern` that
// begins at or after `start`; -1 when there is none, for a null argument, an
// empty pattern or one of 1024 bytes or more, a start at or beyond the end of
// the text, or a searched part shorter than the pattern.
int32_t FindText(const char* pattern, const char* text, int32_t start);

// The same search over byte ranges that need not be NUL-terminated (a
// `pattern` view must still be followed by a NUL for the table).
int32_t FindText(std::string_view pattern, std::string_view text, int32_t start);

// Removes, in place, the run of bytes equal to `ch` that ends `text`.
// Returns 0.
int StripTrailingChar(char* text, char ch);

// The same on a view: the view without its final run of `ch`.
std::string_view StripTrailingChar(std::string_view text, char ch);

}  // namespace ulo::text

#endif  // ULO_TEXT_FIND_TEXT_H_
