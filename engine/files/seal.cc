#include "engine/files/seal.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "engine/files/mapped_file.h"
#include "engine/text/hash.h"

namespace ulo::engine {
namespace {

constexpr char kAttribute[] = "user.ulo.seal";

// "ulo-seal 1 SIZE HASH" for the file's bytes, or nothing when it cannot be
// read.
std::optional<std::string> Fingerprint(const std::string& path, uint64_t* lines = nullptr) {
  HashStream hash;
  uint64_t size = 0, counted = 0;
  std::string error;
  bool read = ForEachBlock(
      path,
      [&](std::string_view bytes) {
        hash.Add(bytes);
        size += bytes.size();
        if (lines != nullptr) counted += CountLines(bytes);
        return true;
      },
      &error);
  if (!read) return std::nullopt;
  if (lines != nullptr) *lines += counted;
  char text[64];
  std::snprintf(text, sizeof text, "ulo-seal 1 %llu %016llx", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(hash.Value()));
  return std::string(text);
}

}  // namespace

bool Seal(const std::string& path, uint64_t* lines) {
  std::optional<std::string> print = Fingerprint(path, lines);
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
