// Ranking a parts directory part by part, each step in processes of their
// own: every part's frequencies and total (a small table each), summed;
// then every part scored against the sums, keeping each word's best items;
// then, for each range of words, the lists of every part joined in file
// order. The result is the bytes of ranking the parts joined.
#ifndef ULO_ENGINE_STATS_RANK_PARTS_H_
#define ULO_ENGINE_STATS_RANK_PARTS_H_

#include <string>

#include "engine/stats/rank.h"

namespace ulo::engine {

// Writes the ranking of the parts directory `dir` to `out`, as
// WriteRanking does (in `options.to`, put in place as `output` says), and
// sets `*lossyWords` as RankFile does. Returns an empty string or the
// sentence that says what failed.
std::string RankParts(const std::string& dir, const RankOptions& options, const std::string& out,
                      const OutputOptions& output, uint64_t* lossyWords = nullptr);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_STATS_RANK_PARTS_H_
