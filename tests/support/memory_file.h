// A file read from memory, for the readers' tests and fuzz targets.
#ifndef ULO_TESTS_SUPPORT_MEMORY_FILE_H_
#define ULO_TESTS_SUPPORT_MEMORY_FILE_H_

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/env.h"

namespace ulo::testing {

// Hands out `bytes` at most `chunk` (at least 1) at a time; every read fails
// with EIO once `failAt` bytes are read.
class MemoryFile : public platform::SequentialFile {
 public:
  MemoryFile(std::string bytes, size_t chunk, size_t failAt = SIZE_MAX)
      : bytes(std::move(bytes)), chunk(std::max<size_t>(chunk, 1)), failAt(failAt) {}
  int64_t Read(char* buffer, size_t n, int* error) override {
    if (at >= failAt) {
      *error = EIO;
      return -1;
    }
    size_t take = std::min({n, chunk, bytes.size() - at, failAt - at});
    std::memcpy(buffer, bytes.data() + at, take);
    at += take;
    return static_cast<int64_t>(take);
  }

 private:
  std::string bytes;
  size_t chunk;
  size_t failAt;
  size_t at = 0;
};

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_MEMORY_FILE_H_
