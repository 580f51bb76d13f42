// Fast reading of pair-count lines: the lines of a file, each cut into its
// fields (text/field_cut.h) as a line reader followed by a cut at the first
// two TABs would give them, but found by looking at 64 bytes at a time for the bytes that matter
// (TAB, LF, NUL) instead of line by line and field by field.
#ifndef ULO_ASSOC_PAIR_SCANNER_H_
#define ULO_ASSOC_PAIR_SCANNER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/env.h"
#include "text/field_cut.h"

// Forces a small function of the scan loop inline: the loop is only fast
// with its pieces in one place.
#if defined(__GNUC__)
#define ULO_SCAN_INLINE __attribute__((always_inline))
#else
#define ULO_SCAN_INLINE
#endif

namespace ulo::assoc {

class PairScanner {
 public:
  static constexpr size_t kDefaultBlockSize = size_t{1} << 20;

  PairScanner(std::unique_ptr<platform::SequentialFile> file, const text::FieldLimits& limits,
              size_t blockSize = kDefaultBlockSize);
  PairScanner(const PairScanner&) = delete;
  PairScanner& operator=(const PairScanner&) = delete;

  // Opens `path` through Env::Current(); null when it cannot be opened.
  static std::unique_ptr<PairScanner> Open(const char* path, const text::FieldLimits& limits,
                                           size_t blockSize = kDefaultBlockSize);

  // The next line that has two TABs and keeps within the limits, and its
  // fields; other lines are skipped. `*line` is the line as read: CR LF reads
  // as LF, the LF is included (the last line may lack it). The views last
  // until the next call. False at the end of the file or on a read error.
  bool Next(text::PairFields* fields, std::string_view* line) {
    return Scan([&](const text::PairFields& cut, std::string_view whole) {
      *fields = cut;
      *line = whole;
      return true;
    });
  }

  // Calls visit(fields, line) for each such line in turn, to the end.
  // The 64 bytes from the start of any field can be read, also those past
  // its end (whatever they hold): callers may copy or compare in wide steps.
  template <typename Visit>
  void ForEach(Visit&& visit) {
    Scan([&](const text::PairFields& cut, std::string_view whole) ULO_SCAN_INLINE {
      visit(cut, whole);
      return false;
    });
  }

  // Whether reading stopped on an error rather than at the end.
  bool readFailed() const { return failed; }

  // For callers with a faster way of their own through plain lines: the
  // bytes read but not yet handed out, from the start of the next line, and
  // whether they may hold a NUL. Bytes up to 64 past their end can be read.
  // Next() and ForEach() read further (and refill) when the caller has
  // taken what it could.
  std::string_view Buffered() const {
    if (discarding || scanned != lineStart || pending != 0) return std::string_view();
    return std::string_view(buffer.get() + lineStart, end - lineStart);
  }
  bool bufferedMayHoldNul() const { return mayHoldNul; }
  // Takes the first `bytes` of Buffered(), which end at a line's end, as
  // handled by the caller.
  void Consume(size_t bytes) {
    lineStart += bytes;
    scanned = lineStart;
  }

 private:
  static constexpr size_t kNone = SIZE_MAX;
  static constexpr size_t kPadding = 64;  // readable bytes behind the data

  // Bit i is set when byte i of the 64 at `p` is a TAB, an LF or a NUL.
  static uint64_t StructuralMask(const char* p);

  enum class Quick { kUnsure, kSkip, kCut };
  // Reads the line at lineStart in one step when it is short and plain (an
  // LF within kQuickBytes, no NUL, no CR before the LF), which most lines
  // are; kUnsure leaves it to the byte-by-byte path.
  Quick QuickLine(text::PairFields* fields, std::string_view* line);
  static constexpr size_t kQuickBytes = 32;

  // Hands each line that cuts to onLine(fields, line) until it returns true
  // (then true) or the file ends (then false).
  template <typename OnLine>
  bool Scan(OnLine&& onLine);

  // All buffered bytes are looked at and the line is not complete: reads
  // more, moving the line begun and its marks to the front. False at the end
  // of the file (the last line, if any, then still has to be finished) or on
  // an error.
  bool Refill(size_t* first, size_t* second, size_t* stop);

  // The line [lineStart, lineEnd) has ended (at its LF, or at the end of the
  // file), with its first two TABs and its first NUL (or kNone) as marked:
  // true when it cuts, with its fields.
  bool Finish(size_t lineEnd, bool hasLf, size_t first, size_t second, size_t stop,
              text::PairFields* fields, std::string_view* line);

  std::unique_ptr<platform::SequentialFile> file;
  text::FieldLimits limits;
  size_t capacity;
  std::unique_ptr<char[]> buffer;
  size_t end = 0;        // buffer[0, end) holds data
  size_t scanned = 0;    // bytes before this have been looked at
  uint64_t pending = 0;  // TAB, LF and NUL positions not yet handled ...
  size_t chunk = 0;      // ... as bits counted from here
  size_t lineStart = 0;  // the line being read begins here
  size_t tab1 = kNone;   // its first two TABs before any NUL, and its first NUL,
  size_t tab2 = kNone;   // between calls
  size_t nul = kNone;
  bool discarding = false;  // inside a line already known to be too long
  bool mayHoldNul = true;   // whether the buffered bytes may hold a NUL
  bool atEof = false;
  bool failed = false;
  bool finished = false;
};

inline uint64_t PairScanner::StructuralMask(const char* p) {
#if defined(__SSE2__)
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i zero = _mm_setzero_si128();
  uint64_t mask = 0;
  for (int k = 0; k < 4; ++k) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)),
                               _mm_cmpeq_epi8(v, zero));
    mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(hit))) << (16 * k);
  }
  return mask;
#else
  uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) {
    if (p[i] == '\t' || p[i] == '\n' || p[i] == '\0') mask |= uint64_t{1} << i;
  }
  return mask;
#endif
}

ULO_SCAN_INLINE inline bool PairScanner::Finish(size_t lineEnd, bool hasLf, size_t first,
                                                size_t second, size_t stop,
                                                text::PairFields* fields, std::string_view* line) {
  const size_t start = lineStart;
  lineStart = lineEnd;
  if (discarding) {
    discarding = false;
    return false;
  }
  char* bytes = buffer.get() + start;
  size_t length = lineEnd - start;
  if (hasLf && length >= 2 && bytes[length - 2] == '\r') {
    bytes[length - 2] = '\n';  // CR LF reads as LF
    --length;
  }
  if (length > limits.maxLine) return false;
  if (second == kNone) return false;  // fewer than two TABs before any NUL
  // A NUL ends the line as a C string; otherwise its LF ends the rest and is
  // dropped (the only LF a line holds).
  size_t restSize = (stop != kNone ? stop : start + length) - second - 1;
  if (first - start > limits.maxWord || second - first - 1 > limits.maxWord ||
      restSize > limits.maxRest) {
    return false;
  }
  if (stop == kNone && restSize > 0 && buffer[second + restSize] == '\n') --restSize;
  fields->word1 = std::string_view(bytes, first - start);
  fields->word2 = std::string_view(buffer.get() + first + 1, second - first - 1);
  fields->rest = std::string_view(buffer.get() + second + 1, restSize);
  *line = std::string_view(bytes, length);
  return true;
}

ULO_SCAN_INLINE inline PairScanner::Quick PairScanner::QuickLine(text::PairFields* fields,
                                                                 std::string_view* line) {
  const char* p = buffer.get() + lineStart;
#if defined(__SSE2__)
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  auto bitsOf = [&](char c) {
    const __m128i v = _mm_set1_epi8(c);
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, v))) |
           static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, v))) << 16;
  };
  const uint32_t lfs = bitsOf('\n');
  if (lfs == 0) return Quick::kUnsure;
  const uint32_t before = (lfs - 1) & ~lfs;  // the bytes before the first LF
  if (mayHoldNul && (bitsOf('\0') & before) != 0) return Quick::kUnsure;
  uint32_t tabs = bitsOf('\t') & before;
#else
  uint32_t lfs = 0, nuls = 0, tabs = 0;
  for (size_t i = 0; i < kQuickBytes; ++i) {
    lfs |= static_cast<uint32_t>(p[i] == '\n') << i;
    nuls |= static_cast<uint32_t>(p[i] == '\0') << i;
    tabs |= static_cast<uint32_t>(p[i] == '\t') << i;
  }
  if (lfs == 0) return Quick::kUnsure;
  const uint32_t before = (lfs - 1) & ~lfs;
  if ((nuls & before) != 0) return Quick::kUnsure;
  tabs &= before;
#endif
  const size_t lf = static_cast<size_t>(__builtin_ctz(lfs));
  if (lf > 0 && p[lf - 1] == '\r') return Quick::kUnsure;
  const size_t length = lf + 1;
  lineStart += length;
  if (length > limits.maxLine) return Quick::kSkip;
  if (tabs == 0) return Quick::kSkip;
  const size_t first = static_cast<size_t>(__builtin_ctz(tabs));
  tabs &= tabs - 1;
  if (tabs == 0) return Quick::kSkip;
  const size_t second = static_cast<size_t>(__builtin_ctz(tabs));
  const size_t restSize = lf - second;  // its LF included
  if (first > limits.maxWord || second - first - 1 > limits.maxWord || restSize > limits.maxRest) {
    return Quick::kSkip;
  }
  fields->word1 = std::string_view(p, first);
  fields->word2 = std::string_view(p + first + 1, second - first - 1);
  fields->rest = std::string_view(p + second + 1, restSize - 1);
  *line = std::string_view(p, length);
  return Quick::kCut;
}

template <typename OnLine>
bool PairScanner::Scan(OnLine&& onLine) {
  // The scan's state in locals, kept in registers (the buffer never moves);
  // the members hold it only between calls.
  const char* const bytes = buffer.get();
  uint64_t bits = pending;
  size_t base = chunk;
  size_t first = tab1;
  size_t second = tab2;
  size_t stop = nul;
  text::PairFields fields;
  std::string_view line;
  for (;;) {
    // At the start of a line with room to look ahead: the quick way.
    if (bits == 0 && scanned == lineStart && end - lineStart >= kQuickBytes && !discarding) {
      const Quick quick = QuickLine(&fields, &line);
      if (quick != Quick::kUnsure) {
        scanned = lineStart;
        if (quick == Quick::kCut && onLine(fields, line)) {
          pending = 0;
          return true;
        }
        continue;
      }
    }
    size_t lineEnd = kNone;
    bool hasLf = true;
    while (bits == 0) {
      if (scanned < end) {
        const size_t available = end - scanned;
        bits = StructuralMask(bytes + scanned);
        if (available < 64) bits &= (uint64_t{1} << available) - 1;
        base = scanned;
        scanned += available < 64 ? available : 64;
        continue;
      }
      pending = 0;
      if (finished) return false;
      if (!Refill(&first, &second, &stop)) {
        finished = true;
        if (failed || discarding || lineStart == end) return false;
        lineEnd = end;  // the last line, without LF
        hasLf = false;
        break;
      }
    }
    if (hasLf) {
      const size_t at = base + static_cast<size_t>(__builtin_ctzll(bits));
      bits &= bits - 1;
      const char c = bytes[at];
      if (c != '\n') {
        if (stop == kNone && !discarding) {
          if (c == '\0') {
            stop = at;
          } else if (first == kNone) {
            first = at;
          } else if (second == kNone) {
            second = at;
          }
        }
        continue;
      }
      lineEnd = at + 1;
    }
    // One place hands lines out, so that onLine is inlined here.
    const bool cut = Finish(lineEnd, hasLf, first, second, stop, &fields, &line);
    first = second = stop = kNone;
    // Back to the quick way from the next line on: what is left of this
    // chunk is looked at again from there.
    bits = 0;
    if (scanned > lineStart) scanned = lineStart;
    if (cut && onLine(fields, line)) {
      pending = 0;
      tab1 = tab2 = nul = kNone;
      return true;
    }
  }
}

}  // namespace ulo::assoc

#endif  // ULO_ASSOC_PAIR_SCANNER_H_
