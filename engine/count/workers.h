// Counting in worker processes: one process per share, since the library
// keeps one counting run per process. Each worker reports its tally through
// a pipe; the first worker that fails stops the others.
#ifndef ULO_ENGINE_WORKERS_H_
#define ULO_ENGINE_WORKERS_H_

#include <functional>
#include <string>
#include <vector>

#include "engine/count/share_count.h"

namespace ulo::engine {

// Sends a worker's tally to the parent.
using TallySink = std::function<void(const CountTally&)>;

// The work of worker `part` (0-based): counts, reports through `sink`, and
// returns an empty string or the sentence that says what failed.
using WorkerBody = std::function<std::string(int part, const TallySink& sink)>;

struct WorkersOutcome {
  bool ok = true;
  int failedPart = -1;              // 0-based
  std::string failure;              // the failed worker's sentence, or how it ended
  std::vector<CountTally> tallies;  // the last tally of each worker
};

// Runs `body` in `parts` child processes at once and waits for them all.
// `progress` gets the sum of the tallies whenever one arrives; when it
// returns false the workers are stopped and the outcome fails. A worker
// dies with the parent, so none is left counting after a crash.
WorkersOutcome RunWorkers(int parts, const WorkerBody& body,
                          const std::function<bool(const CountTally&)>& progress);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_WORKERS_H_
