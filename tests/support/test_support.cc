#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#define ULO_GETPID _getpid
#else
#include <unistd.h>
#define ULO_GETPID getpid
#endif

namespace ulo::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> serial{0};
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate =
        base / ("ulo_test_" + std::to_string(ULO_GETPID()) + "_" + std::to_string(serial++));
    std::error_code ignored;
    if (fs::create_directory(candidate, ignored)) {
      root = candidate.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  RemoveAll(root);
}

std::string TempDir::Path(const std::string& name) const {
  return (fs::path(root) / name).string();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out) << "cannot create " << path;
  out << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string ReadTextFile(const std::string& path) {
#if defined(_WIN32)
  return ReadAsLf(path);
#else
  return ReadFile(path);
#endif
}

std::string CrLfAsLf(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text.push_back(bytes[i]);
  }
  return text;
}

std::string ReadAsLf(const std::string& path) {
  return CrLfAsLf(ReadFile(path));
}

::testing::AssertionResult SameText(std::string_view actual, std::string_view expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
    ++at;
  return ::testing::AssertionFailure()
         << "sizes " << actual.size() << " and " << expected.size() << ", first difference at "
         << at << ": " << ::testing::PrintToString(std::string(actual.substr(at, 40))) << " vs "
         << ::testing::PrintToString(std::string(expected.substr(at, 40)));
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

void MakeDirectory(const std::string& path) {
  std::error_code ignored;
  fs::create_directories(path, ignored);
}

void RemoveAll(const std::string& path) {
  std::error_code ignored;
  // Make read-only directories writable again so that their files can go.
  if (fs::is_directory(path, ignored)) {
    for (auto it = fs::recursive_directory_iterator(path, ignored);
         !ignored && it != fs::recursive_directory_iterator(); it.increment(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path, ignored);
}

bool RunningAsRoot() {
#if defined(_WIN32)
  return false;
#else
  return geteuid() == 0;
#endif
}

}  // namespace ulo::testing
