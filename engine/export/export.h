// Pairs or a ranking written for other tools: a CSV table, or a graph of
// words (nodes, with their frequencies) and pairs (edges, with count and
// score) as GEXF or GraphML. Words are converted from the file's encoding
// (the library's for pairs, UTF-8 for a ranking) to the one people read.
#ifndef ULO_ENGINE_EXPORT_EXPORT_H_
#define ULO_ENGINE_EXPORT_EXPORT_H_

#include <cstdint>
#include <string>

#include "engine/session/operations.h"
#include "engine/stats/rank.h"

namespace ulo::engine {

struct ExportOptions {
  // The measure of the score, the filters and the output's encoding (`to`);
  // its `top` is not used.
  RankOptions rank;
  // 0: every pair that passes the filters; N: only pairs among either
  // word's N best by the measure. For a ranking: each word's first N lines.
  int32_t top = 0;
  // "csv", "gexf" or "graphml"; empty: from the output's extension.
  std::string format;
};

// Exports the pair-count file or ranking `in` (told apart by the fields of
// its first line) to `out`, staged: `out` appears whole or not at all. A
// pair-count file counted both ways (every pair on two lines with one
// count) gives an undirected graph with each pair once; one counted one
// way gives a directed one, word1 -> word2. A ranking gives a directed
// graph from each word to its associated words. Returns an empty string
// or the sentence that says what failed. With `lossyWords`, sets it to the
// number of words written with '?' for characters `options.rank.to` lacks.
std::string ExportFile(const std::string& in, const std::string& out, const ExportOptions& options,
                       const OperationOptions& operations = {}, uint64_t* lossyWords = nullptr);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_EXPORT_EXPORT_H_
