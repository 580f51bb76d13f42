// The count options of `ulo count` and `ulo run` on the command line; the
// counting itself is in count_jobs.h.
#ifndef ULO_HOST_COUNT_RUN_H_
#define ULO_HOST_COUNT_RUN_H_

#include <CLI/CLI.hpp>

#include "engine/count/jobs.h"
#include "engine/count/share_count.h"

namespace ulo::host {

using namespace ::ulo::engine;

// What `ulo count` and `ulo run` take.
struct CountOptions : CountSettings {
  int jobs = DefaultJobs();
};

// Adds the corpora and the counting options to `command`; the filters'
// defaults are those in `*options` when called.
void AddCountOptions(CLI::App& command, CountOptions* options);

}  // namespace ulo::host

#endif  // ULO_HOST_COUNT_RUN_H_
