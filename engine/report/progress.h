// How the engine tells of long work. It shows nothing itself: a front-end
// passes an object that shows it as it likes (ulo on a terminal, Python
// through a callback), or none.
#ifndef ULO_ENGINE_REPORT_PROGRESS_H_
#define ULO_ENGINE_REPORT_PROGRESS_H_

#include <cstdint>
#include <functional>

namespace ulo::engine {

class ProgressReport {
 public:
  virtual ~ProgressReport() = default;
  // The counting so far, a few times a second at most. False stops the
  // count: the user has asked it to end.
  virtual bool Counting(uint64_t lines, uint64_t pairs) = 0;
  // From now until Stop(), `poll()` tells the bytes written so far of an
  // operation that reads `inputBytes`; it may be called from another thread.
  virtual void PollBytes(uint64_t inputBytes, std::function<uint64_t()> poll) = 0;
  // The work has ended.
  virtual void Stop() = 0;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_REPORT_PROGRESS_H_
