// One word's associations at once: its lines found by binary search in the
// sorted pair-count file, scored with the frequencies of its sidecar. The
// same list as ranking the whole file for that word.
#ifndef ULO_ENGINE_QUERY_WORD_QUERY_H_
#define ULO_ENGINE_QUERY_WORD_QUERY_H_

#include <string>

#include "engine/query/word_frequencies.h"
#include "engine/stats/rank.h"

namespace ulo::engine {

// Ranks `word`'s associates of `pairs` into `*ranking`, which then knows
// `word` unless the file lacks it. A file counted one way keeps the words
// before `word` on other words' lines: with a direction other than `after`
// that file is read whole. False with a sentence in `*error`.
bool RankWord(const std::string& pairs, const WordFrequencies& frequencies, const std::string& word,
              const RankOptions& options, Ranking* ranking, std::string* error);

// `word`'s ranked lines (word TAB other TAB score TAB count TAB side, as a
// ranked file has them, the words in `options.to`): what `ulo show` and
// Python's neighbours() print. False with a sentence in `*error`.
bool WordRankingText(const std::string& pairs, const std::string& word, const RankOptions& options,
                     std::string* text, std::string* error);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_QUERY_WORD_QUERY_H_
