// Work on key ranges or parts, one process each: the library keeps one
// merge per process, and processes use every core.
#ifndef ULO_ENGINE_MERGE_PROCESSES_H_
#define ULO_ENGINE_MERGE_PROCESSES_H_

#include <cstddef>
#include <functional>
#include <string>

#include "engine/count/workers.h"

namespace ulo::engine {

// Runs `work(k)` for k = 0 .. count - 1 in processes of their own at once;
// the first failure's sentence (or how its process ended), or empty.
inline std::string ForEachInProcesses(size_t count,
                                      const std::function<std::string(size_t)>& work) {
  WorkersOutcome outcome = RunWorkers(
      static_cast<int>(count),
      [&](int k, const TallySink&) { return work(static_cast<size_t>(k)); },
      [](const CountTally&) { return true; });
  return outcome.ok ? "" : outcome.failure;
}

}  // namespace ulo::engine

#endif  // ULO_ENGINE_MERGE_PROCESSES_H_
