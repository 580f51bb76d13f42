// The count options of `ulo count` and `ulo run` on the command line, their
// defaults and help taken from the engine's one table of count options.
#ifndef ULO_HOST_CLI_COUNT_OPTIONS_H_
#define ULO_HOST_CLI_COUNT_OPTIONS_H_

#include <CLI/CLI.hpp>

#include "engine/count/jobs.h"
#include "engine/count/share_count.h"

namespace ulo::host {

using namespace ::ulo::engine;

// Adds the corpora and the counting options to `command`.
void AddCountOptions(CLI::App& command, CountSettings* settings);

// Prints the summary lines that `count` and `run` share.
void PrintCountSummary(const CountSummary& summary, const CountSettings& settings);

}  // namespace ulo::host

#endif  // ULO_HOST_CLI_COUNT_OPTIONS_H_
