#include "engine/count/workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ulo::engine {
namespace {

enum : uint32_t { kTally = 1, kFailure = 2 };

struct Record {
  uint32_t kind;
  uint32_t length;  // bytes of failure text that follow a kFailure record
  CountTally tally;
};

bool WriteAll(int fd, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

[[noreturn]] void RunChild(int part, int fd, pid_t parent, const WorkerBody& body) {
  // A worker must not outlive its parent: a rerun after a crash would
  // otherwise find it still writing.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(3);
  // Should the death signal not come, the next tally (a fifth of a second
  // away at most while counting) finds the parent gone all the same.
  TallySink sink = [fd, parent](const CountTally& tally) {
    if (getppid() != parent) _exit(3);
    Record record{kTally, 0, tally};
    WriteAll(fd, &record, sizeof record);
  };
  std::string failure = body(part, sink);
  if (!failure.empty()) {
    Record record{kFailure, static_cast<uint32_t>(failure.size()), {}};
    WriteAll(fd, &record, sizeof record);
    WriteAll(fd, failure.data(), failure.size());
  }
  close(fd);
  _exit(failure.empty() ? 0 : 1);
}

struct Child {
  pid_t pid = -1;
  int fd = -1;
  std::string pending;  // bytes of a record not yet whole
  std::string failure;
  bool finished = false;
};

// Takes the whole records out of `child.pending`.
void TakeRecords(Child& child, CountTally* tally) {
  size_t used = 0;
  while (child.pending.size() - used >= sizeof(Record)) {
    Record record;
    std::memcpy(&record, child.pending.data() + used, sizeof record);
    size_t size = sizeof record + (record.kind == kFailure ? record.length : 0);
    if (child.pending.size() - used < size) break;
    if (record.kind == kTally) *tally = record.tally;
    if (record.kind == kFailure)
      child.failure = child.pending.substr(used + sizeof record, record.length);
    used += size;
  }
  child.pending.erase(0, used);
}

std::string HowItEnded(int status) {
  if (WIFSIGNALED(status)) {
    return std::string("the worker was ended by signal ") + std::to_string(WTERMSIG(status)) +
           " (" + strsignal(WTERMSIG(status)) + ")";
  }
  return "the worker ended with exit code " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

WorkersOutcome RunWorkers(int parts, const WorkerBody& body,
                          const std::function<bool(const CountTally&)>& progress) {
  WorkersOutcome outcome;
  outcome.tallies.assign(static_cast<size_t>(parts), CountTally{});
  std::vector<Child> children(static_cast<size_t>(parts));
  pid_t self = getpid();
  std::fflush(nullptr);  // nothing buffered may be written twice
  for (int k = 0; k < parts; ++k) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      outcome.ok = false;
      outcome.failedPart = k;
      outcome.failure = std::string("cannot start a worker: ") + std::strerror(errno);
      break;
    }
    pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      for (int j = 0; j < k; ++j)
        close(children[j].fd);
      RunChild(k, fds[1], self, body);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      outcome.ok = false;
      outcome.failedPart = k;
      outcome.failure = std::string("cannot start a worker: ") + std::strerror(errno);
      break;
    }
    children[k].pid = pid;
    children[k].fd = fds[0];
  }

  auto stopAll = [&] {
    for (Child& child : children) {
      if (child.pid > 0 && !child.finished) kill(child.pid, SIGKILL);
    }
  };
  if (!outcome.ok) stopAll();

  for (;;) {
    std::vector<pollfd> polled;
    std::vector<size_t> which;
    for (size_t k = 0; k < children.size(); ++k) {
      if (children[k].fd < 0) continue;
      polled.push_back({children[k].fd, POLLIN, 0});
      which.push_back(k);
    }
    if (polled.empty()) break;
    if (poll(polled.data(), polled.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    bool changed = false;
    for (size_t p = 0; p < polled.size(); ++p) {
      if (polled[p].revents == 0) continue;
      Child& child = children[which[p]];
      char buffer[4096];
      ssize_t got = read(child.fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got > 0) {
        child.pending.append(buffer, static_cast<size_t>(got));
        TakeRecords(child, &outcome.tallies[which[p]]);
        changed = true;
        continue;
      }
      // The pipe closed: the worker is done, one way or another.
      close(child.fd);
      child.fd = -1;
      int status = 0;
      while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
      }
      child.finished = true;
      bool succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0 && child.failure.empty();
      if (!succeeded && outcome.ok) {
        outcome.ok = false;
        outcome.failedPart = static_cast<int>(which[p]);
        outcome.failure = child.failure.empty() ? HowItEnded(status) : child.failure;
        stopAll();
      }
    }
    if (changed && outcome.ok) {
      CountTally sum;
      for (const CountTally& tally : outcome.tallies)
        sum += tally;
      if (!progress(sum)) {
        outcome.ok = false;
        outcome.failure = "the count was stopped";
        stopAll();
      }
    }
  }
  // Workers whose pipe never opened, or that were stopped: reap them all.
  for (Child& child : children) {
    if (child.pid > 0 && !child.finished) {
      int status = 0;
      while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
      }
      child.finished = true;
    }
  }
  return outcome;
}

}  // namespace ulo::engine
