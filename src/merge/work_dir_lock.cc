#include "merge/work_dir_lock.h"

#include <chrono>
#include <cstdio>

namespace ulo::merge {

std::string WorkDirLockPath(const std::string& workDir) {
  return workDir + ".lock";
}

WorkDirLock::WorkDirLock(const std::string& workDir, const LogLine& log) {
  platform::Env* env = platform::Env::Current();
  std::string path = WorkDirLockPath(workDir);
  int error = 0;
  lock = env->LockFile(path, false, &error);
  if (lock || error != 0) return;

  auto start = std::chrono::steady_clock::now();
  lock = env->LockFile(path, true, &error);
  if (!lock) return;
  waitedFor = true;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  char text[64];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  log("Waited " + std::string(text) + " for another merge to finish with " + workDir);
}

}  // namespace ulo::merge
