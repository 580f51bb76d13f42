#include "engine/files/seal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "engine/files/staging.h"

namespace ulo::engine {
namespace {

constexpr char kAttribute[] = "user.ulo.seal";

// "ulo-seal 1 SIZE HASH" for the file's bytes, or nothing when it cannot be
// read to its end.
std::optional<std::string> Fingerprint(const std::string& path) {
  Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat status;
  if (!file || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  XXH3_state_t* state = XXH3_createState();
  if (state == nullptr) return std::nullopt;
  XXH3_64bits_reset(state);
  std::vector<char> buffer(size_t{1} << 20);
  uint64_t size = 0;
  bool read = true;
  for (;;) {
    ssize_t got = ::read(file.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) read = false;
    if (got <= 0) break;
    XXH3_64bits_update(state, buffer.data(), static_cast<size_t>(got));
    size += static_cast<uint64_t>(got);
  }
  unsigned long long hash = XXH3_64bits_digest(state);
  XXH3_freeState(state);
  if (!read) return std::nullopt;
  char text[64];
  std::snprintf(text, sizeof text, "ulo-seal 1 %llu %016llx",
                static_cast<unsigned long long>(size), hash);
  return std::string(text);
}

}  // namespace

bool Seal(const std::string& path) {
  std::optional<std::string> print = Fingerprint(path);
  return print && setxattr(path.c_str(), kAttribute, print->data(), print->size(), 0) == 0;
}

bool Sealed(const std::string& path) {
  char held[64];
  ssize_t length = getxattr(path.c_str(), kAttribute, held, sizeof held);
  if (length <= 0) return false;
  // The size first: a file of another length needs no hashing to tell.
  struct stat status;
  std::string seal(held, static_cast<size_t>(length));
  if (stat(path.c_str(), &status) != 0 ||
      seal.rfind("ulo-seal 1 " + std::to_string(status.st_size) + " ", 0) != 0) {
    return false;
  }
  std::optional<std::string> print = Fingerprint(path);
  return print && *print == seal;
}

std::vector<std::string> FileNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code code;
  for (const auto& entry : std::filesystem::directory_iterator(dir, code)) {
    std::error_code kind;
    if (entry.is_regular_file(kind)) names.push_back(entry.path().filename().string());
  }
  return names;
}

}  // namespace ulo::engine
