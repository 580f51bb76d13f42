// The line reader against a plain split of the same bytes: every line and
// status must agree, whatever the bytes, the pieces the file arrives in and
// where a read error strikes. (The field cut is the pair scanner's, fuzzed
// with it.)
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "support/cut_lines.h"
#include "text/line_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ulo::fuzz;
  using ulo::text::LineReader;
  namespace oracle = ulo::oracle;
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
  const std::vector<oracle::Line> expected = oracle::SplitLines(text, maxLength);
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
    Check((status == LineReader::Status::kTooLong) == expected[index].tooLong, "line status");
    if (status == LineReader::Status::kLine) CheckEqual(line, expected[index].text, "line");
    ++index;
  }
  return 0;
}
