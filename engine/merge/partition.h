// `ulo merge --jobs N`: the merge split by key ranges. Split keys are
// sampled from the inputs, every input is cut at them, and each range's
// slices are merged by the library, in a process of its own, from a
// directory of their own; the ranges' outputs are then joined into the one
// file (the same bytes as one merge) or kept as a parts directory.
//
// Only sorted inputs can be cut. Each range checks its slices while taking
// them (every line "word1 TAB word2 TAB count", in order, inside its
// range); when one is not, the merge runs as one process instead, which is
// what the library does with any input.
#ifndef ULO_ENGINE_MERGE_PARTITION_H_
#define ULO_ENGINE_MERGE_PARTITION_H_

#include <functional>
#include <string>
#include <vector>

#include "engine/report/progress.h"
#include "engine/session/operations.h"
#include "engine/session/session.h"

namespace ulo::engine {

struct RangeMergeOptions {
  int jobs = 1;                      // ranges merged at once; 1 merges in this process
  bool parts = false;                // `out` is a parts directory rather than one file
  ProgressReport* report = nullptr;  // told of the merge's progress; may be null
  OperationOptions operations;       // checks and the way outputs are put in place
};

// Merges every pair-count file under `dir` into `out`. Returns an empty
// string, or the failure line (without the "ulo: " lead).
std::string MergeInRanges(Session& session, const std::string& dir, const std::string& out,
                          const RangeMergeOptions& options);

// Runs `merge`, a merge of `dir` into `out`, and copies the token counts
// beside `dir` to OUT.tokens; a stale OUT.tokens goes first, so that a
// merged file never stands beside another count's. Returns what `merge`
// returns, or the sentence that says why the copy failed.
std::string MergeWithTokenCounts(const std::string& dir, const std::string& out,
                                 const OutputOptions& output,
                                 const std::function<std::string()>& merge);

// One key range of a merge driven from elsewhere (a cluster's reduce task):
// the lines of the sorted pair-count files `inputs` whose first word lies in
// range `k` of the increasing split keys `keys`, merged by the library into
// `out`, which appears whole. Fails when a slice turns out not to be sorted,
// unless the inputs are known to be (`sorted`: counting runs' spill files),
// and then the merged range is not read again.
std::string MergeKeyRange(Session& session, const std::vector<std::string>& inputs,
                          const std::vector<std::string>& keys, size_t k, const std::string& out,
                          bool sorted = false);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_MERGE_PARTITION_H_
