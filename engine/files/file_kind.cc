#include "engine/files/file_kind.h"

#include <fstream>
#include <vector>

#include "engine/files/pair_parts.h"

namespace ulo::engine {
namespace {

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    size_t tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return fields;
    line.remove_prefix(tab + 1);
  }
}

bool Digits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The library's percentages: digits, a point, two digits.
bool Percentage(std::string_view text) {
  size_t point = text.find('.');
  return point != std::string_view::npos && Digits(text.substr(0, point)) &&
         text.size() - point == 3 && Digits(text.substr(point + 1));
}

}  // namespace

FileKind KindOfLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.rfind("<rec>", 0) == 0) return FileKind::kSupport;
  std::vector<std::string_view> fields = Fields(line);
  if (fields.size() == 3 && Digits(fields[2])) return FileKind::kPairs;
  if (fields.size() == 4 && Percentage(fields[2]) && Percentage(fields[3])) return FileKind::kTopN;
  if (fields.size() == 5 && (fields[4] == "after" || fields[4] == "before"))
    return FileKind::kRanked;
  return FileKind::kUnknown;
}

FileKind KindOfFile(const std::string& path) {
  if (IsPartsDirectory(path)) return FileKind::kPairs;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!in) return FileKind::kUnknown;
  if (!std::getline(in, line)) return FileKind::kEmpty;
  return KindOfLine(line);
}

std::string KindName(FileKind kind) {
  switch (kind) {
    case FileKind::kEmpty:
      return "an empty file";
    case FileKind::kPairs:
      return "a pair-count file";
    case FileKind::kSupport:
      return "a support-record file (ulo support)";
    case FileKind::kTopN:
      return "a top-N file (ulo topn)";
    case FileKind::kRanked:
      return "a ranked file (ulo rank)";
    case FileKind::kUnknown:
      break;
  }
  return "a file of no kind ulo writes";
}

std::string WrongKindProblem(const std::string& path, FileKind wanted) {
  FileKind kind = KindOfFile(path);
  if (kind == wanted || kind == FileKind::kEmpty || kind == FileKind::kUnknown) return {};
  return path + " is " + KindName(kind) + ", not " + KindName(wanted);
}

}  // namespace ulo::engine
