#include "assoc/pair_filter.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "assoc/chunk_masks.h"
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

// Whether a count reaches the threshold, mostly decided on the count's text:
// plain digits without a leading zero, at most 8 of them, compare as a
// number whose bytes are the digits, right-aligned (a longer text has a
// non-zero byte where a shorter one has none), with the threshold's digits
// made the same way. Anything else is read as atoi reads it.
class ThresholdTest {
 public:
  explicit ThresholdTest(int32_t threshold) : threshold(threshold) {
    if (threshold < 100000000) {
      onText = true;
      if (threshold > 0) {
        char digits[9];
        const int size = std::snprintf(digits, sizeof digits, "%d", threshold);
        for (int i = 0; i < size; ++i)
          thresholdText = thresholdText << 8 | static_cast<unsigned char>(digits[i]);
      }
    }
  }

  // The count text may be read 8 bytes from its start (the scanner lets a
  // field's first 64 bytes be read).
  bool Reaches(std::string_view text) const {
    // Bitwise rather than short-circuit tests: counts of one digit and of
    // more come mixed, and a branch on that would be guessed wrong often.
    const size_t size = text.size();
    if (__builtin_expect(onText & (size - 1 < 8), 1)) {
      uint64_t chars;
      std::memcpy(&chars, text.data(), sizeof chars);
      const bool leadingZero = ((chars & 0xFF) == '0') & (size > 1);
      chars <<= 8 * (8 - size);  // little-endian: the text's bytes to the top
      const uint64_t padded = chars | kZeroDigits[size];
      const bool digits = (((padded + 0x4646464646464646u) | (padded - 0x3030303030303030u)) &
                           0x8080808080808080u) == 0;
      if (__builtin_expect(digits & !leadingZero, 1)) {
        return __builtin_bswap64(chars) >= thresholdText;
      }
    }
    return Count(text) >= threshold;
  }

 private:
  // '0' in the low 8 - n bytes: the room below a text of n bytes.
  static constexpr uint64_t kZeroDigits[9] = {0x3030303030303030u,
                                              0x30303030303030u,
                                              0x303030303030u,
                                              0x3030303030u,
                                              0x30303030u,
                                              0x303030u,
                                              0x3030u,
                                              0x30u,
                                              0};

  int32_t threshold;
  bool onText = false;         // whether plain counts are decided on their text
  uint64_t thresholdText = 0;  // the threshold's digits, right-aligned; 0 if not above 0
};

// Copies `size` bytes of a line to `out` in fixed moves of 16 or 32 bytes:
// up to 31 bytes past the end are read, which the scanner's buffer holds
// (the line, or its padding), and written, into room reserved for the line.
inline void Put(char* out, const char* bytes, size_t size) {
  if (__builtin_expect(size <= 16, 1)) {
    std::memcpy(out, bytes, 16);
    return;
  }
  for (size_t done = 0; done < size; done += 32)
    std::memcpy(out + done, bytes + done, 32);
}

// The fast way below takes lines of up to 64 bytes, which these limits
// never refuse.
static_assert(text::kFilterLimits.maxLine >= 64 && text::kFilterLimits.maxWord >= 64 &&
                  text::kFilterLimits.maxRest >= 64,
              "FilterPlainLines does not check the limits");

// Filters the lines at the start of bytes[0, size), which holds no NUL,
// writing at *out "count TAB word1 TAB word2 LF" for those whose count
// reaches the threshold, cut as the scanner cuts them: at the line's first
// two TABs, lines with fewer skipped. Stops before the first line that is
// not whole in the bytes, is longer than 64 bytes or ends in CR LF, and
// returns the bytes of the lines taken. The lines are found with masks of
// the TABs and LFs of 64 bytes at a time, each serving all the lines in
// them. Reads up to 64 bytes past `size`; writes at most the bytes taken
// plus 32 (an output line is as long as its input line).
template <typename Masks>
ULO_SCAN_INLINE inline size_t FilterPlainLinesWith(const char* bytes, size_t size,
                                                   const ThresholdTest reaches, char** out) {
  char* cursor = *out;
  size_t at = 0;  // a line's start, where the chunk begins
  while (at < size) {
    const char* const chunk = bytes + at;
    ChunkMasks masks = Masks::At(chunk);
    if (size - at < 64) {
      const uint64_t valid = (uint64_t{1} << (size - at)) - 1;
      masks.tabs &= valid;
      masks.lfs &= valid;
    }
    uint64_t lfs = masks.lfs;
    uint64_t tabs = masks.tabs;
    size_t start = 0;  // the next line's start, from `chunk`
    // Takes the line that ends at the lowest LF left.
    auto line = [&]() ULO_SCAN_INLINE {
      const uint64_t upTo = lfs ^ (lfs - 1);  // the bits up to the line's LF
      const size_t end = static_cast<unsigned>(__builtin_ctzll(lfs));  // its LF
      lfs &= lfs - 1;
      uint64_t lineTabs = tabs & upTo;  // those of earlier lines are gone
      tabs &= ~upTo;
      const char* const text = chunk + start;
      const size_t length = end - start + 1;
      start = end + 1;
      if (lineTabs == 0) return;
      lineTabs &= lineTabs - 1;
      if (lineTabs == 0) return;
      const size_t second = static_cast<unsigned>(__builtin_ctzll(lineTabs));
      const char* const rest = chunk + second + 1;
      const size_t restSize = end - second - 1;
      const size_t keySize = length - restSize - 2;  // word1 TAB word2
      // Written whatever the count, then kept or not: no guess to miss.
      Put(cursor, rest, restSize);
      cursor[restSize] = '\t';
      Put(cursor + restSize + 1, text, keySize);
      cursor[length - 1] = '\n';
      // A mask, not a choice, for which compilers may branch after all.
      const size_t kept = static_cast<size_t>(reaches.Reaches(std::string_view(rest, restSize)));
      cursor += length & (0 - kept);
    };
    // A CR right before an LF: that line, and what follows it, is left to
    // the scanner.
    const uint64_t crLfs = masks.crs & (lfs >> 1);
    const uint64_t afterFirst = lfs & (lfs - 1);
    const uint64_t third = afterFirst & (afterFirst - 1);
    if (__builtin_expect(third != 0 && crLfs == 0, 1)) {
      // Three lines a chunk, always: a loop over however many lines the
      // chunk holds would end at a place the processor cannot foresee.
      line();
      line();
      line();
      at += start;
      continue;
    }
    if (lfs == 0) break;                                      // longer than 64 bytes, or not whole
    if (crLfs != 0) lfs &= ((crLfs & (0 - crLfs)) << 1) - 1;  // only the LFs before it
    while (lfs != 0)
      line();
    at += start;
    if (crLfs != 0) break;
  }
  *out = cursor;
  return at;
}

// Kept out of line, with the threshold test copied in: registers of its
// own, and nothing that the bytes it writes could be taken to change.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
size_t
FilterPlainLines(const char* bytes, size_t size, const ThresholdTest reaches, char** out) {
  return FilterPlainLinesWith<BaselineMasks>(bytes, size, reaches, out);
}

#if ULO_CHUNK_MASKS_AVX2
__attribute__((noinline, target("avx2"))) size_t FilterPlainLinesAvx2(const char* bytes,
                                                                      size_t size,
                                                                      const ThresholdTest reaches,
                                                                      char** out) {
  return FilterPlainLinesWith<Avx2Masks>(bytes, size, reaches, out);
}
#endif

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
  const ThresholdTest reaches(threshold);
  // Pieces of the buffered lines go the fast way, straight into the
  // writer's buffer; a line it does not take, the scanner's way.
  constexpr size_t kPiece = size_t{32} << 10;
#if ULO_CHUNK_MASKS_AVX2
  const bool avx2 = HasAvx2();
#endif
  for (;;) {
    const std::string_view buffered = input->Buffered();
    if (!buffered.empty() && !input->bufferedMayHoldNul()) {
      const size_t piece = buffered.size() < kPiece ? buffered.size() : kPiece;
      if (char* room = out.Reserve(piece + 64)) {
        char* cursor = room;
#if ULO_CHUNK_MASKS_AVX2
        const size_t taken = avx2 ? FilterPlainLinesAvx2(buffered.data(), piece, reaches, &cursor)
                                  : FilterPlainLines(buffered.data(), piece, reaches, &cursor);
#else
        const size_t taken = FilterPlainLines(buffered.data(), piece, reaches, &cursor);
#endif
        out.Commit(static_cast<size_t>(cursor - room));
        input->Consume(taken);
        if (taken > 0) continue;
      }
    }
    text::PairFields fields;
    std::string_view line;
    if (!input->Next(&fields, &line)) break;
    if (!reaches.Reaches(fields.rest)) continue;
    out.Append(fields.rest);
    out.Append('\t');
    out.Append(fields.word1);
    out.Append('\t');
    out.Append(fields.word2);
    out.Append('\n');
  }
  const bool readFailed = input->readFailed();
  input.reset();
  bool written = output->Close();
  return written && !readFailed;
}

}  // namespace ulo::assoc
