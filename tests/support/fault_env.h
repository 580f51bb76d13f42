// The real system with chosen operations made to fail, for the tests of
// what the library does when the system fails it.
#ifndef ULO_TESTS_SUPPORT_FAULT_ENV_H_
#define ULO_TESTS_SUPPORT_FAULT_ENV_H_

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace ulo::testing {

// Env::Default() with faults in front of it, installed for its lifetime. A
// Match picks the paths (for writes and closes: the calls) that fail; unset,
// nothing fails. A failed write stores half its bytes first, as a filling
// disk does, and reports ENOSPC; the other faults report EIO, whose text is
// "injected".
class FaultEnv : public platform::EnvWrapper {
 public:
  using Match = std::function<bool(const std::string& path)>;
  static Match Always() {
    return [](const std::string&) { return true; };
  }
  static Match EndsWith(std::string tail);
  // The nth call only or, `onward`, the nth and every later one (from 1).
  static Match Nth(int n, bool onward = false);

  FaultEnv() : EnvWrapper(platform::Env::Default()) {}

  // failOpenDirectory: the directory cannot be opened; failListing: its
  // listing fails after it was opened.
  Match failOpenRead, failOpenWrite, failWrite, failClose, failOpenDirectory, failListing,
      failRemoveFile, failCreateDir, failCopy;
  // Picks, at each open, the files whose reads fail once `readableBytes` of
  // them have been read.
  Match failRead;
  size_t readableBytes = 0;
  // Runs before each open for reading; may throw, or change the files.
  std::function<void(const std::string& path)> beforeOpenRead;
  bool reportMissing = false;       // Exists() says no
  uint32_t extraDirectoryBits = 0;  // added to every directory's attribute word

  std::vector<std::string> openedForWrite;
  std::atomic<int> openFiles{0};  // read and write files not yet destroyed
  std::atomic<int> writes{0};     // Write calls, failed ones included
  std::atomic<int> faults{0};     // faults injected

  // Whether `match` is set and picks `path`; counts the fault if it does.
  bool Fault(const Match& match, const std::string& path, int* error, int code) {
    if (!match || !match(path)) return false;
    ++faults;
    *error = code;
    return true;
  }

  std::unique_ptr<platform::SequentialFile> OpenForRead(const std::string& path,
                                                        int* error) override;
  std::unique_ptr<platform::WritableFile> OpenForWrite(const std::string& path, bool append,
                                                       int* error) override;
  std::unique_ptr<platform::DirectoryIterator> OpenDirectory(const std::string& path,
                                                             int* error) override;
  bool GetAttributes(const std::string& path, uint32_t* attributes, int* error) override {
    if (!target->GetAttributes(path, attributes, error)) return false;
    if (platform::IsDirectory(*attributes)) *attributes |= extraDirectoryBits;
    return true;
  }
  bool CreateDir(const std::string& path, int* error) override {
    return !Fault(failCreateDir, path, error, EIO) && target->CreateDir(path, error);
  }
  bool RemoveFile(const std::string& path, int* error) override {
    return !Fault(failRemoveFile, path, error, EIO) && target->RemoveFile(path, error);
  }
  bool CopyFileOver(const std::string& from, const std::string& to, int* error) override {
    return !Fault(failCopy, to, error, EIO) && target->CopyFileOver(from, to, error);
  }
  bool Exists(const std::string& path) override { return !reportMissing && target->Exists(path); }
  std::string ErrorText(int) override { return "injected"; }

 private:
  platform::ScopedEnvOverride use{this};
};

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_FAULT_ENV_H_
