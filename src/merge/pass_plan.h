// How many merge passes a number of input files needs.
#ifndef ULO_MERGE_PASS_PLAN_H_
#define ULO_MERGE_PASS_PLAN_H_

#include <cstdint>

namespace ulo::merge {

// The number of passes that merge `files` inputs (two or more) down to one
// when each pass merges groups of up to `fanIn` (two or more) files: the
// smallest p with fanIn^p >= files, computed exactly in integers. With a
// fan-in of 20: 2 to 20 files take 1 pass, 21 to 400 take 2, 401 to 8,000
// take 3. Fewer than two files need no pass (0).
int PassCount(int64_t files, int fanIn);

}  // namespace ulo::merge

#endif  // ULO_MERGE_PASS_PLAN_H_
