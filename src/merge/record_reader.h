// Reading a pair-count file record by record for the merge.
//
// The records are those LineReader and ParseMergeLine give: lines without
// their line end (CR LF read as LF), blank lines and lines of fewer than three
// fields skipped. The usual line, "word1 TAB word2 TAB digits LF", is found
// in one scan for its three dividers and parsed where it lies; every other
// line takes the general way. A usual line whose count is written as it would
// be written again is marked verbatim, so that the merge can copy it to its
// output instead of formatting it.
#ifndef ULO_MERGE_RECORD_READER_H_
#define ULO_MERGE_RECORD_READER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "merge/merge_record.h"
#include "platform/env.h"
#include "text/block_buffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ulo::merge {

class RecordReader : private text::BlockBuffer {
 public:
  enum class Status {
    kRecord,  // the record holds the next line
    kEnd,     // no further line
    kError,   // the file could not be read; errorCode() tells why
  };

  // Bytes readable behind the buffered ones: the scan loads 16 bytes at a
  // time, and a verbatim line may be copied in fixed moves of 32.
  static constexpr size_t kPadding = 64;

  RecordReader(std::unique_ptr<platform::SequentialFile> file, size_t blockSize);

  // Opens `path` through Env::Current(); null with the system's code in
  // `*error` when it cannot be opened.
  static std::unique_ptr<RecordReader> Open(const std::string& path, int* error, size_t blockSize);

  // Fills `record` with the next line. Its key (and its line, when verbatim)
  // stays valid until the next call. A read error ends the records: lines
  // read before it are all handed out, the rest is lost.
  Status Next(MergeRecord* record) {
    if (TryUsualLine(record)) return Status::kRecord;
    return NextSlow(record);
  }

  int errorCode() const { return error; }

 private:
  // The first TAB, LF, CR or NUL at or after `p`; the zeros behind the
  // buffered bytes stop the scan.
  static const char* FindDivider(const char* p) {
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    for (;; p += 16) {
      __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, tab), _mm_cmpeq_epi8(x, lf)),
                                  _mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, zero)));
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
      if (mask != 0) return p + __builtin_ctz(mask);
    }
#else
    for (;; ++p) {
      char c = *p;
      if (c == '\t' || c == '\n' || c == '\r' || c == '\0') return p;
    }
#endif
  }

#if defined(__SSE2__)
  // Bits of the TABs, of the LFs and of every divider (TAB, LF, CR, NUL)
  // among the 32 bytes at `p`.
  static void DividerMasks(const char* p, uint32_t* tabs, uint32_t* lfs, uint32_t* all) {
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    __m128i xt = _mm_cmpeq_epi8(x, tab), yt = _mm_cmpeq_epi8(y, tab);
    __m128i xl = _mm_cmpeq_epi8(x, lf), yl = _mm_cmpeq_epi8(y, lf);
    __m128i xo = _mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, zero));
    __m128i yo = _mm_or_si128(_mm_cmpeq_epi8(y, cr), _mm_cmpeq_epi8(y, zero));
    auto bits = [](__m128i low, __m128i high) {
      return static_cast<uint32_t>(_mm_movemask_epi8(low)) |
             static_cast<uint32_t>(_mm_movemask_epi8(high)) << 16;
    };
    *tabs = bits(xt, yt);
    *lfs = bits(xl, yl);
    *all = *tabs | *lfs | bits(xo, yo);
  }
#endif

  // The usual line at the read position, parsed and consumed; false, with
  // nothing consumed, for any other line or one not wholly buffered (the
  // zeros behind the buffered bytes end every scan there).
  bool TryUsualLine(MergeRecord* record) {
    char* start = buffer.get() + begin;
    const char* tab1;
    const char* tab2;
    const char* lf;
#if defined(__SSE2__)
    // A line of up to 32 bytes has its three dividers in one load's masks.
    uint32_t tabs, lfs, all;
    DividerMasks(start, &tabs, &lfs, &all);
    uint32_t rest = all & (all - 1);
    uint32_t last = rest & (rest - 1);
    if (last != 0) {
      unsigned b1 = static_cast<unsigned>(__builtin_ctz(all));
      unsigned b2 = static_cast<unsigned>(__builtin_ctz(rest));
      unsigned b3 = static_cast<unsigned>(__builtin_ctz(last));
      if ((((tabs >> b1) & (tabs >> b2) & (lfs >> b3)) & 1) == 0) return false;
      tab1 = start + b1;
      tab2 = start + b2;
      lf = start + b3;
    } else
#endif
    {
      tab1 = FindDivider(start);
      if (*tab1 != '\t') return false;
      tab2 = FindDivider(tab1 + 1);
      if (*tab2 != '\t') return false;
      lf = FindDivider(tab2 + 1);
      if (*lf != '\n') return false;
    }
    const char* digits = tab2 + 1;
    if (tab1 == start || tab2 == tab1 + 1) return false;
    size_t length = static_cast<size_t>(lf - digits);
    // Up to 18 digits cannot overflow; a leading zero would not be written
    // again.
    if (length == 0 || length > 18 || (digits[0] == '0' && length > 1)) return false;
    int64_t value = 0;
    for (const char* d = digits; d < lf; ++d) {
      unsigned digit = static_cast<unsigned char>(*d) - unsigned{'0'};
      if (digit > 9) return false;
      value = value * 10 + static_cast<int64_t>(digit);
    }
    record->key = start;
    record->keyLength = static_cast<size_t>(tab2 - start);
    record->word1Length = static_cast<size_t>(tab1 - start);
    record->count = value;
    record->lineLength = static_cast<size_t>(lf - start) + 1;
    SetKeyPrefix(record);
    begin = static_cast<size_t>(lf - buffer.get()) + 1;
    return true;
  }

  // Next() for every line that is not the usual one, as LineReader reads it.
  Status NextSlow(MergeRecord* record);
};

}  // namespace ulo::merge

#endif  // ULO_MERGE_RECORD_READER_H_
