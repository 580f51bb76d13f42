// Cutting sorted pair-count files into key ranges that can be merged apart:
// split keys are first words sampled from the inputs, so a cut never falls
// inside a first word's row, and the ranges' merges concatenated are the
// one merge.
#ifndef ULO_ENGINE_MERGE_KEY_RANGES_H_
#define ULO_ENGINE_MERGE_KEY_RANGES_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/files/mapped_file.h"

namespace ulo::engine {

// Range k holds the lines whose first word is at least keys[k - 1] (no
// bound for k = 0) and below keys[k] (no bound for the last range).
struct KeyRange {
  const std::string* low = nullptr;
  const std::string* high = nullptr;
};
KeyRange RangeOf(const std::vector<std::string>& keys, size_t k);

// Up to `ranges - 1` increasing split keys: first words of lines sampled
// evenly from every input, chosen so that each range holds about the same
// bytes. Fewer when the inputs hold few distinct first words.
std::vector<std::string> PickSplitKeys(const std::vector<std::string_view>& inputs, int ranges);

// Split keys for `ranges` ranges from samples of `inputs`: of at most 1,024
// of them, spread over the list, so that a plan stays cheap however many
// files there are (any increasing keys cut right; the samples only even the
// ranges out). False with a sentence in `*error` when a sampled file cannot
// be read.
bool SampleSplitKeys(const std::vector<std::string>& inputs, int ranges,
                     std::vector<std::string>* keys, std::string* error);

// The offset of the first line of sorted `text` whose first word is not
// below `key` (the size of `text` when there is none): a binary search.
size_t CutAt(std::string_view text, std::string_view key);

// Why the merged pair-count text of one range shows that an input was not
// sorted: a key not above the one before it, or a first word outside
// `range`. The merge keeps each input's order, so any input out of order
// shows in its output. Empty when the text is in order.
std::string OrderProblem(std::string_view text, KeyRange range);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_MERGE_KEY_RANGES_H_
