#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ulo::fuzz {
namespace {

// The system's codes for the failures the memory file system reports.
constexpr int kNoEntry = 2;
constexpr int kExists = 17;
constexpr int kIsDirectory = 21;
constexpr int kNotEmpty = 39;

void PrintBytes(const char* label, std::string_view bytes) {
  std::fprintf(stderr, "%s (%zu bytes): \"", label, bytes.size());
  for (unsigned char c : bytes.substr(0, 400)) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      std::fputc(c, stderr);
    } else {
      std::fprintf(stderr, "\\x%02X", c);
    }
  }
  std::fprintf(stderr, "%s\"\n", bytes.size() > 400 ? "..." : "");
}

class MemoryWritableFile : public platform::WritableFile {
 public:
  explicit MemoryWritableFile(std::shared_ptr<std::string> bytes) : bytes(std::move(bytes)) {}
  bool Write(const char* data, size_t n, int*) override {
    bytes->append(data, n);
    return true;
  }
  bool Close(int*) override { return true; }

 private:
  std::shared_ptr<std::string> bytes;
};

class MemoryListing : public platform::DirectoryIterator {
 public:
  explicit MemoryListing(std::vector<platform::DirectoryEntry> entries)
      : entries(std::move(entries)) {}
  bool Next(platform::DirectoryEntry* entry) override {
    if (next == entries.size()) return false;
    *entry = entries[next++];
    return true;
  }
  int ErrorCode() const override { return 0; }

 private:
  std::vector<platform::DirectoryEntry> entries;
  size_t next = 0;
};

}  // namespace

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "check failed: %s\n", what);
  std::abort();
}

void CheckEqual(std::string_view actual, std::string_view expected, const char* what) {
  if (actual == expected) return;
  std::fprintf(stderr, "check failed: %s\n", what);
  PrintBytes("actual", actual);
  PrintBytes("expected", expected);
  std::abort();
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  for (;;) {
    size_t at = text.find(separator);
    if (at == std::string_view::npos) break;
    pieces.push_back(text.substr(0, at));
    text.remove_prefix(at + separator.size());
  }
  pieces.push_back(text);
  return pieces;
}

std::string MemoryEnv::ParentOf(const std::string& path) {
  size_t cut = path.rfind('/');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool MemoryEnv::ParentExists(const std::string& path) const {
  std::string parent = ParentOf(path);
  return parent.empty() || directories.count(parent) != 0;
}

bool MemoryEnv::Contents(const std::string& path, std::string* bytes) const {
  auto found = files.find(path);
  if (found == files.end()) return false;
  *bytes = *found->second;
  return true;
}

std::vector<std::string> MemoryEnv::FilesUnder(const std::string& directory) const {
  std::vector<std::string> found;
  for (const auto& file : files) {
    if (file.first.compare(0, directory.size() + 1, directory + "/") == 0) {
      found.push_back(file.first);
    }
  }
  return found;
}

std::unique_ptr<platform::SequentialFile> MemoryEnv::OpenForRead(const std::string& path,
                                                                 int* error) {
  auto found = files.find(path);
  if (found == files.end()) {
    *error = directories.count(path) ? kIsDirectory : kNoEntry;
    return nullptr;
  }
  return std::make_unique<MemoryFile>(*found->second, SIZE_MAX);
}

std::unique_ptr<platform::WritableFile> MemoryEnv::OpenForWrite(const std::string& path,
                                                                bool append, int* error) {
  if (directories.count(path) != 0) {
    *error = kIsDirectory;
    return nullptr;
  }
  if (path.empty() || !ParentExists(path)) {
    *error = kNoEntry;
    return nullptr;
  }
  auto& bytes = files[path];
  if (!bytes) bytes = std::make_shared<std::string>();
  if (!append) bytes->clear();
  return std::make_unique<MemoryWritableFile>(bytes);
}

std::unique_ptr<platform::DirectoryIterator> MemoryEnv::OpenDirectory(const std::string& path,
                                                                      int* error) {
  if (directories.count(path) == 0) {
    *error = kNoEntry;
    return nullptr;
  }
  std::vector<platform::DirectoryEntry> entries{{".", platform::kAttributeDirectory},
                                                {"..", platform::kAttributeDirectory}};
  for (const std::string& directory : directories) {
    if (ParentOf(directory) == path && directory != path) {
      entries.push_back({directory.substr(path.size() + 1), platform::kAttributeDirectory});
    }
  }
  for (const auto& file : files) {
    if (ParentOf(file.first) == path) {
      entries.push_back({file.first.substr(path.size() + 1), platform::kAttributeNormal});
    }
  }
  return std::make_unique<MemoryListing>(std::move(entries));
}

bool MemoryEnv::GetAttributes(const std::string& path, uint32_t* attributes, int* error) {
  if (directories.count(path) != 0) {
    *attributes = platform::kAttributeDirectory;
    return true;
  }
  if (files.count(path) != 0) {
    *attributes = platform::kAttributeNormal;
    return true;
  }
  *error = kNoEntry;
  return false;
}

bool MemoryEnv::CreateDir(const std::string& path, int* error) {
  if (Exists(path)) {
    *error = kExists;
    return false;
  }
  if (path.empty() || !ParentExists(path)) {
    *error = kNoEntry;
    return false;
  }
  directories.insert(path);
  return true;
}

bool MemoryEnv::RemoveDir(const std::string& path, int* error) {
  if (directories.count(path) == 0) {
    *error = kNoEntry;
    return false;
  }
  for (const std::string& directory : directories) {
    if (ParentOf(directory) == path && directory != path) {
      *error = kNotEmpty;
      return false;
    }
  }
  for (const auto& file : files) {
    if (ParentOf(file.first) == path) {
      *error = kNotEmpty;
      return false;
    }
  }
  directories.erase(path);
  return true;
}

bool MemoryEnv::RemoveFile(const std::string& path, int* error) {
  if (files.erase(path) == 0) {
    *error = kNoEntry;
    return false;
  }
  return true;
}

bool MemoryEnv::CopyFileOver(const std::string& from, const std::string& to, int* error) {
  std::string bytes;
  if (!Contents(from, &bytes)) {
    *error = kNoEntry;
    return false;
  }
  auto out = OpenForWrite(to, false, error);
  return out && out->Write(bytes.data(), bytes.size(), error) && out->Close(error);
}

bool MemoryEnv::Exists(const std::string& path) {
  return files.count(path) != 0 || directories.count(path) != 0;
}

bool MemoryEnv::SameFile(const std::string& a, const std::string& b) {
  return a == b && Exists(a);
}

}  // namespace ulo::fuzz
