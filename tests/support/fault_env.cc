#include "support/fault_env.h"

#include <algorithm>
#include <cerrno>

namespace ulo::testing {

namespace {

class FaultyReadFile : public platform::SequentialFile {
 public:
  FaultyReadFile(std::unique_ptr<SequentialFile> inner, FaultEnv* env, bool fail)
      : inner(std::move(inner)), env(env), fail(fail), left(env->readableBytes) {
    ++env->openFiles;
  }
  ~FaultyReadFile() override { --env->openFiles; }
  int64_t Read(char* buffer, size_t n, int* error) override {
    if (!fail) return inner->Read(buffer, n, error);
    if (left == 0) {
      ++env->faults;
      *error = EIO;
      return -1;
    }
    int64_t got = inner->Read(buffer, std::min(n, left), error);
    if (got > 0) left -= static_cast<size_t>(got);
    return got;
  }

 private:
  std::unique_ptr<SequentialFile> inner;
  FaultEnv* env;
  bool fail;
  size_t left;
};

class FaultyWriteFile : public platform::WritableFile {
 public:
  FaultyWriteFile(std::unique_ptr<WritableFile> inner, FaultEnv* env, std::string path)
      : inner(std::move(inner)), env(env), path(std::move(path)) {
    ++env->openFiles;
  }
  ~FaultyWriteFile() override { --env->openFiles; }
  bool Write(const char* data, size_t n, int* error) override {
    ++env->writes;
    int code = 0;
    if (!env->Fault(env->failWrite, path, &code, ENOSPC)) return inner->Write(data, n, error);
    inner->Write(data, n / 2, error);
    *error = code;
    return false;
  }
  bool Close(int* error) override {
    bool closed = inner->Close(error);
    return !env->Fault(env->failClose, path, error, EIO) && closed;
  }

 private:
  std::unique_ptr<WritableFile> inner;
  FaultEnv* env;
  std::string path;
};

class FaultyListing : public platform::DirectoryIterator {
 public:
  FaultyListing(std::unique_ptr<DirectoryIterator> inner, uint32_t extraBits, bool fail)
      : inner(std::move(inner)), extraBits(extraBits), fail(fail) {}
  bool Next(platform::DirectoryEntry* entry) override {
    if (fail || !inner->Next(entry)) return false;
    if (platform::IsDirectory(entry->attributes)) entry->attributes |= extraBits;
    return true;
  }
  int ErrorCode() const override { return fail ? EIO : inner->ErrorCode(); }

 private:
  std::unique_ptr<DirectoryIterator> inner;
  uint32_t extraBits;
  bool fail;
};

}  // namespace

FaultEnv::Match FaultEnv::EndsWith(std::string tail) {
  return [tail](const std::string& path) {
    return path.size() >= tail.size() &&
           path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
  };
}

FaultEnv::Match FaultEnv::Nth(int n, bool onward) {
  auto calls = std::make_shared<std::atomic<int>>(0);
  return [calls, n, onward](const std::string&) {
    int call = ++*calls;
    return onward ? call >= n : call == n;
  };
}

std::unique_ptr<platform::SequentialFile> FaultEnv::OpenForRead(const std::string& path,
                                                                int* error) {
  if (beforeOpenRead) beforeOpenRead(path);
  if (Fault(failOpenRead, path, error, EIO)) return nullptr;
  auto file = target->OpenForRead(path, error);
  if (!file) return nullptr;
  return std::make_unique<FaultyReadFile>(std::move(file), this, failRead && failRead(path));
}

std::unique_ptr<platform::WritableFile> FaultEnv::OpenForWrite(const std::string& path, bool append,
                                                               int* error) {
  openedForWrite.push_back(path);
  if (Fault(failOpenWrite, path, error, EIO)) return nullptr;
  auto file = target->OpenForWrite(path, append, error);
  if (!file) return nullptr;
  return std::make_unique<FaultyWriteFile>(std::move(file), this, path);
}

std::unique_ptr<platform::DirectoryIterator> FaultEnv::OpenDirectory(const std::string& path,
                                                                     int* error) {
  if (Fault(failOpenDirectory, path, error, EIO)) return nullptr;
  auto listing = target->OpenDirectory(path, error);
  if (!listing) return nullptr;
  int ignored = 0;
  return std::make_unique<FaultyListing>(std::move(listing), extraDirectoryBits,
                                         Fault(failListing, path, &ignored, EIO));
}

}  // namespace ulo::testing
