// The line reader and the field cut against plain reference versions of
// both: every line, status and field must agree, whatever the bytes, the
// pieces the file arrives in and where a read error strikes.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "text/field_cut.h"
#include "text/line_reader.h"

namespace ulo::fuzz {
namespace {

using text::CutResult;
using text::FieldLimits;
using text::LineReader;

struct ReadLine {
  LineReader::Status status;
  std::string line;
  bool operator==(const ReadLine& other) const {
    return status == other.status && line == other.line;
  }
};

// Lines end after each LF; CR LF reads as LF; a line longer than
// `maxLength` (after that) is reported too long; the last line may lack its LF.
std::vector<ReadLine> ReferenceLines(std::string_view data, size_t maxLength) {
  std::vector<ReadLine> lines;
  size_t at = 0;
  while (at < data.size()) {
    size_t lf = data.find('\n', at);
    std::string line;
    if (lf == std::string_view::npos) {
      line.assign(data.substr(at));
      at = data.size();
    } else {
      line.assign(data.substr(at, lf + 1 - at));
      at = lf + 1;
      if (line.size() >= 2 && line[line.size() - 2] == '\r') line.erase(line.size() - 2, 1);
    }
    if (line.size() > maxLength) {
      lines.push_back({LineReader::Status::kTooLong, ""});
    } else {
      lines.push_back({LineReader::Status::kLine, std::move(line)});
    }
  }
  return lines;
}

// The field cut as a C program would make it: the line ends at a NUL; it
// must fit the line limit, hold two TABs, and its words and rest their
// limits; the rest loses its final LFs.
CutResult ReferenceCut(std::string_view line, const FieldLimits& limits, text::PairFields* fields) {
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

void CheckCut(std::string_view line, const FieldLimits& limits) {
  text::PairFields actual, expected;
  CutResult got = text::CutPairLine(line, limits, &actual);
  CutResult want = ReferenceCut(line, limits, &expected);
  Check(got == want, "CutPairLine result");
  if (got != CutResult::kCut) return;
  // The fields are views into the line itself.
  for (std::string_view field : {actual.word1, actual.word2, actual.rest}) {
    Check(field.data() >= line.data() && field.data() + field.size() <= line.data() + line.size(),
          "field outside the line");
  }
  CheckEqual(actual.word1, expected.word1, "word1");
  CheckEqual(actual.word2, expected.word2, "word2");
  CheckEqual(actual.rest, expected.rest, "rest");
}

}  // namespace
}  // namespace ulo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ulo::fuzz;
  Bytes bytes(data, size);
  const size_t chunk = 1 + bytes.Byte() % 97;
  const uint8_t mode = bytes.Byte();
  const size_t blockSize = 64 + bytes.Byte();
  const uint8_t small = bytes.Byte();
  const std::string_view text = bytes.Rest();

  // The reader's limit: none, a reader's own, or a small one.
  static const size_t kLimits[] = {LineReader::kUnlimited, 1021, 509, 0};
  size_t maxLength = kLimits[mode % 4];
  if (maxLength == 0) maxLength = small % 48;
  // From the second bit on, a read error strikes somewhere in the file.
  size_t failAt = SIZE_MAX;
  if (mode & 4) failAt = text.empty() ? 0 : small % (text.size() + 1);

  LineReader reader(std::make_unique<MemoryFile>(std::string(text), chunk, failAt), blockSize);
  std::vector<ReadLine> expected = ReferenceLines(text, maxLength);
  size_t index = 0;
  std::string_view line;
  for (;;) {
    LineReader::Status status = reader.Next(&line, maxLength);
    if (status == LineReader::Status::kEnd) {
      Check(failAt == SIZE_MAX && index == expected.size(), "end before the last line");
      Check(reader.Next(&line, maxLength) == LineReader::Status::kEnd, "end is not final");
      break;
    }
    if (status == LineReader::Status::kError) {
      Check(failAt != SIZE_MAX, "error without a failing read");
      Check(reader.Next(&line, maxLength) == LineReader::Status::kError, "error is not final");
      break;
    }
    Check(index < expected.size(), "more lines than the file holds");
    ReadLine got{status, status == LineReader::Status::kLine ? std::string(line) : ""};
    Check(got.status == expected[index].status, "line status");
    CheckEqual(got.line, expected[index].line, "line");
    ++index;
  }

  // Each line, and the whole text taken as one line, through every reader's
  // limits and some small ones.
  const FieldLimits limits[] = {ulo::text::kFilterLimits, ulo::text::kSupportLimits,
                                ulo::text::kTopNLimits,
                                FieldLimits{small % 40u, small % 7u, (small >> 3) % 9u}};
  for (const ReadLine& each : expected) {
    for (const FieldLimits& limit : limits)
      CheckCut(each.line, limit);
  }
  for (const FieldLimits& limit : limits)
    CheckCut(text, limit);
  return 0;
}
