// The pair filter: the pairs of a pair-count file whose count reaches a
// threshold, written count first.
#ifndef ULO_ASSOC_PAIR_FILTER_H_
#define ULO_ASSOC_PAIR_FILTER_H_

#include <cstdint>

namespace ulo::assoc {

// Writes, for every line of `inputPath` whose count is at least `threshold`,
// the line "count TAB word1 TAB word2 LF" to `outputPath`, in input order; the
// count text goes out exactly as read. Returns false for a null path, an
// output that names the input file, a file that cannot be opened, read or
// fully written.
bool FilterPairs(const char* inputPath, const char* outputPath, int32_t threshold);

}  // namespace ulo::assoc

#endif  // ULO_ASSOC_PAIR_FILTER_H_
