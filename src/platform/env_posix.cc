// POSIX implementation of the environment layer.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "platform/env.h"

namespace ulo::platform {
namespace {

uint32_t AttributesOf(const struct stat& info) {
  return S_ISDIR(info.st_mode) ? kAttributeDirectory : kAttributeNormal;
}

// The attribute word of `path`, a link reading as what it leads to and
// marked as a link, as FindFirstFileA and GetFileAttributesA mark theirs.
bool LinkAwareAttributes(const std::string& path, uint32_t* attributes, int* error) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) {
    *error = errno;
    return false;
  }
  if (!S_ISLNK(info.st_mode)) {
    *attributes = AttributesOf(info);
    return true;
  }
  *attributes = kAttributeReparsePoint |
                (::stat(path.c_str(), &info) == 0 ? AttributesOf(info) : kAttributeNormal);
  return true;
}

class PosixSequentialFile final : public SequentialFile {
 public:
  explicit PosixSequentialFile(int fd) : fd(fd) {}
  ~PosixSequentialFile() override { ::close(fd); }
  PosixSequentialFile(const PosixSequentialFile&) = delete;
  PosixSequentialFile& operator=(const PosixSequentialFile&) = delete;

  int64_t Read(char* buffer, size_t n, int* error) override {
    for (;;) {
      ssize_t got = ::read(fd, buffer, n);
      if (got >= 0) return got;
      if (errno == EINTR) continue;
      *error = errno;
      return -1;
    }
  }

 private:
  int fd;
};

class PosixWritableFile final : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd(fd) {}
  ~PosixWritableFile() override {
    if (fd >= 0) ::close(fd);
  }
  PosixWritableFile(const PosixWritableFile&) = delete;
  PosixWritableFile& operator=(const PosixWritableFile&) = delete;

  bool Write(const char* data, size_t n, int* error) override {
    if (fd < 0) {
      *error = EBADF;
      return false;
    }
    while (n > 0) {
      ssize_t written = ::write(fd, data, n);
      if (written < 0) {
        if (errno == EINTR) continue;
        *error = errno;
        return false;
      }
      data += written;
      n -= static_cast<size_t>(written);
    }
    return true;
  }

  bool Close(int* error) override {
    if (fd < 0) return true;
    int result = ::close(fd);
    fd = -1;
    if (result != 0) {
      *error = errno;
      return false;
    }
    return true;
  }

 private:
  int fd;
};

class PosixDirectoryIterator final : public DirectoryIterator {
 public:
  PosixDirectoryIterator(DIR* dir, std::string path) : dir(dir), path(std::move(path)) {}
  ~PosixDirectoryIterator() override { ::closedir(dir); }
  PosixDirectoryIterator(const PosixDirectoryIterator&) = delete;
  PosixDirectoryIterator& operator=(const PosixDirectoryIterator&) = delete;

  bool Next(DirectoryEntry* entry) override {
    errno = 0;
    struct dirent* found = ::readdir(dir);
    if (found == nullptr) {
      errorCode = errno;
      return false;
    }
    entry->name = found->d_name;
    if (found->d_type == DT_DIR) {
      entry->attributes = kAttributeDirectory;
    } else if (found->d_type == DT_REG) {
      entry->attributes = kAttributeNormal;
    } else {
      // Links, unknown types: a link reads as what it leads to, marked.
      int ignored = 0;
      if (!LinkAwareAttributes(JoinPath(path, entry->name), &entry->attributes, &ignored)) {
        entry->attributes = kAttributeNormal;
      }
    }
    return true;
  }

  int ErrorCode() const override { return errorCode; }

 private:
  DIR* dir;
  std::string path;
  int errorCode = 0;
};

class PosixFileLock final : public FileLock {
 public:
  PosixFileLock(int fd, std::string path) : fd(fd), path(std::move(path)) {}
  // The name goes while the lock is still held: whoever waits on this file
  // then finds it unnamed and starts over on a new one. Lock files stay
  // empty: one with bytes is somebody's own file, locked as it is, and stays.
  ~PosixFileLock() override {
    struct stat info;
    if (::fstat(fd, &info) != 0 || info.st_size == 0) ::unlink(path.c_str());
    ::close(fd);
  }
  PosixFileLock(const PosixFileLock&) = delete;
  PosixFileLock& operator=(const PosixFileLock&) = delete;

 private:
  int fd;
  std::string path;
};

class PosixEnv final : public Env {
 public:
  std::unique_ptr<SequentialFile> OpenForRead(const std::string& path, int* error) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      *error = errno;
      return nullptr;
    }
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(fd);
      *error = EISDIR;
      return nullptr;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<PosixSequentialFile>(fd);
  }

  std::unique_ptr<WritableFile> OpenForWrite(const std::string& path, bool append,
                                             int* error) override {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : 0);
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
      *error = errno;
      return nullptr;
    }
    // Emptied only when it holds bytes: truncating a file, even an empty one
    // made beforehand to reserve its name, makes some file systems (ext4)
    // write the whole new content out when it is closed, which a large
    // output waits for.
    struct stat info;
    if (!append && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
        ::ftruncate(fd, 0) != 0) {
      *error = errno;
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixWritableFile>(fd);
  }

  std::unique_ptr<DirectoryIterator> OpenDirectory(const std::string& path, int* error) override {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
      *error = errno;
      return nullptr;
    }
    return std::make_unique<PosixDirectoryIterator>(dir, path);
  }

  bool GetAttributes(const std::string& path, uint32_t* attributes, int* error) override {
    return LinkAwareAttributes(path, attributes, error);
  }

  bool CreateDir(const std::string& path, int* error) override {
    return Check(::mkdir(path.c_str(), 0755), error);
  }

  bool RemoveDir(const std::string& path, int* error) override {
    if (::rmdir(path.c_str()) == 0) return true;
    int code = errno;
    struct stat info;
    if (code == ENOTDIR && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
      return Check(::unlink(path.c_str()), error);
    }
    *error = code;
    return false;
  }

  bool RemoveFile(const std::string& path, int* error) override {
    return Check(::unlink(path.c_str()), error);
  }

  bool CopyFileOver(const std::string& from, const std::string& to, int* error) override {
    auto source = OpenForRead(from, error);
    if (!source) return false;
    auto target = OpenForWrite(to, false, error);
    if (!target) return false;
    std::vector<char> buffer(1 << 20);
    for (;;) {
      int64_t got = source->Read(buffer.data(), buffer.size(), error);
      if (got < 0) return false;
      if (got == 0) break;
      if (!target->Write(buffer.data(), static_cast<size_t>(got), error)) return false;
    }
    return target->Close(error);
  }

  bool Exists(const std::string& path) override { return ::access(path.c_str(), F_OK) == 0; }

  bool SameFile(const std::string& a, const std::string& b) override {
    struct stat infoA, infoB;
    if (::stat(a.c_str(), &infoA) != 0 || ::stat(b.c_str(), &infoB) != 0) return false;
    return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
  }

  std::string ErrorText(int code) override {
    char buffer[256] = {0};
    return Text(::strerror_r(code, buffer, sizeof buffer), buffer);
  }

  LocalTime Now() override {
    time_t seconds = ::time(nullptr);
    struct tm parts;
    ::localtime_r(&seconds, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                     parts.tm_hour,        parts.tm_min,     parts.tm_sec};
  }

  void SleepMilliseconds(int milliseconds) override {
    struct timespec wait {
      milliseconds / 1000, (milliseconds % 1000) * 1000000L
    };
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
  }

  std::unique_ptr<FileLock> LockFile(const std::string& path, bool wait, int* error) override {
    for (;;) {
      int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (fd < 0) {
        *error = errno;
        return nullptr;
      }
      if (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        int code = errno;
        ::close(fd);
        if (code == EINTR) continue;
        *error = code == EWOULDBLOCK ? 0 : code;
        return nullptr;
      }
      // The holder before us removes the file as it lets go: the lock is ours
      // only if the name still leads to the file we locked.
      struct stat held, named;
      if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        return std::make_unique<PosixFileLock>(fd, path);
      }
      ::close(fd);
    }
  }

 private:
  static bool Check(int result, int* error) {
    if (result == 0) return true;
    *error = errno;
    return false;
  }
  // strerror_r comes in a GNU form (returns the text) and an XSI form
  // (returns 0 and fills the buffer); accept either.
  static std::string Text(const char* text, const char*) { return text; }
  static std::string Text(int, const char* buffer) { return buffer; }
};

}  // namespace

Env* Env::Default() {
  // Never destroyed, so usable until the very end of the process; kept in
  // static storage rather than on the heap, so that a host that unloads the
  // library is left no block that nothing points to.
  alignas(PosixEnv) static unsigned char storage[sizeof(PosixEnv)];
  static PosixEnv* env = new (storage) PosixEnv;
  return env;
}

struct RecursiveLock::Impl {
  std::recursive_mutex mutex;
};

RecursiveLock::RecursiveLock() : impl(std::make_unique<Impl>()) {}
RecursiveLock::~RecursiveLock() = default;
void RecursiveLock::Lock() {
  impl->mutex.lock();
}
void RecursiveLock::Unlock() {
  impl->mutex.unlock();
}

bool MultiByteEqualNoCase(std::string_view a, std::string_view b) {
  // The system code page here is taken as GB2312/GBK: lead bytes 0x81-0xFE.
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  size_t i = 0;
  while (i < a.size() && i < b.size()) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 0x81 && x != 0xFF && i + 1 < a.size()) {
      // A double-byte character: both bytes must match exactly.
      if (x != y || i + 1 >= b.size() || a[i + 1] != b[i + 1]) return false;
      i += 2;
      continue;
    }
    if (lower(x) != lower(y)) return false;
    ++i;
  }
  return i == a.size() && i == b.size();
}

int32_t AtomicExchange(volatile int32_t* target, int32_t value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

int32_t AtomicLoad(const volatile int32_t* target) {
  return __atomic_load_n(target, __ATOMIC_SEQ_CST);
}

void AtomicStore(volatile int32_t* target, int32_t value) {
  __atomic_store_n(target, value, __ATOMIC_SEQ_CST);
}

}  // namespace ulo::platform
