// Plain versions of how the statistics readers take a pair-count file: its
// lines split after each LF (CR LF read as LF), each cut at its first two
// TABs within a reader's limits. Written to be obviously right, not fast:
// the tests and fuzz targets hold the library's readers to them.
#ifndef ULO_TESTS_SUPPORT_CUT_LINES_H_
#define ULO_TESTS_SUPPORT_CUT_LINES_H_

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "text/field_cut.h"
#include "text/pair_line.h"

namespace ulo::oracle {

enum class CutResult {
  kCut,      // the three fields were found
  kNoTabs,   // the line lacks its first or second TAB
  kTooLong,  // the line or a field exceeds the reader's limits
};

// Cuts one line as read (its LF included). A NUL ends the line, as it ends a
// C string; the rest loses the LFs that end it.
inline CutResult CutPairLine(std::string_view line, const text::FieldLimits& limits,
                             text::PairFields* fields) {
  line = line.substr(0, line.find('\0'));
  if (line.size() > limits.maxLine) return CutResult::kTooLong;
  size_t first = line.find('\t');
  if (first == std::string_view::npos) return CutResult::kNoTabs;
  size_t second = line.find('\t', first + 1);
  if (second == std::string_view::npos) return CutResult::kNoTabs;
  std::string_view word1 = line.substr(0, first);
  std::string_view word2 = line.substr(first + 1, second - first - 1);
  std::string_view rest = line.substr(second + 1);
  if (word1.size() > limits.maxWord || word2.size() > limits.maxWord ||
      rest.size() > limits.maxRest) {
    return CutResult::kTooLong;
  }
  while (!rest.empty() && rest.back() == '\n')
    rest.remove_suffix(1);
  *fields = text::PairFields{word1, word2, rest};
  return CutResult::kCut;
}

struct Line {
  bool tooLong;      // longer than the reader takes (its text is then empty)
  std::string text;  // with its LF, which the last line may lack
};

// The lines of `data` as a line reader with this limit hands them out.
inline std::vector<Line> SplitLines(std::string_view data, size_t maxLength) {
  std::vector<Line> lines;
  size_t at = 0;
  while (at < data.size()) {
    size_t lf = data.find('\n', at);
    size_t end = lf == std::string_view::npos ? data.size() : lf + 1;
    std::string line(data.substr(at, end - at));
    at = end;
    if (lf != std::string_view::npos && line.size() >= 2 && line[line.size() - 2] == '\r') {
      line.erase(line.size() - 2, 1);
    }
    if (line.size() > maxLength) {
      lines.push_back({true, ""});
    } else {
      lines.push_back({false, std::move(line)});
    }
  }
  return lines;
}

struct CutLine {
  std::string line, word1, word2, rest;
  bool operator==(const CutLine& other) const {
    return line == other.line && word1 == other.word1 && word2 == other.word2 && rest == other.rest;
  }
  friend std::ostream& operator<<(std::ostream& out, const CutLine& cut) { return out << cut.line; }
};

// The lines of `data` that a reader with these limits takes, with their fields.
inline std::vector<CutLine> CutLines(std::string_view data, const text::FieldLimits& limits) {
  std::vector<CutLine> cuts;
  for (const Line& line : SplitLines(data, limits.maxLine)) {
    text::PairFields fields;
    if (line.tooLong || CutPairLine(line.text, limits, &fields) != CutResult::kCut) continue;
    cuts.push_back({line.text, std::string(fields.word1), std::string(fields.word2),
                    std::string(fields.rest)});
  }
  return cuts;
}

// What the filter writes for `data`: the lines it takes whose count, read as
// atoi reads it, reaches the threshold, count first.
inline std::string FilteredLines(std::string_view data, int32_t threshold) {
  std::string out;
  for (const CutLine& cut : CutLines(data, text::kFilterLimits)) {
    if (text::ParseCountInteger(cut.rest) < threshold) continue;
    out += cut.rest + "\t" + cut.word1 + "\t" + cut.word2 + "\n";
  }
  return out;
}

}  // namespace ulo::oracle

#endif  // ULO_TESTS_SUPPORT_CUT_LINES_H_
