#include "engine/export/export.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unordered_map>

#include "engine/export/formats.h"
#include "engine/files/checks.h"
#include "engine/files/pair_parts.h"
#include "engine/text/encoding.h"

namespace ulo::engine {
namespace {

constexpr char kKindsText[] =
    "a pair-count file (word TAB word TAB count) nor a ranking (word TAB other TAB score TAB "
    "count TAB after|before)";

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// The formatter's text, written to a staged output in large writes.
class Writer {
 public:
  Writer(const std::string& path, const OutputOptions& output) : staged(path, output) {
    if (staged.path().empty()) return;
    file.reset(staged.Open());
    if (!file) failure = errno;
  }
  std::string* sink() { return &text; }
  void Flush() {
    if (text.size() >= (size_t{1} << 16)) Write();
  }
  // False with the sentence in `*error`.
  bool Commit(std::string* error) {
    if (staged.path().empty()) return staged.Commit(error);
    Write();
    if (file && std::fclose(file.release()) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
      std::string cause = WriteFailureCause(staged.finalPath(), failure);
      *error = "cannot write " + staged.finalPath() + ": " +
               (cause.empty() ? ErrorText(failure) : cause);
      return false;
    }
    return staged.Commit(error);
  }

 private:
  void Write() {
    if (file && failure == 0 && std::fwrite(text.data(), 1, text.size(), file.get()) != text.size())
      failure = errno;
    text.clear();
  }

  StagedOutput staged;
  std::unique_ptr<FILE, FileCloser> file;
  std::string text;
  int failure = 0;  // errno of the first failed call
};

// A 64-bit hash of a pair line as if its words stood in the given order.
uint64_t LineHash(std::string_view first, std::string_view second, int64_t count) {
  uint64_t hash = 1469598103934665603ull;
  auto mix = [&hash](std::string_view bytes) {
    for (char c : bytes)
      hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    hash = (hash ^ 0x09) * 1099511628211ull;
  };
  mix(first);
  mix(second);
  hash ^= static_cast<uint64_t>(count) + 0x9e3779b97f4a7c15ull + (hash << 6) + (hash >> 2);
  // Finalised so that sums of hashes of similar lines do not cancel.
  hash = (hash ^ (hash >> 30)) * 0xbf58476d1ce4e5b9ull;
  hash = (hash ^ (hash >> 27)) * 0x94d049bb133111ebull;
  return hash ^ (hash >> 31);
}

bool Listed(const Ranking& ranking, uint32_t base, uint32_t other) {
  for (const RankedItem& item : ranking.List(base))
    if (item.other == other) return true;
  return false;
}

std::string ExportPairs(const std::string& in, const ExportOptions& options, Converter& shown,
                        GraphFormatter& formatter, Writer& writer) {
  RankOptions rank = options.rank;
  Ranking ranking;
  std::string error;
  bool built = true;
  if (options.top > 0) {
    rank.top = options.top;
    built = ranking.Build(in, rank, &error);
  } else {
    ranking.SetOptions(rank);
    built = ranking.CountFrequencies(in, &error) && ranking.ReadMarginals(in, &error);
  }
  if (!built) return error;
  const int64_t minCount = MinCount(rank);
  // Each pass reads the file again: a word the first did not see means the
  // file changed in between, and its lines would have no frequency.
  bool changed = false;
  auto kept = [&](std::string_view line, uint32_t* id1, uint32_t* id2, int64_t* count) {
    std::string_view word1, word2;
    if (changed || !ParsePairLine(line, &word1, &word2, count) || *count < minCount) return false;
    if (!rank.selfPairs && word1 == word2) return false;
    std::optional<uint32_t> found1 = ranking.Find(word1), found2 = ranking.Find(word2);
    if (!found1 || !found2) {
      changed = true;
      return false;
    }
    *id1 = *found1;
    *id2 = *found2;
    if (ranking.Margin(*id1) < rank.minWordCount || ranking.Margin(*id2) < rank.minWordCount)
      return false;
    return options.top == 0 || Listed(ranking, *id1, *id2) || Listed(ranking, *id2, *id1);
  };

  // Which words have an edge, and whether the kept lines are their own
  // mirror image: a count made both ways holds (b, a, c) for every (a, b, c),
  // and equal sums of the lines' hashes either way round tell it without
  // holding the lines.
  ExportGraph graph;
  graph.shown.assign(ranking.WordCount(), false);
  uint64_t forward = 0, mirrored = 0;
  uint32_t id1, id2;
  int64_t count;
  if (!ForEachPairFileLine(in, &error, [&](std::string_view line) {
        if (!kept(line, &id1, &id2, &count)) return;
        graph.shown[id1] = graph.shown[id2] = true;
        std::string_view word1 = ranking.Word(id1), word2 = ranking.Word(id2);
        forward += LineHash(word1, word2, count);
        mirrored += LineHash(word2, word1, count);
      })) {
    return error;
  }
  if (changed) return ChangedWhileRead(in, "exported");
  graph.kind = EdgeKind::kPair;
  graph.directed = forward != mirrored;
  graph.measure = MeasureName(rank.measure);
  graph.labels.resize(ranking.WordCount());
  graph.frequencies.resize(ranking.WordCount());
  for (uint32_t id = 0; id < ranking.WordCount(); ++id) {
    graph.frequencies[id] = ranking.Margin(id);
    if (graph.shown[id]) shown.Convert(ranking.Word(id), &graph.labels[id]);
  }
  if (std::string problem = shown.InvalidTextProblem(in); !problem.empty()) return problem;

  formatter.Begin(graph, writer.sink());
  if (!ForEachPairFileLine(in, &error, [&](std::string_view line) {
        if (!kept(line, &id1, &id2, &count)) return;
        if (!graph.directed && ranking.Word(id1) > ranking.Word(id2)) return;
        formatter.Edge(graph, {id1, id2, count, ranking.PairScore(id1, id2, count)}, writer.sink());
        writer.Flush();
      })) {
    return error;
  }
  if (changed) return ChangedWhileRead(in, "exported");
  formatter.End(writer.sink());
  return {};
}

// Splits a ranking's line into its fields; the phrase of what is wrong, or empty.
std::string ParseRankingLine(std::string_view line, std::string_view fields[5], ExportEdge* edge) {
  size_t start = 0;
  for (int k = 0; k < 5; ++k) {
    size_t end = k < 4 ? line.find('\t', start) : line.size();
    if (end == std::string_view::npos || (k == 4 && line.find('\t', start) != line.npos))
      return "not five TAB-separated fields";
    fields[k] = line.substr(start, end - start);
    start = end + 1;
  }
  if (fields[0].empty() || fields[1].empty()) return "an empty word";
  const char* end = fields[2].data() + fields[2].size();
  if (std::from_chars(fields[2].data(), end, edge->score).ptr != end || fields[2].empty())
    return "the score '" + std::string(fields[2]) + "' is not a number";
  end = fields[3].data() + fields[3].size();
  if (std::from_chars(fields[3].data(), end, edge->count).ptr != end || fields[3].empty())
    return "the count '" + std::string(fields[3]) + "' is not a whole number";
  if (fields[4] != "after" && fields[4] != "before") return "the last field is not after or before";
  edge->follows = fields[4] == "after";
  return {};
}

std::string ExportRanking(const std::string& in, const ExportOptions& options, Converter& shown,
                          GraphFormatter& formatter, Writer& writer) {
  std::ifstream file(in, std::ios::binary);
  if (!file) return "cannot read " + in + ": " + ErrorText(errno);
  ExportGraph graph;
  graph.kind = EdgeKind::kRanking;
  std::unordered_map<std::string, uint32_t> ids;
  auto intern = [&](std::string_view word) {
    auto [it, added] = ids.emplace(word, static_cast<uint32_t>(graph.labels.size()));
    if (added) {
      graph.labels.emplace_back();
      shown.Convert(word, &graph.labels.back());
      graph.shown.push_back(true);
    }
    return it->second;
  };
  std::vector<ExportEdge> edges;
  std::string line, base;
  int32_t listed = 0;
  for (uint64_t number = 1; std::getline(file, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string_view fields[5];
    ExportEdge edge;
    if (std::string problem = ParseRankingLine(line, fields, &edge); !problem.empty())
      return in + " is not a ranking: line " + std::to_string(number) + ": " + problem;
    listed = fields[0] == base ? listed + 1 : 1;
    if (listed == 1) base = fields[0];
    if ((options.top > 0 && listed > options.top) || edge.count < options.rank.minCount) continue;
    edge.source = intern(fields[0]);
    edge.target = intern(fields[1]);
    edges.push_back(edge);
  }
  if (file.bad()) return "cannot read " + in + " to its end: " + ReadFailureCause(in);
  if (std::string problem = shown.InvalidTextProblem(in); !problem.empty())
    return problem + " (export reads a ranking as UTF-8)";
  formatter.Begin(graph, writer.sink());
  for (const ExportEdge& edge : edges) {
    formatter.Edge(graph, edge, writer.sink());
    writer.Flush();
  }
  formatter.End(writer.sink());
  return {};
}

// Whether the first line of `path` has a pair-count file's fields (true) or
// a ranking's (false); nullopt with the sentence in `*error` otherwise.
std::optional<bool> IsPairFile(const std::string& path, std::string* error) {
  if (IsPartsDirectory(path)) return true;
  std::ifstream file(path, std::ios::binary);
  std::string line;
  std::getline(file, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  size_t fields = 1;
  size_t last = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\t') ++fields, last = i + 1;
  }
  std::string_view end = std::string_view(line).substr(last);
  if (fields == 3) return true;
  if (fields == 5 && (end == "after" || end == "before")) return false;
  *error = path + " is neither " + kKindsText + ": its first line has " + std::to_string(fields) +
           (fields == 1 ? " field" : " fields");
  return std::nullopt;
}

}  // namespace

std::string ExportFile(const std::string& in, const std::string& out, const ExportOptions& options,
                       const OperationOptions& operations, uint64_t* lossyWords) {
  std::optional<ExportFormat> format =
      options.format.empty() ? FormatOfPath(out) : ParseExportFormat(options.format);
  if (!format) {
    return options.format.empty()
               ? "cannot tell the format of " + out +
                     " from its extension (.csv, .gexf, .graphml): name it with a format"
               : "unknown format '" + options.format + "' (csv, gexf or graphml)";
  }
  if (*format != ExportFormat::kCsv && !IsUtf8Name(options.rank.to)) {
    return "GEXF and GraphML are written in UTF-8, the one encoding every XML reader takes (" +
           options.rank.to + " is for CSV)";
  }
  if (std::string problem = OutputEncodingProblem(options.rank.to); !problem.empty())
    return problem;
  if (std::string problem = PairFileProblem(in); !problem.empty())
    return "cannot read " + in + ": " + problem;
  std::string error;
  std::optional<bool> pairs = IsPairFile(in, &error);
  if (!pairs) return error;
  if (*pairs) {
    if (options.top == 0 && options.rank.direction != Direction::kBoth)
      return "a direction chooses among a word's best partners: it needs a top";
    if (std::string problem = FileProblem(in, out, operations.trustInput); !problem.empty())
      return problem;
  } else {
    if (std::string problem = OutputFileProblem(out); !problem.empty())
      return "cannot write " + out + ": " + problem;
    if (std::string problem = SameFileProblem(in, out); !problem.empty()) return problem;
  }
  Converter shown;
  if (!shown.Open(*pairs ? kLibraryEncoding : kPeopleEncoding, options.rank.to, &error))
    return error;
  shown.MarkUnrepresentable("?");
  std::unique_ptr<GraphFormatter> formatter = MakeFormatter(*format);
  Writer writer(out, operations.output);
  std::string failure = *pairs ? ExportPairs(in, options, shown, *formatter, writer)
                               : ExportRanking(in, options, shown, *formatter, writer);
  if (!failure.empty()) return failure;
  if (!writer.Commit(&error)) return error;
  if (lossyWords != nullptr) *lossyWords = shown.lossy();
  return {};
}

}  // namespace ulo::engine
