// `ulo count` and the count stage of `ulo run`: the corpora dealt out to
// worker processes, each with a counting run of its own in DIR/part-K, the
// whole DIR put in place only when every run has ended well.
#ifndef ULO_HOST_COUNT_JOBS_H_
#define ULO_HOST_COUNT_JOBS_H_

#include <cstdint>
#include <string>

#include "count_share.h"

namespace ulo::host {

struct CountSummary {
  CountTally tally;
  uint64_t parts = 0;
  uint64_t spillFiles = 0;
  uint64_t spillLines = 0;
  double seconds = 0;
};

// The number of processors this process may run on.
int DefaultJobs();

// Counts `settings.corpora` into `dir` with up to `jobs` workers, each
// loading the library at `libraryPath`. `command` leads every message.
// Returns 0, or 1 after one line on standard error.
int CountIntoDirectory(const std::string& command, const std::string& libraryPath,
                       bool showProgress, const CountSettings& settings, int jobs,
                       const std::string& dir, CountSummary* summary);

// Prints the summary lines that `count` and `run` share.
void PrintCountSummary(const CountSummary& summary, const CountSettings& settings);

}  // namespace ulo::host

#endif  // ULO_HOST_COUNT_JOBS_H_
