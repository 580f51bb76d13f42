#include "engine/files/writeback.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "engine/files/staging.h"

namespace ulo::engine {
namespace {

constexpr auto kPeriod = std::chrono::milliseconds(5);

}  // namespace

Writeback::Writeback(std::string path, const std::string& replaces) : path(std::move(path)) {
  struct stat status;
  if (stat(replaces.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return;
  thread = std::thread([this] { Run(); });
}

Writeback::~Writeback() {
  if (!thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    stop = true;
  }
  stopped.notify_one();
  thread.join();
}

void Writeback::Run() {
  Descriptor file;
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopped.wait_for(lock, kPeriod, [this] { return stop; })) {
    if (!file) file.Reset(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    // Best effort: starts writing what is there, waits for none of it.
    if (file) sync_file_range(file.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
  }
}

}  // namespace ulo::engine
