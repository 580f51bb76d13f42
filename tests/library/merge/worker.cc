// One merge in a process of its own, for the tests of merges side by side:
//   merge_worker SOURCE OUT [GATE]
// waits until the file GATE exists (so that many workers start together),
// then merges SOURCE into OUT and exits with the merge's code negated.
#include <cstdio>

#include "merge/file_merger.h"
#include "platform/env.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: merge_worker SOURCE OUT [GATE]\n");
    return 100;
  }
  ulo::platform::Env* env = ulo::platform::Env::Current();
  if (argc > 3) {
    for (int waited = 0; !env->Exists(argv[3]); ++waited) {
      if (waited > 60000) return 101;
      env->SleepMilliseconds(1);
    }
  }
  ulo::merge::FileMerger merger;
  return -merger.MergeFiles(argv[1], argv[2]);
}
