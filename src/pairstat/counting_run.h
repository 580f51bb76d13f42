// The process-wide counting run behind the three counting exports.
#ifndef ULO_PAIRSTAT_COUNTING_RUN_H_
#define ULO_PAIRSTAT_COUNTING_RUN_H_

#include <cstdint>

namespace ulo::pairstat {

// Opens a counting run whose spill files go to `workDir`. A run still open is
// finished first (its held pairs go to its next spill file). False, with no
// run open afterwards, for a null or empty directory or one longer than 255
// bytes (the earlier run, if any, is then left as it was), and when the
// earlier run's last spill file could not be stored whole.
bool BeginCountingRun(const char* workDir);

// Counts (word1, word2), and unless the low byte of `oneWay` is set also
// (word2, word1), in the open run. False for a null or empty word or when no
// run is open (nothing is counted), and when a spill caused by this call
// could not be stored whole.
bool CountPairInRun(const char* word1, const char* word2, int32_t count, int32_t oneWay);

// Writes the run's last spill file and closes the run. 0 when that file could
// not be stored whole, else 1; 1 without writing anything when no run is open.
int32_t EndCountingRun();

}  // namespace ulo::pairstat

#endif  // ULO_PAIRSTAT_COUNTING_RUN_H_
