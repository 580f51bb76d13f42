// The feed of a counting run: corpora read line by line, converted to
// GB2312, cut into tokens and handed to the library pair by pair.
#ifndef ULO_HOST_COUNT_RUN_H_
#define ULO_HOST_COUNT_RUN_H_

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "commands.h"
#include "corpus.h"

namespace ulo::host {

// What `ulo count` and `ulo run` take.
struct CountOptions {
  std::vector<std::string> corpora;
  int window = 3;
  bool oneWay = false;
  TokenMode mode = TokenMode::kWords;
  std::string from;
};

// What a counting run did.
struct CountSummary {
  uint64_t lines = 0;
  uint64_t pairsFed = 0;
  uint64_t spillFiles = 0;
  uint64_t spillLines = 0;
  uint64_t unrepresentable = 0;
  uint64_t invalid = 0;
  double seconds = 0;
};

// Adds the corpora and the counting options to `command`.
void AddCountOptions(CLI::App& command, CountOptions* options);

// Creates `dir` when missing. A directory holding anything else is refused,
// since the merge takes every file in it; with `clearSpills` the spill files
// of an earlier run are removed first. False with a sentence in `*error`.
bool PrepareWorkDir(const std::string& dir, bool clearSpills, std::string* error);

// Counts the corpora into spill files in `workDir`. Returns 0, or
// kExitFailure after printing the failure line for `command`.
int CountCorpora(const std::string& command, Session& session, const CountOptions& options,
                 const std::string& workDir, bool progress, CountSummary* summary);

void PrintCountSummary(const CountSummary& summary, const CountOptions& options);

}  // namespace ulo::host

#endif  // ULO_HOST_COUNT_RUN_H_
