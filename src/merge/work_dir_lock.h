// Merges whose sources share a parent directory share its work directory
// "merge_temp". A WorkDirLock holds that directory for one merge, against
// merges in other processes as well, through the lock file
// "merge_temp.lock" beside it. The file exists only while a merge holds or
// waits for it (one left by a process that was killed goes with the next
// merge there), and no listing takes it for an input. A lock file stays
// empty: somebody's own file of that name, with bytes in it, is locked as it
// is and stays.
#ifndef ULO_MERGE_WORK_DIR_LOCK_H_
#define ULO_MERGE_WORK_DIR_LOCK_H_

#include <memory>
#include <string>
#include <string_view>

#include "merge/error_log.h"
#include "platform/env.h"

namespace ulo::merge {

inline constexpr std::string_view kWorkDirLockName = "merge_temp.lock";

// The lock file of the work directory `workDir`: its path followed by ".lock".
std::string WorkDirLockPath(const std::string& workDir);

class WorkDirLock {
 public:
  // Takes the lock, waiting as long as another merge holds it; after a wait
  // `log` gets a line saying so. Where the system cannot lock the file the
  // merge goes on unguarded, as merges always could.
  WorkDirLock(const std::string& workDir, const LogLine& log);
  WorkDirLock(const WorkDirLock&) = delete;
  WorkDirLock& operator=(const WorkDirLock&) = delete;

  bool held() const { return lock != nullptr; }
  bool waited() const { return waitedFor; }

 private:
  std::unique_ptr<platform::FileLock> lock;
  bool waitedFor = false;
};

}  // namespace ulo::merge

#endif  // ULO_MERGE_WORK_DIR_LOCK_H_
