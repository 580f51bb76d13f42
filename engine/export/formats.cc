#include "engine/export/formats.h"

#include <cmath>
#include <filesystem>

#include "engine/stats/measures.h"

namespace ulo::engine {
namespace {

// A score as every reader of these formats parses it: Python's float and
// Java's Double both take "Infinity" and "NaN", neither takes "inf".
std::string ScoreText(double score) {
  if (std::isnan(score)) return "NaN";
  if (std::isinf(score)) return score > 0 ? "Infinity" : "-Infinity";
  return FormatScore(score);
}

// A field quoted as RFC 4180 asks when it holds a comma, a quote or a line end.
void AppendCsvField(std::string_view field, std::string* sink) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    sink->append(field);
    return;
  }
  *sink += '"';
  for (char c : field) {
    if (c == '"') *sink += '"';
    *sink += c;
  }
  *sink += '"';
}

// UTF-8 text for an XML attribute or element. XML 1.0 has no form at all for
// the control characters but TAB, LF and CR, nor for U+FFFE and U+FFFF, so
// they show as U+FFFD; a word never holds TAB or LF.
void AppendXmlText(std::string_view text, std::string* sink) {
  constexpr char kReplacement[] = "\xEF\xBF\xBD";
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '&':
        *sink += "&amp;";
        break;
      case '<':
        *sink += "&lt;";
        break;
      case '>':
        *sink += "&gt;";
        break;
      case '"':
        *sink += "&quot;";
        break;
      case '\r':
        *sink += "&#13;";
        break;
      default:
        std::string_view next = text.substr(i, 3);
        if (static_cast<unsigned char>(c) < 0x20) {
          *sink += kReplacement;
        } else if (next == "\xEF\xBF\xBE" || next == "\xEF\xBF\xBF") {  // U+FFFE, U+FFFF
          *sink += kReplacement;
          i += 2;
        } else {
          *sink += c;
        }
    }
  }
}

const char* Side(const ExportEdge& edge) {
  return edge.follows ? "after" : "before";
}

class CsvFormatter : public GraphFormatter {
 public:
  void Begin(const ExportGraph& graph, std::string* sink) override {
    *sink += graph.kind == EdgeKind::kPair ? "word1,word2,count,score,frequency1,frequency2\r\n"
                                           : "word,other,score,count,side\r\n";
  }
  void Edge(const ExportGraph& graph, const ExportEdge& edge, std::string* sink) override {
    AppendCsvField(graph.labels[edge.source], sink);
    *sink += ',';
    AppendCsvField(graph.labels[edge.target], sink);
    if (graph.kind == EdgeKind::kPair) {
      *sink += ',' + std::to_string(edge.count) + ',' + ScoreText(edge.score) + ',' +
               std::to_string(graph.frequencies[edge.source]) + ',' +
               std::to_string(graph.frequencies[edge.target]) + "\r\n";
    } else {
      *sink += ',' + ScoreText(edge.score) + ',' + std::to_string(edge.count) + ',' + Side(edge) +
               "\r\n";
    }
  }
  void End(std::string*) override {}
};

// What GEXF and GraphML share: the XML declaration, escaping, edge numbers.
class XmlFormatter : public GraphFormatter {
 protected:
  void Declaration(std::string* sink) { *sink += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"; }
  void Text(std::string_view text, std::string* sink) { AppendXmlText(text, sink); }

  uint64_t edges = 0;
};

class GexfFormatter : public XmlFormatter {
 public:
  void Begin(const ExportGraph& graph, std::string* sink) override {
    Declaration(sink);
    *sink += "<gexf xmlns=\"http://gexf.net/1.3\" version=\"1.3\">\n";
    *sink += "  <meta><creator>ulo</creator><description>";
    if (graph.kind == EdgeKind::kPair) {
      Text("word pairs, scored by " + graph.measure, sink);
    } else {
      Text("each word's associated words, as ranked", sink);
    }
    *sink += "</description></meta>\n";
    *sink += std::string("  <graph mode=\"static\" defaultedgetype=\"") +
             (graph.directed ? "directed" : "undirected") + "\">\n";
    if (!graph.frequencies.empty()) {
      *sink +=
          "    <attributes class=\"node\">\n"
          "      <attribute id=\"frequency\" title=\"frequency\" type=\"long\"/>\n"
          "    </attributes>\n";
    }
    *sink +=
        "    <attributes class=\"edge\">\n"
        "      <attribute id=\"count\" title=\"count\" type=\"long\"/>\n"
        "      <attribute id=\"score\" title=\"score\" type=\"double\"/>\n";
    if (graph.kind == EdgeKind::kRanking)
      *sink += "      <attribute id=\"side\" title=\"side\" type=\"string\"/>\n";
    *sink += "    </attributes>\n    <nodes>\n";
    for (uint32_t id = 0; id < graph.labels.size(); ++id) {
      if (!graph.shown[id]) continue;
      *sink += "      <node id=\"" + std::to_string(id) + "\" label=\"";
      Text(graph.labels[id], sink);
      if (graph.frequencies.empty()) {
        *sink += "\"/>\n";
        continue;
      }
      *sink += "\"><attvalues><attvalue for=\"frequency\" value=\"" +
               std::to_string(graph.frequencies[id]) + "\"/></attvalues></node>\n";
    }
    *sink += "    </nodes>\n    <edges>\n";
  }
  void Edge(const ExportGraph& graph, const ExportEdge& edge, std::string* sink) override {
    *sink += "      <edge id=\"" + std::to_string(edges++) + "\" source=\"" +
             std::to_string(edge.source) + "\" target=\"" + std::to_string(edge.target) +
             "\" weight=\"" + std::to_string(edge.count) +
             "\"><attvalues><attvalue for=\"count\" value=\"" + std::to_string(edge.count) +
             "\"/><attvalue for=\"score\" value=\"" + ScoreText(edge.score) + "\"/>";
    if (graph.kind == EdgeKind::kRanking)
      *sink += std::string("<attvalue for=\"side\" value=\"") + Side(edge) + "\"/>";
    *sink += "</attvalues></edge>\n";
  }
  void End(std::string* sink) override { *sink += "    </edges>\n  </graph>\n</gexf>\n"; }
};

class GraphmlFormatter : public XmlFormatter {
 public:
  void Begin(const ExportGraph& graph, std::string* sink) override {
    Declaration(sink);
    *sink +=
        "<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\">\n"
        "  <key id=\"label\" for=\"node\" attr.name=\"label\" attr.type=\"string\"/>\n";
    if (!graph.frequencies.empty())
      *sink +=
          "  <key id=\"frequency\" for=\"node\" attr.name=\"frequency\" attr.type=\"long\"/>\n";
    *sink +=
        "  <key id=\"weight\" for=\"edge\" attr.name=\"weight\" attr.type=\"double\"/>\n"
        "  <key id=\"count\" for=\"edge\" attr.name=\"count\" attr.type=\"long\"/>\n"
        "  <key id=\"score\" for=\"edge\" attr.name=\"score\" attr.type=\"double\"/>\n";
    if (graph.kind == EdgeKind::kRanking)
      *sink += "  <key id=\"side\" for=\"edge\" attr.name=\"side\" attr.type=\"string\"/>\n";
    *sink += std::string("  <graph id=\"G\" edgedefault=\"") +
             (graph.directed ? "directed" : "undirected") + "\">\n";
    for (uint32_t id = 0; id < graph.labels.size(); ++id) {
      if (!graph.shown[id]) continue;
      *sink += "    <node id=\"n" + std::to_string(id) + "\"><data key=\"label\">";
      Text(graph.labels[id], sink);
      *sink += "</data>";
      if (!graph.frequencies.empty())
        *sink += "<data key=\"frequency\">" + std::to_string(graph.frequencies[id]) + "</data>";
      *sink += "</node>\n";
    }
  }
  void Edge(const ExportGraph& graph, const ExportEdge& edge, std::string* sink) override {
    std::string count = std::to_string(edge.count);
    *sink += "    <edge source=\"n" + std::to_string(edge.source) + "\" target=\"n" +
             std::to_string(edge.target) + "\"><data key=\"weight\">" + count +
             "</data><data key=\"count\">" + count + "</data><data key=\"score\">" +
             ScoreText(edge.score) + "</data>";
    if (graph.kind == EdgeKind::kRanking)
      *sink += std::string("<data key=\"side\">") + Side(edge) + "</data>";
    *sink += "</edge>\n";
  }
  void End(std::string* sink) override { *sink += "  </graph>\n</graphml>\n"; }
};

}  // namespace

std::optional<ExportFormat> ParseExportFormat(std::string_view name) {
  if (name == "csv") return ExportFormat::kCsv;
  if (name == "gexf") return ExportFormat::kGexf;
  if (name == "graphml") return ExportFormat::kGraphml;
  return std::nullopt;
}

std::optional<ExportFormat> FormatOfPath(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension.empty() ? std::nullopt : ParseExportFormat(extension.substr(1));
}

std::unique_ptr<GraphFormatter> MakeFormatter(ExportFormat format) {
  switch (format) {
    case ExportFormat::kCsv:
      return std::make_unique<CsvFormatter>();
    case ExportFormat::kGexf:
      return std::make_unique<GexfFormatter>();
    case ExportFormat::kGraphml:
      return std::make_unique<GraphmlFormatter>();
  }
  return nullptr;
}

}  // namespace ulo::engine
