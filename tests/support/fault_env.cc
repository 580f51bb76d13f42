#include "support/fault_env.h"

#include <algorithm>
#include <cerrno>

namespace ulo::testing {

namespace {

// The wrappers below count themselves in FaultEnv::openFiles while they live.
class Counted {
 public:
  explicit Counted(FaultEnv* env) : env(env) { ++env->openFiles; }
  ~Counted() { --env->openFiles; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;

 protected:
  FaultEnv* env;
};

class FaultyReadFile : public platform::SequentialFile, Counted {
 public:
  FaultyReadFile(std::unique_ptr<SequentialFile> inner, FaultEnv* env, bool fail)
      : Counted(env), inner(std::move(inner)), fail(fail), left(env->readableBytes) {}
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
  bool fail;
  size_t left;
};

class FaultyWriteFile : public platform::WritableFile, Counted {
 public:
  FaultyWriteFile(std::unique_ptr<WritableFile> inner, FaultEnv* env, std::string path)
      : Counted(env), inner(std::move(inner)), path(std::move(path)) {}
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

FaultEnv::Match Counter(int n, bool onward) {
  auto calls = std::make_shared<std::atomic<int>>(0);
  return [calls, n, onward](const std::string&) {
    int call = ++*calls;
    return onward ? call >= n : call == n;
  };
}

}  // namespace

FaultEnv::Match FaultEnv::Always() {
  return [](const std::string&) { return true; };
}

FaultEnv::Match FaultEnv::EndsWith(std::string tail) {
  return [tail](const std::string& path) {
    return path.size() >= tail.size() &&
           path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
  };
}

FaultEnv::Match FaultEnv::Nth(int n) {
  return Counter(n, false);
}

FaultEnv::Match FaultEnv::FromNth(int n) {
  return Counter(n, true);
}

FaultEnv::FaultEnv() : EnvWrapper(platform::Env::Default()) {}
FaultEnv::~FaultEnv() = default;

bool FaultEnv::Fault(const Match& match, const std::string& path, int* error, int code) {
  if (!match || !match(path)) return false;
  ++faults;
  *error = code;
  return true;
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
  auto listing = target->OpenDirectory(path, error);
  if (!listing) return nullptr;
  int ignored = 0;
  return std::make_unique<FaultyListing>(std::move(listing), extraDirectoryBits,
                                         Fault(failListing, path, &ignored, EIO));
}

bool FaultEnv::GetAttributes(const std::string& path, uint32_t* attributes, int* error) {
  if (!target->GetAttributes(path, attributes, error)) return false;
  if (platform::IsDirectory(*attributes)) *attributes |= extraDirectoryBits;
  return true;
}

bool FaultEnv::CreateDir(const std::string& path, int* error) {
  return !Fault(failCreateDir, path, error, EIO) && target->CreateDir(path, error);
}

bool FaultEnv::RemoveFile(const std::string& path, int* error) {
  return !Fault(failRemoveFile, path, error, EIO) && target->RemoveFile(path, error);
}

bool FaultEnv::CopyFileOver(const std::string& from, const std::string& to, int* error) {
  return !Fault(failCopy, to, error, EIO) && target->CopyFileOver(from, to, error);
}

bool FaultEnv::Exists(const std::string& path) {
  return !reportMissing && target->Exists(path);
}

std::string FaultEnv::ErrorText(int) {
  return "injected";
}

}  // namespace ulo::testing
