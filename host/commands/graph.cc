// ulo graph: a picture of words' neighbourhoods.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "engine/files/staging.h"
#include "engine/session/operations.h"
#include "engine/text/encoding.h"
#include "host/commands/commands.h"
#include "host/report/graph.h"

namespace ulo::host {
namespace {

namespace fs = std::filesystem;

std::string Extension(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  return extension.empty() ? extension : extension.substr(1);
}

}  // namespace

int DrawGraph(const GraphOptions& options) {
  if (std::string problem = FileProblem(options.pairs, options.out, options.trustInput);
      !problem.empty()) {
    return Fail("graph: " + problem);
  }
  PeopleText text;
  std::string error;
  std::string typedIn = options.encoding.empty() ? TerminalEncoding() : options.encoding;
  if (!text.Open(kPeopleEncoding, typedIn, &error)) return Fail("graph: " + error);
  Ranking ranking;
  if (!ranking.Build(options.pairs, options.rank, &error)) return Fail("graph: " + error);
  std::vector<uint32_t> starts;
  for (const std::string& typed : options.words) {
    std::string word;
    if (!text.Take(typed, &word)) return Fail("graph: '" + typed + "' is not valid " + typedIn);
    std::optional<uint32_t> id = ranking.Find(word);
    if (!id) return Fail("graph: " + AbsentFromRanking(text, ranking, word, options.pairs));
    starts.push_back(*id);
  }
  Neighbourhood graph = Collect(ranking, starts, options.depth);
  std::string dot = ToDot(ranking, graph, MeasureName(options.rank.measure), options.pairs, &error);
  if (!error.empty()) return Fail("graph: " + error);
  // The DOT source is an output too: never the pairs, and whole or not at all.
  std::string dotPath = fs::path(options.out).replace_extension(".dot").string();
  if (std::string problem = FileProblem(options.pairs, dotPath, true); !problem.empty()) {
    return Fail("graph: " + problem);
  }
  {
    StagedOutput staged(dotPath, options.output);
    // No staging file could be made: Commit says why.
    if (staged.path().empty()) {
      staged.Commit(&error);
      return Fail("graph: " + error);
    }
    FILE* file = staged.Open();
    if (file == nullptr)
      return Fail("graph: cannot write " + dotPath + ": " + std::strerror(errno));
    bool written = std::fwrite(dot.data(), 1, dot.size(), file) == dot.size();
    if (std::fclose(file) != 0 || !written)
      return Fail("graph: cannot write " + dotPath + " whole");
    if (!staged.Commit(&error)) return Fail("graph: " + error);
  }
  // The picture, likewise: dot writes into the staged file.
  StagedOutput picture(options.out, options.output);
  if (picture.path().empty()) {
    picture.Commit(&error);
    return Fail("graph: " + error);
  }
  if (!RunDot(dotPath, picture.path(), Extension(options.out), &error) || !picture.Commit(&error))
    return Fail("graph: " + error);
  std::printf("%s: %zu words, %zu edges (DOT source: %s)\n", options.out.c_str(),
              graph.nodes.size(), graph.edges.size(), dotPath.c_str());
  return 0;
}

Runner AddGraphCommand(CLI::App& app) {
  auto args = std::make_shared<GraphOptions>();
  args->rank.top = 8;
  CLI::App* command = AddCommand(
      app, "graph", "PAIRS WORD... --out FILE.svg|FILE.png [--measure M] [--top N] [--depth D]",
      "Draw words' neighbourhoods with Graphviz.\n"
      "Each WORD, its N best associated words by the measure and, to depth D, theirs, from\n"
      "the pair-count file PAIRS; edges are labelled with their scores and drawn the\n"
      "wider the higher they score. The DOT source is written beside the picture.");
  command->add_option("PAIRS", args->pairs, "a merged pair-count file")->required();
  command->add_option("WORD", args->words, "the words to start from")->required();
  command->add_option("--out", args->out, "the picture, SVG or PNG by its extension")
      ->type_name("FILE")
      ->required()
      ->check(CLI::Validator(
          [](std::string& path) -> std::string {
            std::string extension = Extension(path);
            if (extension == "svg" || extension == "png") return {};
            return "must end in .svg or .png";
          },
          ""));
  AddMeasureOption(*command, &args->rank.measure);
  AddRankOptions(*command, &args->rank, "neighbours per word (default 8)", nullptr);
  command->add_option("--depth", args->depth, "steps from the words (default 1)")
      ->type_name("D")
      ->transform(Int32AtLeast(1));
  command
      ->add_option("--from", args->encoding,
                   "the encoding the words are typed in (default: the terminal's)")
      ->type_name("ENCODING")
      ->check(KnownEncoding());
  return [args](Host& host) {
    GraphOptions options = *args;
    options.trustInput = host.options().trustInput;
    options.output = host.options().operations().output;
    return DrawGraph(options);
  };
}

}  // namespace ulo::host
