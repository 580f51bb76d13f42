#include "host/report/graph.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include "engine/text/encoding.h"

namespace ulo::host {
namespace {

// A DOT string literal.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n' || c == '\r') continue;
    out += c;
  }
  return out + "\"";
}

std::string Number(double value, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

Neighbourhood Collect(const Ranking& ranking, const std::vector<uint32_t>& starts, int depth) {
  Neighbourhood graph;
  std::map<uint32_t, bool> seen;
  std::map<std::pair<uint32_t, uint32_t>, size_t> edgeAt;
  std::vector<uint32_t> frontier;
  for (uint32_t start : starts) {
    if (seen.emplace(start, true).second) {
      graph.nodes.push_back(start);
      frontier.push_back(start);
    }
  }
  graph.starts = graph.nodes.size();
  for (int step = 0; step < depth && !frontier.empty(); ++step) {
    std::vector<uint32_t> next;
    for (uint32_t word : frontier) {
      for (const RankedItem& item : ranking.List(word)) {
        if (item.other == word) continue;  // a word paired with itself
        if (seen.emplace(item.other, true).second) {
          graph.nodes.push_back(item.other);
          next.push_back(item.other);
        }
        auto key = std::minmax(word, item.other);
        auto [it, added] = edgeAt.emplace(key, graph.edges.size());
        if (added) {
          graph.edges.push_back({word, item.other, item.score});
        } else {
          graph.edges[it->second].score = std::max(graph.edges[it->second].score, item.score);
        }
      }
    }
    frontier.swap(next);
  }
  return graph;
}

std::string ToDot(const Ranking& ranking, const Neighbourhood& graph, const std::string& measure,
                  const std::string& pairs, std::string* error) {
  // Graphviz reads UTF-8.
  PeopleText text;
  bool converting = text.Open(kPeopleEncoding, kPeopleEncoding, error);
  auto label = [&](uint32_t id) {
    return Quoted(converting ? text.Show(ranking.Word(id)) : ranking.Word(id));
  };
  double low = 0, high = 0;
  for (size_t i = 0; i < graph.edges.size(); ++i) {
    double score = graph.edges[i].score;
    low = i == 0 ? score : std::min(low, score);
    high = i == 0 ? score : std::max(high, score);
  }
  std::string dot = "graph neighbours {\n";
  dot += "  layout=neato; overlap=false; splines=true; outputorder=edgesfirst;\n";
  dot += "  label=" + Quoted("edges: " + measure) + "; fontname=\"WenQuanYi Zen Hei\";\n";
  dot +=
      "  node [fontname=\"WenQuanYi Zen Hei\", fontsize=16, shape=ellipse, style=filled, "
      "fillcolor=\"#f4f4f4\", color=\"#888888\"];\n";
  dot += "  edge [fontname=\"WenQuanYi Zen Hei\", fontsize=10, color=\"#5b7fa6\"];\n";
  for (size_t i = 0; i < graph.nodes.size(); ++i) {
    dot += "  n" + std::to_string(graph.nodes[i]) + " [label=" + label(graph.nodes[i]);
    if (i < graph.starts) dot += ", fillcolor=\"#f6c85f\", fontsize=22, penwidth=2";
    dot += "];\n";
  }
  // A label that lost a byte no character has could stand for two words.
  *error = converting ? text.ShownTextProblem(pairs) : "";
  if (!error->empty()) return {};
  for (const GraphEdge& edge : graph.edges) {
    double weight = high > low ? (edge.score - low) / (high - low) : 1.0;
    dot += "  n" + std::to_string(edge.from) + " -- n" + std::to_string(edge.to) +
           " [label=" + Quoted(Number(edge.score, "%.3g")) +
           ", penwidth=" + Number(0.8 + 4.0 * weight, "%.2f") +
           ", len=" + Number(2.4 - 0.4 * weight, "%.2f") + "];\n";
  }
  dot += "}\n";
  return dot;
}

bool RunDot(const std::string& dotPath, const std::string& outPath, const std::string& format,
            std::string* error) {
  std::string type = "-T" + format;
  std::string output = "-o" + outPath;
  // A file name that starts with '-' would read as an option of dot's.
  std::string input = dotPath.rfind('-', 0) == 0 ? "./" + dotPath : dotPath;
  pid_t child = fork();
  if (child < 0) {
    *error = std::string("cannot start Graphviz's dot: ") + std::strerror(errno);
    return false;
  }
  if (child == 0) {
    execlp("dot", "dot", type.c_str(), output.c_str(), input.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = std::string("cannot wait for Graphviz's dot: ") + std::strerror(errno);
      return false;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    *error = "Graphviz's dot is not installed (Debian package graphviz)";
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "Graphviz's dot failed to draw " + dotPath;
    return false;
  }
  return true;
}

}  // namespace ulo::host
