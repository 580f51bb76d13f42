// Plain versions of how the merge takes its inputs: the records of a file as
// the line reader and the line parser hand them out, and the order of two
// records. The tests and fuzz targets hold the merge's fast paths to them.
#ifndef ULO_TESTS_SUPPORT_MERGE_ORACLE_H_
#define ULO_TESTS_SUPPORT_MERGE_ORACLE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "merge/merge_record.h"
#include "support/memory_file.h"
#include "text/line_reader.h"

namespace ulo::oracle {

struct MergeLine {
  std::string word1, word2;
  int64_t count;
};

// Lines without their line end; blank ones and those the parser refuses are
// skipped.
inline std::vector<MergeLine> MergeLines(const std::string& bytes) {
  text::LineReader reader(std::make_unique<testing::MemoryFile>(bytes, SIZE_MAX), 64);
  std::vector<MergeLine> lines;
  std::string_view line;
  while (reader.Next(&line) == text::LineReader::Status::kLine) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    merge::MergeRecord record;
    if (line.empty() || !merge::ParseMergeLine(line, &record)) continue;
    lines.push_back({std::string(record.Word1()), std::string(record.Word2()), record.count});
  }
  return lines;
}

// Word1, then word2, each compared as unsigned bytes (as memcmp compares
// them), a word before its own extensions: -1, 0 or 1.
inline int KeyOrder(std::string_view a1, std::string_view a2, std::string_view b1,
                    std::string_view b2) {
  int order = a1 != b1 ? a1.compare(b1) : a2.compare(b2);
  return (order > 0) - (order < 0);
}

}  // namespace ulo::oracle

#endif  // ULO_TESTS_SUPPORT_MERGE_ORACLE_H_
