// The real system with chosen operations made to fail, for the tests of
// what the library does when the system fails it.
#ifndef ULO_TESTS_SUPPORT_FAULT_ENV_H_
#define ULO_TESTS_SUPPORT_FAULT_ENV_H_

#include <atomic>
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
  static Match Always();
  static Match EndsWith(std::string tail);
  // The nth call only, or the nth and every later one (counted from 1).
  static Match Nth(int n);
  static Match FromNth(int n);

  FaultEnv();
  ~FaultEnv() override;

  Match failOpenRead, failOpenWrite, failWrite, failClose, failListing, failRemoveFile,
      failCreateDir, failCopy;
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

  std::unique_ptr<platform::SequentialFile> OpenForRead(const std::string& path,
                                                        int* error) override;
  std::unique_ptr<platform::WritableFile> OpenForWrite(const std::string& path, bool append,
                                                       int* error) override;
  std::unique_ptr<platform::DirectoryIterator> OpenDirectory(const std::string& path,
                                                             int* error) override;
  bool GetAttributes(const std::string& path, uint32_t* attributes, int* error) override;
  bool CreateDir(const std::string& path, int* error) override;
  bool RemoveFile(const std::string& path, int* error) override;
  bool CopyFileOver(const std::string& from, const std::string& to, int* error) override;
  bool Exists(const std::string& path) override;
  std::string ErrorText(int code) override;

  // Whether `match` is set and picks `path`; counts the fault if it does.
  bool Fault(const Match& match, const std::string& path, int* error, int code);

 private:
  platform::ScopedEnvOverride use{this};
};

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_FAULT_ENV_H_
