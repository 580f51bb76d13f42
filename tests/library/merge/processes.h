// Starting the merge worker (merge_worker.cc) as a process of its own and
// waiting for it, on POSIX and on Windows.
#ifndef ULO_TESTS_MERGE_PROCESSES_H_
#define ULO_TESTS_MERGE_PROCESSES_H_

#include <memory>
#include <string>
#include <vector>

namespace ulo::testing {

class ChildProcess {
 public:
  virtual ~ChildProcess() = default;
  virtual bool started() const = 0;
  virtual const std::string& error() const = 0;
  // Waits for the process to end; its exit code, or -1000 when it did not
  // exit normally.
  virtual int Wait() = 0;
};

// Starts merge_worker, which lies beside the test program, with `arguments`.
std::unique_ptr<ChildProcess> StartMergeWorker(const std::vector<std::string>& arguments);

}  // namespace ulo::testing

#endif  // ULO_TESTS_MERGE_PROCESSES_H_
