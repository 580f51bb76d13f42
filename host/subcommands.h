// The commands of ulo. Each Add*Command defines its subcommand of `app`,
// arguments and help included, and returns the work to run once parsed.
#ifndef ULO_HOST_SUBCOMMANDS_H_
#define ULO_HOST_SUBCOMMANDS_H_

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "count_run.h"

namespace ulo::host {

Runner AddCountCommand(CLI::App& app);
Runner AddMergeCommand(CLI::App& app);
Runner AddFilterCommand(CLI::App& app);
Runner AddSupportCommand(CLI::App& app);
Runner AddTopNCommand(CLI::App& app);
Runner AddRunCommand(CLI::App& app);
Runner AddShowCommand(CLI::App& app);
Runner AddDemoCommand(CLI::App& app);

// `ulo run`'s work, shared with `ulo demo`.
struct PipelineOptions {
  CountOptions count;
  std::string out;
  std::optional<int32_t> threshold;
  int32_t top = 10;
};
// Returns the exit code; `*topnPath` names the top-N file written.
int RunPipeline(Host& host, const PipelineOptions& options, std::string* topnPath);

// `ulo show`'s work on a top-N file, shared with `ulo demo`.
int ShowTopN(const std::string& path, const std::vector<std::string>& words,
             const std::string& encoding);

}  // namespace ulo::host

#endif  // ULO_HOST_SUBCOMMANDS_H_
