#include "merge/pass_plan.h"

namespace ulo::merge {

int PassCount(int64_t files, int fanIn) {
  if (files < 2 || fanIn < 2) return 0;
  int passes = 0;
  // After p passes at most `reach` = fanIn^p files have been merged into one.
  int64_t reach = 1;
  while (reach < files) {
    ++passes;
    if (reach > INT64_MAX / fanIn) break;  // fanIn^p now exceeds any int64 count
    reach *= fanIn;
  }
  return passes;
}

}  // namespace ulo::merge
