// The commands of ulo. Each Add*Command defines its subcommand of `app`,
// arguments and help included, and returns the work to run once parsed.
#ifndef ULO_HOST_SUBCOMMANDS_H_
#define ULO_HOST_SUBCOMMANDS_H_

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/stats/measures.h"
#include "engine/stats/rank.h"
#include "engine/text/encoding.h"
#include "host/cli/cli.h"
#include "host/cli/count_options.h"

namespace ulo::host {

using namespace ::ulo::engine;

// Text to merged pair counts, and all of it at once.
Runner AddCountCommand(CLI::App& app);
Runner AddMergeCommand(CLI::App& app);
Runner AddRunCommand(CLI::App& app);
Runner AddDemoCommand(CLI::App& app);
// The library's own statistics.
Runner AddFilterCommand(CLI::App& app);
Runner AddSupportCommand(CLI::App& app);
Runner AddTopNCommand(CLI::App& app);
// The engine's measures, and what people and other tools read.
Runner AddRankCommand(CLI::App& app);
Runner AddShowCommand(CLI::App& app);
Runner AddGraphCommand(CLI::App& app);
Runner AddExportCommand(CLI::App& app);
Runner AddWordsCommand(CLI::App& app);

// `ulo graph`'s work, shared with `ulo demo`.
struct GraphOptions {
  std::string pairs;
  std::vector<std::string> words;
  std::string out;
  std::string encoding;  // of the typed words; empty: the terminal's
  RankOptions rank;
  int32_t depth = 1;
  bool trustInput = false;  // PAIRS is not checked (--trust-input)
  OutputOptions output;
};
int DrawGraph(const GraphOptions& options);

// --measure M, as rank, show and graph take it.
CLI::Option* AddMeasureOption(CLI::App& command, Measure* measure);
// --top N, --min-count, --min-word-count and --self-pairs, each needing
// `needs` when given.
void AddRankOptions(CLI::App& command, RankOptions* rank, const std::string& topHelp,
                    CLI::Option* needs);

// `ulo run`'s work, shared with `ulo demo`.
struct PipelineOptions {
  CountSettings count;
  std::string out;
  std::optional<int32_t> threshold;
  int32_t top = 10;
  bool support = false;  // the library's support records, large: only on request
  bool topn = false;     // the library's top-N file
};
// Returns the exit code; `*topnPath` names the top-N file when one is written.
int RunPipeline(Host& host, const PipelineOptions& options, std::string* topnPath);

// `ulo show`'s work on a top-N file, shared with `ulo demo`: at most `top`
// words of each list (0: all). The words come in `typed` (empty: the
// terminal's encoding), the table goes out in `encoding`.
int ShowTopN(const std::string& path, const std::vector<std::string>& words,
             const std::string& encoding, const std::string& typed, int32_t top);
// `ulo show --measure`: the words' best associated words ranked from a
// pair-count file.
int ShowRanked(const std::string& path, const std::vector<std::string>& words,
               const std::string& encoding, const std::string& typed, const RankOptions& options,
               bool trustInput);

// Why `word` (library text) is not among `ranking`'s words, and the words
// that begin like it, in the people's encoding.
std::string AbsentFromRanking(PeopleText& text, const Ranking& ranking, const std::string& word,
                              const std::string& path);

}  // namespace ulo::host

#endif  // ULO_HOST_SUBCOMMANDS_H_
