// A file being written (by the engine, or by the library it handed the
// path), written out as it grows. ext4 writes a file out whole when it is
// renamed over an older one, in the rename itself: started while the file is
// written, on a core the writer leaves idle, that wait mostly goes.
#ifndef ULO_ENGINE_FILES_WRITEBACK_H_
#define ULO_ENGINE_FILES_WRITEBACK_H_

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace ulo::engine {

class Writeback {
 public:
  // Starts on `path` when `replaces` names a file that is there now: only a
  // rename over a file waits.
  Writeback(std::string path, const std::string& replaces);
  ~Writeback();
  Writeback(const Writeback&) = delete;
  Writeback& operator=(const Writeback&) = delete;

 private:
  void Run();

  std::string path;
  std::mutex mutex;
  std::condition_variable stopped;
  bool stop = false;
  std::thread thread;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_FILES_WRITEBACK_H_
