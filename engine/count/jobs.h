// `ulo count` and the count stage of `ulo run`: the corpora dealt out to
// worker processes, each with a counting run of its own in DIR/part-K, the
// whole DIR put in place only when every run has ended well.
#ifndef ULO_ENGINE_COUNT_JOBS_H_
#define ULO_ENGINE_COUNT_JOBS_H_

#include <cstdint>
#include <string>

#include "engine/count/share_count.h"
#include "engine/files/staging.h"
#include "engine/report/progress.h"

namespace ulo::engine {

struct CountSummary {
  CountTally tally;
  uint64_t parts = 0;
  double seconds = 0;
};

// The number of processors this process may run on.
int DefaultJobs();
// `jobs`, or DefaultJobs() for 0 (or less): what --jobs 0 asks for.
int JobsOrDefault(int jobs);

// Counts `settings.corpora` into `dir` with up to `settings.jobs` worker
// processes, each counting through `exports`; `report` (may be null) is told
// of the progress. `command` leads every message. Returns an empty string,
// or the failure line (without the "ulo: " lead).
std::string CountIntoDirectory(const std::string& command, const Exports& exports,
                               const CountSettings& settings, const std::string& dir,
                               CountSummary* summary, ProgressReport* report,
                               const OutputOptions& output = {});

// The summary's figures, one a line: name TAB value.
std::string SummaryFigures(const CountSummary& summary);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_COUNT_JOBS_H_
