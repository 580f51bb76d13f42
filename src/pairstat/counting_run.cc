#include "pairstat/counting_run.h"

#include <cstring>
#include <memory>

#include "pairstat/pair_accumulator.h"
#include "platform/env.h"

// A test build of the library may spill sooner, so that a small corpus spills
// several times; the library proper spills at kSpillThreshold.
#ifndef ULO_RUN_SPILL_THRESHOLD
#define ULO_RUN_SPILL_THRESHOLD kSpillThreshold
#endif

namespace ulo::pairstat {
namespace {

// The accumulator of the open run; null when none is open. The lock keeps a
// run whole when several threads drive it; it changes no output.
std::unique_ptr<PairAccumulator> activeAccumulator;

platform::RecursiveLock& RunLock() {
  static platform::RecursiveLock lock;
  return lock;
}

}  // namespace

bool BeginCountingRun(const char* workDir) {
  // An empty directory would put the spill files at the root ("/temp1.txt").
  if (workDir == nullptr || *workDir == '\0' || std::strlen(workDir) > kMaxWorkDirLength) {
    return false;
  }
  platform::ScopedLock hold(RunLock());
  if (activeAccumulator) {
    bool stored = activeAccumulator->Finish();
    activeAccumulator.reset();
    if (!stored) return false;
  }
  auto accumulator = std::make_unique<PairAccumulator>(ULO_RUN_SPILL_THRESHOLD);
  if (!accumulator->Start(workDir)) return false;
  activeAccumulator = std::move(accumulator);
  return true;
}

bool CountPairInRun(const char* word1, const char* word2, int32_t count, int32_t oneWay) {
  if (word1 == nullptr || word1[0] == '\0' || word2 == nullptr || word2[0] == '\0') return false;
  platform::ScopedLock hold(RunLock());
  if (!activeAccumulator) return false;
  std::string_view first(word1);
  std::string_view second(word2);
  if ((oneWay & 0xFF) == 0) return activeAccumulator->AddPairBothWays(first, second, count);
  return activeAccumulator->AddPair(first, second, count);
}

int32_t EndCountingRun() {
  platform::ScopedLock hold(RunLock());
  if (!activeAccumulator) return 1;
  bool stored = activeAccumulator->Finish();
  activeAccumulator.reset();
  return stored ? 1 : 0;
}

}  // namespace ulo::pairstat
