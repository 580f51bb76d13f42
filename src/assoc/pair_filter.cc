#include "assoc/pair_filter.h"

#include <cstring>
#include <string>

#include "assoc/pair_scanner.h"
#include "platform/env.h"
#include "text/field_cut.h"
#include "text/pair_line.h"
#include "text/text_writer.h"

namespace ulo::assoc {
namespace {

// The count as atoi reads it. Counts of up to 8 plain digits, as the writers
// make them, are read 8 bytes at once (the scanner lets a field's first 64
// bytes be read).
inline int64_t Count(std::string_view text) {
  const size_t size = text.size();
  if (size == 0 || size > 8) return text::ParseCountInteger(text);
  uint64_t chars;
  std::memcpy(&chars, text.data(), sizeof chars);
  // Little-endian: the text's bytes to the top, '0's in front of them.
  if (size < 8) chars = (chars << (8 * (8 - size))) | (0x3030303030303030u >> (8 * size));
  const uint64_t digits = chars - 0x3030303030303030u;
  if (((chars + 0x4646464646464646u) | digits) & 0x8080808080808080u) {
    return text::ParseCountInteger(text);  // not all digits
  }
  uint64_t value = (digits * 10 + (digits >> 8)) & 0x00FF00FF00FF00FFu;
  value = (value * 100 + (value >> 16)) & 0x0000FFFF0000FFFFu;
  value = (value * 10000 + (value >> 32)) & 0xFFFFFFFFu;
  return static_cast<int64_t>(value);
}

// Copies a field to `out` and returns its end. A short field goes in one
// 16-byte move: the bytes read past its end come from the scanner's buffer,
// and those written past it lie in room reserved for the line.
inline char* Put(char* out, std::string_view field) {
  if (field.size() <= 16) {
    std::memcpy(out, field.data(), 16);
  } else {
    std::memcpy(out, field.data(), field.size());
  }
  return out + field.size();
}

}  // namespace

bool FilterPairs(const char* inputPath, const char* outputPath, int32_t threshold) {
  if (inputPath == nullptr || outputPath == nullptr) return false;
  // Opening the output empties it: never when it is the input itself.
  if (platform::Env::Current()->SameFile(inputPath, outputPath)) return false;

  // Both files are opened before either is tested, so a missing input still
  // leaves an empty output behind.
  // Blocks of 128 KiB stay in the cache between being read and looked at.
  constexpr size_t kBlockSize = size_t{128} << 10;
  int error = 0;
  auto input = PairScanner::Open(inputPath, text::kFilterLimits, kBlockSize);
  auto output = text::TextWriter::Open(outputPath, false, &error, kBlockSize);
  if (!input || !output) return false;

  text::TextWriter& out = *output;
  input->ForEach([&](const text::PairFields& fields, std::string_view) ULO_SCAN_INLINE {
    if (Count(fields.rest) < threshold) return;
    const size_t size = fields.rest.size() + fields.word1.size() + fields.word2.size() + 3;
    if (char* start = out.Reserve(size + 16)) {
      char* next = Put(start, fields.rest);
      *next++ = '\t';
      next = Put(next, fields.word1);
      *next++ = '\t';
      next = Put(next, fields.word2);
      *next = '\n';
      out.Commit(size);
      return;
    }
    out.Append(fields.rest);
    out.Append('\t');
    out.Append(fields.word1);
    out.Append('\t');
    out.Append(fields.word2);
    out.Append('\n');
  });
  const bool readFailed = input->readFailed();
  input.reset();
  bool written = output->Close();
  return written && !readFailed;
}

}  // namespace ulo::assoc
