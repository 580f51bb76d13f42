// Helpers shared by the fuzz targets: an in-memory file system to run the
// library's operations on (fast, and nothing a fuzzed path names can touch
// the real disk), a reader of the fuzzer's bytes, and a check that stops the
// run with a message when the library and the reference disagree.
#ifndef ULO_FUZZ_FUZZ_SUPPORT_H_
#define ULO_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "support/memory_file.h"

namespace ulo::fuzz {

// Aborts with `what` (and the two values, when given) unless `ok`, so that
// the fuzzer records the input as a crash.
void Check(bool ok, const char* what);
void CheckEqual(std::string_view actual, std::string_view expected, const char* what);

// Takes the fuzzer's bytes from the front: small settings first, the rest as
// data.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data(data), size(size) {}
  // The next byte, 0 once none is left.
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  std::string_view Rest() {
    std::string_view rest(reinterpret_cast<const char*>(data) + at, size - at);
    at = size;
    return rest;
  }

 private:
  const uint8_t* data;
  size_t size;
  size_t at = 0;
};

// Splits `text` at every occurrence of `separator`.
std::vector<std::string_view> Split(std::string_view text, std::string_view separator);

using testing::MemoryFile;

// A file system in memory. Paths are "/"-separated; "" is the root. A file
// opened for writing keeps writing into its own bytes after it has been
// removed, as on POSIX. Reads see the file as it was when it was opened.
class MemoryEnv : public platform::Env {
 public:
  MemoryEnv() = default;

  void AddDirectory(const std::string& path) { directories.insert(path); }
  void AddFile(const std::string& path, std::string_view bytes) {
    files[path] = std::make_shared<std::string>(bytes);
  }
  // The bytes of `path`; false when there is no such file.
  bool Contents(const std::string& path, std::string* bytes) const;
  std::vector<std::string> FilesUnder(const std::string& directory) const;
  bool IsDirectory(const std::string& path) const { return directories.count(path) != 0; }

  std::unique_ptr<platform::SequentialFile> OpenForRead(const std::string& path,
                                                        int* error) override;
  std::unique_ptr<platform::WritableFile> OpenForWrite(const std::string& path, bool append,
                                                       int* error) override;
  std::unique_ptr<platform::DirectoryIterator> OpenDirectory(const std::string& path,
                                                             int* error) override;
  bool GetAttributes(const std::string& path, uint32_t* attributes, int* error) override;
  bool CreateDir(const std::string& path, int* error) override;
  bool RemoveDir(const std::string& path, int* error) override;
  bool RemoveFile(const std::string& path, int* error) override;
  bool CopyFileOver(const std::string& from, const std::string& to, int* error) override;
  bool Exists(const std::string& path) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  std::string ErrorText(int code) override { return "error " + std::to_string(code); }
  platform::LocalTime Now() override { return platform::LocalTime{2026, 2, 1, 9, 5, 3}; }
  void SleepMilliseconds(int) override {}
  // One process, one thread: the work directory's lock is always free, and
  // it leaves no file that a listing would meet.
  std::unique_ptr<platform::FileLock> LockFile(const std::string&, bool, int*) override {
    return std::make_unique<platform::FileLock>();
  }

 private:
  static std::string ParentOf(const std::string& path);
  bool ParentExists(const std::string& path) const;

  std::map<std::string, std::shared_ptr<std::string>> files;
  std::set<std::string> directories;
};

}  // namespace ulo::fuzz

#endif  // ULO_FUZZ_FUZZ_SUPPORT_H_
