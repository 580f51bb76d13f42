// Reading a pair-count file as the statistics do: line by line through the
// field cut, within one reader's limits.
#ifndef ULO_ASSOC_PAIR_READER_H_
#define ULO_ASSOC_PAIR_READER_H_

#include <memory>
#include <string_view>

#include "assoc/word_frequency_table.h"
#include "text/field_cut.h"
#include "text/line_reader.h"

namespace ulo::assoc {

class PairReader {
 public:
  // Null when `path` cannot be opened.
  static std::unique_ptr<PairReader> Open(const char* path, const text::FieldLimits& limits);

  PairReader(std::unique_ptr<text::LineReader> lines, const text::FieldLimits& limits)
      : lines(std::move(lines)), limits(limits) {}

  // The next line that has two TABs and keeps within the limits, with its
  // fields; lines that do not are skipped. `*line` is the line as read, its
  // LF included. False at the end of the file or on a read error.
  bool Next(text::PairFields* fields, std::string_view* line) {
    for (;;) {
      auto status = lines->Next(line, limits.maxLine);
      if (status == text::LineReader::Status::kLine) {
        if (text::CutPairLine(*line, limits, fields) == text::CutResult::kCut) return true;
        continue;
      }
      if (status == text::LineReader::Status::kTooLong) continue;
      failed = status == text::LineReader::Status::kError;
      return false;
    }
  }

  // Whether reading stopped on an error rather than at the end.
  bool readFailed() const { return failed; }

 private:
  std::unique_ptr<text::LineReader> lines;
  text::FieldLimits limits;
  bool failed = false;
};

// Prints "wrong at " followed by the line as read (up to a NUL byte, its LF
// included, no line end added) on standard output: the word table refused a
// word of that line.
void ReportRefusedLine(std::string_view line);

// The first pass of the statistics: adds word1 and word2 of every line to
// `table` with the line's count (read as atoi reads it), reporting each word
// the table refuses with ReportRefusedLine. An input that cannot be opened
// adds nothing. False when the input could not be read to its end. Throws
// std::bad_alloc.
bool LoadWordFrequencies(const char* path, const text::FieldLimits& limits,
                         WordFrequencyTable& table);

}  // namespace ulo::assoc

#endif  // ULO_ASSOC_PAIR_READER_H_
