// The statistics' fast line scanner against a plain line split and field
// cut: the same lines with the same fields, through both of its ways of
// handing lines out, whatever the bytes, limits, block size and read pieces.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "assoc/pair_scanner.h"
#include "fuzz_support.h"
#include "support/cut_lines.h"

namespace ulo::fuzz {
namespace {

using oracle::CutLine;

void CheckLine(const std::vector<CutLine>& expected, size_t index, const text::PairFields& fields,
               std::string_view line) {
  Check(index < expected.size(), "more lines than the reference");
  const CutLine& want = expected[index];
  CheckEqual(line, want.line, "line");
  CheckEqual(fields.word1, want.word1, "word1");
  CheckEqual(fields.word2, want.word2, "word2");
  CheckEqual(fields.rest, want.rest, "rest");
}

}  // namespace
}  // namespace ulo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ulo::fuzz;
  using ulo::assoc::PairScanner;
  Bytes bytes(data, size);
  const uint8_t which = bytes.Byte();
  const size_t blockSize = 1 + bytes.Byte() * 4u;
  const size_t chunk = 1 + bytes.Byte();
  const uint8_t a = bytes.Byte(), b = bytes.Byte(), c = bytes.Byte();
  const std::string text(bytes.Rest());

  const ulo::text::FieldLimits kReaders[] = {ulo::text::kFilterLimits, ulo::text::kSupportLimits,
                                             ulo::text::kTopNLimits};
  ulo::text::FieldLimits limits =
      which % 4 < 3 ? kReaders[which % 4] : ulo::text::FieldLimits{a % 80u, b % 24u, c % 24u};
  // From the third bit on, a read error strikes somewhere in the file.
  const bool failing = (which & 4) != 0;
  const size_t failAt =
      failing ? (text.empty() ? 0 : (size_t{a} << 8 | b) % (text.size() + 1)) : SIZE_MAX;

  const std::vector<CutLine> expected = ulo::oracle::CutLines(text, limits);

  // One line at a time.
  {
    PairScanner scanner(std::make_unique<MemoryFile>(text, chunk, failAt), limits, blockSize);
    ulo::text::PairFields fields;
    std::string_view line;
    size_t index = 0;
    while (scanner.Next(&fields, &line))
      CheckLine(expected, index++, fields, line);
    Check(scanner.readFailed() == failing, "read failure reported");
    Check(failing || index == expected.size(), "fewer lines than the reference");
    Check(!scanner.Next(&fields, &line), "a line after the end");
  }
  // All at once; each field's first 64 bytes may be read, as the filter does.
  {
    PairScanner scanner(std::make_unique<MemoryFile>(text, chunk, failAt), limits, blockSize);
    size_t index = 0;
    unsigned sum = 0;
    scanner.ForEach([&](const ulo::text::PairFields& fields, std::string_view line) {
      CheckLine(expected, index++, fields, line);
      for (std::string_view field : {fields.word1, fields.word2, fields.rest}) {
        for (int i = 0; i < 64; ++i)
          sum += static_cast<unsigned char>(field.data()[i]);
      }
    });
    Check(scanner.readFailed() == failing, "read failure reported (ForEach)");
    Check(failing || index == expected.size(), "fewer lines than the reference (ForEach)");
    volatile unsigned keep = sum;
    (void)keep;
  }
  return 0;
}
