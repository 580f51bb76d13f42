#include "engine/merge/slice_feed.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "engine/files/pair_check.h"
#include "engine/files/staging.h"

namespace ulo::engine {
namespace {

// What a feeder checks before it hands it to the pipe. The pipe keeps its
// size: larger pipes measured no faster, and they come out of a budget each
// user's pipes share.
constexpr size_t kChunk = size_t{1} << 20;

// The line that ends just before the line start `at`; empty at the start.
std::string_view LineBefore(std::string_view file, size_t at) {
  if (at == 0) return {};
  size_t end = at - 1;  // its line end
  size_t newline = end == 0 ? std::string_view::npos : file.rfind('\n', end - 1);
  size_t start = newline == std::string_view::npos ? 0 : newline + 1;
  return file.substr(start, end - start);
}

// The start of the first line that begins after `from`, at most `end`.
size_t LineStartAfter(std::string_view file, size_t from, size_t end) {
  size_t newline = file.find('\n', from);
  return newline == std::string_view::npos || newline >= end ? end : newline + 1;
}

// The pipe takes the mapped pages themselves, not copies of them; where it
// cannot, they are written.
bool WriteAll(int fd, const char* data, size_t n) {
  bool splice = true;
  while (n > 0) {
    iovec piece{const_cast<char*>(data), n};
    ssize_t written = splice ? vmsplice(fd, &piece, 1, 0) : write(fd, data, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      if (splice && (errno == EINVAL || errno == ENOSYS)) {
        splice = false;
        continue;
      }
      return false;
    }
    data += written;
    n -= static_cast<size_t>(written);
  }
  return true;
}

// Moves `n` bytes of the file `in` from `offset` into the pipe `out` inside
// the kernel: the pipe takes references to the cached pages, and this
// process maps none of them (each mapped page faults on its own). False
// where splice cannot move this file's pages at all and nothing went (the
// caller writes them instead); true otherwise, with `*error` saying what cut
// the slice short, or empty when it went whole or the merge stopped reading
// (the merge says why itself).
bool SpliceAll(int in, uint64_t offset, size_t n, int out, std::string* error) {
  auto at = static_cast<loff_t>(offset);
  bool moved = false;
  while (n > 0) {
    ssize_t got = splice(in, &at, out, nullptr, n, SPLICE_F_MOVE | SPLICE_F_MORE);
    if (got > 0) {
      moved = true;
      n -= static_cast<size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EPIPE) return true;
    if (got < 0 && !moved && (errno == EINVAL || errno == ENOSYS)) return false;
    // A merge given the lines that went would leave the rest out unseen.
    *error = got == 0 ? "the file ended at byte " + std::to_string(at) + ", inside the slice"
                      : "cannot read byte " + std::to_string(at) + ": " + std::strerror(errno);
    return true;
  }
  return true;
}

}  // namespace

std::string SliceName(size_t i) {
  return "slice-" + std::to_string(i);
}

std::string SliceProblem(const Slice& slice) {
  std::string_view lines = slice.file.substr(slice.begin, slice.end - slice.begin);
  return PairLinesProblem(LineBefore(slice.file, slice.begin), lines, kMergedPairs);
}

struct SliceFeed::Feeder {
  Slice slice;
  std::string path;
  std::string problem;  // what its check found
  std::string error;    // what cut it short otherwise
  std::atomic<bool> done{false};
  std::thread thread;

  void Run(const std::atomic<bool>& abandoned) {
    // A write to a pipe its reader has left raises SIGPIPE in the writing
    // thread: blocked here, and taken back before the thread ends.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    Feed(abandoned);
    timespec none{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &none) == SIGPIPE) {
    }
    done = true;
  }

  void Feed(const std::atomic<bool>& abandoned) {
    // Waits for the merge to open the pipe (or for Finish to let it go).
    Descriptor fd;
    do {
      fd.Reset(open(path.c_str(), O_WRONLY | O_CLOEXEC));
    } while (!fd && errno == EINTR);
    if (!fd || abandoned) return;
    // A slice taken as it is goes from the file itself: its pages are
    // never mapped here. A merge of dict-gcide's sealed spill files in two
    // ranges took 4% less time so. A checked slice is read anyway, and
    // handing the pages it checked over costs less than reading it a second
    // time (a pread and write of the 20 unsealed spill files took 16% more).
    if (!slice.check) {
      Descriptor in(open(slice.path.c_str(), O_RDONLY | O_CLOEXEC));
      if (in && SpliceAll(in.get(), slice.begin, slice.end - slice.begin, fd.get(), &error)) return;
    }
    for (size_t at = slice.begin; at < slice.end;) {
      // Pieces end on the first line end at or past a whole chunk of the file.
      size_t mark = (at / kChunk + 1) * kChunk;
      size_t stop = mark >= slice.end ? slice.end : LineStartAfter(slice.file, mark, slice.end);
      std::string_view lines = slice.file.substr(at, stop - at);
      if (slice.check) {
        problem = SliceProblem({slice.file, at, stop, true, slice.path});
        // The merge sees its input end here; its output is not kept.
        if (!problem.empty()) return;
      }
      // A failed write: the merge stopped reading, and says why itself.
      if (!WriteAll(fd.get(), lines.data(), lines.size())) return;
      at = stop;
    }
  }
};

SliceFeed::SliceFeed() = default;
SliceFeed::~SliceFeed() {
  Finish();
}

bool SliceFeed::Start(const std::string& dir, const std::vector<Slice>& slices) {
  for (size_t i = 0; i < slices.size(); ++i) {
    auto& feeder = feeders.emplace_back(std::make_unique<Feeder>());
    feeder->slice = slices[i];
    feeder->path = dir + "/" + SliceName(i);
    if (mkfifo(feeder->path.c_str(), 0600) != 0) {
      feeders.pop_back();
      break;
    }
  }
  bool started = feeders.size() == slices.size();
  try {
    for (size_t i = 0; started && i < feeders.size(); ++i) {
      Feeder* feeder = feeders[i].get();
      feeder->thread = std::thread([feeder, this] { feeder->Run(abandoned); });
    }
  } catch (const std::system_error&) {
    started = false;
  }
  if (!started) {
    Finish();
    for (const auto& feeder : feeders)
      unlink(feeder->path.c_str());
    feeders.clear();
    abandoned = false;
  }
  return started;
}

std::string SliceFeed::Finish() {
  abandoned = true;
  // A feeder still waiting for the merge to open its pipe is let go by an
  // open of the other end; one that opens after that is let go next round.
  for (;;) {
    bool waiting = false;
    for (const auto& feeder : feeders) {
      if (!feeder->thread.joinable() || feeder->done) continue;
      waiting = true;
      int fd = open(feeder->path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) close(fd);
    }
    if (!waiting) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::string problem;
  for (size_t i = 0; i < feeders.size(); ++i) {
    if (feeders[i]->thread.joinable()) feeders[i]->thread.join();
    const Feeder& feeder = *feeders[i];
    if (problem.empty() && !feeder.problem.empty()) {
      problem = kNotPairs + ("slice " + std::to_string(i) + ": ") + feeder.problem;
    } else if (problem.empty() && !feeder.error.empty()) {
      problem = "slice " + std::to_string(i) + " of " + feeder.slice.path + ": " + feeder.error;
    }
  }
  return problem;
}

}  // namespace ulo::engine
