// Reading text files line by line, and pair-count files (a file, or a
// directory of parts in key order) as one run of lines.
#ifndef ULO_ENGINE_FILES_LINE_READING_H_
#define ULO_ENGINE_FILES_LINE_READING_H_

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/files/pair_parts.h"

namespace ulo::engine {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Calls take(line) for each line of the file `path`, its LF or CR LF removed.
template <typename Take>
bool ForEachFileLine(const std::string& path, std::string* error, Take& take) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  char* line = nullptr;
  size_t capacity = 0;
  ssize_t length;
  while ((length = getline(&line, &capacity, file.get())) >= 0) {
    std::string_view text(line, static_cast<size_t>(length));
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    take(text);
  }
  std::free(line);
  if (std::ferror(file.get())) {
    *error = "cannot read " + path + " to its end: " + std::strerror(errno);
    return false;
  }
  return true;
}

// Calls take(line) for each line of `path` (a pair-count file or its parts
// in order), its LF or CR LF removed.
template <typename Take>
bool ForEachLine(const std::string& source, std::string* error, Take take) {
  std::vector<std::string> files;
  if (!PairFileParts(source, &files, error)) return false;
  for (const std::string& path : files) {
    if (!ForEachFileLine(path, error, take)) return false;
  }
  return true;
}

}  // namespace ulo::engine

#endif  // ULO_ENGINE_FILES_LINE_READING_H_
