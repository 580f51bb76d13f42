// The file formats of an export: CSV (RFC 4180, with a header line) for
// spreadsheets and data frames, GEXF 1.3 and GraphML for graph tools. Words
// come in already converted to the output's encoding (always UTF-8 for XML,
// the one encoding every XML reader takes); a writer only lays them out and
// escapes them.
#ifndef ULO_ENGINE_EXPORT_FORMATS_H_
#define ULO_ENGINE_EXPORT_FORMATS_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ulo::engine {

enum class ExportFormat { kCsv, kGexf, kGraphml };

// "csv", "gexf" or "graphml"; nullopt for anything else.
std::optional<ExportFormat> ParseExportFormat(std::string_view name);
// The format a path's extension names (.csv, .gexf, .graphml), or nullopt.
std::optional<ExportFormat> FormatOfPath(const std::string& path);

// What the edges carry beyond their two words.
enum class EdgeKind {
  kPair,     // a line of a pair-count file: count, score, the words' frequencies
  kRanking,  // a line of a ranking: score, count, the side `other` stood on
};

struct ExportEdge {
  uint32_t source;  // node ids
  uint32_t target;
  int64_t count;
  double score;
  bool follows = true;  // for a ranking: `target` stood after `source`
};

struct ExportGraph {
  EdgeKind kind = EdgeKind::kPair;
  bool directed = true;
  std::string measure;               // the name of the score
  std::vector<std::string> labels;   // node id -> word
  std::vector<int64_t> frequencies;  // node id -> frequency; empty for a ranking
  std::vector<bool> shown;           // node id -> written as a node (has an edge)
};

// Writes a graph as text in steps: Begin (the header and the nodes), each
// edge in turn, End. Output goes to `sink`, which is cleared by the caller
// whenever convenient (the writer only appends).
class GraphFormatter {
 public:
  virtual ~GraphFormatter() = default;
  virtual void Begin(const ExportGraph& graph, std::string* sink) = 0;
  virtual void Edge(const ExportGraph& graph, const ExportEdge& edge, std::string* sink) = 0;
  virtual void End(std::string* sink) = 0;
};

std::unique_ptr<GraphFormatter> MakeFormatter(ExportFormat format);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_EXPORT_FORMATS_H_
