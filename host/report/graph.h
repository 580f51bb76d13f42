// A picture of words' neighbourhoods: each word, its best associated words
// and, to a given depth, theirs, drawn by Graphviz from a DOT file.
#ifndef ULO_HOST_REPORT_GRAPH_H_
#define ULO_HOST_REPORT_GRAPH_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/stats/rank.h"

namespace ulo::host {

using namespace ::ulo::engine;

struct GraphEdge {
  uint32_t from;
  uint32_t to;
  double score;
};

struct Neighbourhood {
  std::vector<uint32_t> nodes;  // the start words first
  size_t starts = 0;
  std::vector<GraphEdge> edges;  // each pair of words once, with its better score
};

// Walks `ranking`'s lists from `starts` (word ids) to `depth` steps.
Neighbourhood Collect(const Ranking& ranking, const std::vector<uint32_t>& starts, int depth);

// The DOT text of `graph`, labels converted from the library's encoding to UTF-8, edges
// labelled with their scores and drawn the wider the higher they score. Empty, with a
// sentence naming `pairs` in `*error`, when a word is not library text.
std::string ToDot(const Ranking& ranking, const Neighbourhood& graph, const std::string& measure,
                  const std::string& pairs, std::string* error);

// Runs Graphviz's dot on `dotPath` into `outPath` in `format` ("svg" or
// "png"). False with a sentence in `*error`.
bool RunDot(const std::string& dotPath, const std::string& outPath, const std::string& format,
            std::string* error);

}  // namespace ulo::host

#endif  // ULO_HOST_REPORT_GRAPH_H_
