// Whether a file is the pair-count file it claims to be, read once from end
// to end before the library sees it: the library takes what it is given
// (a sign, a blank or a letter in a count, a pair on two lines) and its
// results are then silently wrong.
#ifndef ULO_ENGINE_PAIR_CHECK_H_
#define ULO_ENGINE_PAIR_CHECK_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace ulo::engine {

// What an operation needs of a pair-count file beyond the shape of its
// lines (word TAB word TAB count, both words non-empty, the count digits
// only and within 64 bits, no NUL byte; LF or CR LF line ends).
struct PairNeeds {
  bool order = false;   // lines in the byte order of (word1, word2)
  bool unique = false;  // no pair on two lines; checked on a file in order,
                        // so a file out of order fails this need too
};

// What the merge and the statistics need: both.
inline constexpr PairNeeds kMergedPairs{true, true};

// Reads "shape", "order", "unique" or "order,unique" (empty: shape). False
// for anything else.
bool ParsePairNeeds(std::string_view text, PairNeeds* needs);

// The first thing wrong with the file `path` as a pair-count file with
// `needs`, as a sentence naming the file: "PATH is not a pair-count file:
// line N: WHAT", or "cannot read PATH: CAUSE". Empty when nothing is.
std::string PairFileProblem(const std::string& path, PairNeeds needs);

// The first thing wrong with `lines`, whole lines of a pair-count file (the
// last one may lack its line end), as "line N: WHAT" counted from their
// first; empty when nothing is. `before`, the line before them (empty at the
// file's start), is where the order runs on from.
std::string PairLinesProblem(std::string_view before, std::string_view lines, PairNeeds needs);

// What is wrong with one line (its line end removed) on its own, or empty.
std::string PairLineProblem(std::string_view line);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_PAIR_CHECK_H_
