// Work on many files at once: a thread loop shared by the checks, the seal
// checks and the joins.
#ifndef ULO_ENGINE_FILES_THREADS_H_
#define ULO_ENGINE_FILES_THREADS_H_

#include <cstddef>
#include <functional>

namespace ulo::engine {

// Runs `work(i)` for i = 0 .. count - 1 on up to `threads` threads, this one
// among them, each taking the next i not yet taken.
void ForEachInThreads(size_t count, int threads, const std::function<void(size_t)>& work);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_FILES_THREADS_H_
