#include "merge/merge_record.h"

#include "text/pair_line.h"

namespace ulo::merge {
namespace {

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// The first sizeof(T) bytes at `p` as a number whose byte i is the text's
// byte i (bits 8i..8i+7), whatever the machine's byte order.
template <typename T>
inline uint64_t Load(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  if constexpr (sizeof value == 8) {
    value = __builtin_bswap64(value);
  } else {
    value = __builtin_bswap32(value);
  }
#endif
  return value;
}

inline uint64_t Load64(const char* p) { return Load<uint64_t>(p); }
inline uint64_t Load32(const char* p) { return Load<uint32_t>(p); }

// Non-zero when one of the eight bytes of `x` is zero; the lowest set bit
// marks the first zero byte.
uint64_t ZeroBytes(uint64_t x) {
  return (x - kOnes) & ~x & kHighBits;
}

// The first TAB or NUL in [p, end), or end.
inline const char* FindTabOrNul(const char* p, const char* end) {
  while (end - p >= 8) {
    uint64_t x = Load64(p);
    uint64_t hits = ZeroBytes(x ^ (kOnes * '\t')) | ZeroBytes(x);
    if (hits != 0) return p + (__builtin_ctzll(hits) >> 3);
    p += 8;
  }
  while (p < end && *p != '\t' && *p != '\0')
    ++p;
  return p;
}

// The next run of non-TAB bytes at or after `*at`; false when none is left.
bool NextField(const char** at, const char* end, std::string_view* field) {
  const char* p = *at;
  while (p < end && *p == '\t')
    ++p;
  if (p == end) return false;
  const char* stop = static_cast<const char*>(std::memchr(p, '\t', static_cast<size_t>(end - p)));
  if (stop == nullptr) stop = end;
  *field = std::string_view(p, static_cast<size_t>(stop - p));
  *at = stop;
  return true;
}

// The count field starting at `p` (no TAB there), read as atoi reads it.
inline int64_t ReadCount(const char* p, const char* end) {
  // Plain digits, by far the usual count, fit 18 digits without overflow.
  int64_t value = 0;
  const char* q = p;
  while (q < end && q - p < 18 && static_cast<unsigned char>(*q - '0') < 10) {
    value = value * 10 + (*q - '0');
    ++q;
  }
  if (q > p && (q == end || static_cast<unsigned char>(*q - '0') >= 10)) return value;
  // A sign, blanks, or a long number.
  const char* stop = static_cast<const char*>(std::memchr(p, '\t', static_cast<size_t>(end - p)));
  return text::ParseCountInteger(std::string_view(p, static_cast<size_t>((stop ? stop : end) - p)));
}

}  // namespace

void SetKeyPrefix(MergeRecord* record) {
  const char* p = record->key;
  size_t n = record->keyLength;
  uint64_t low = 0, high = 0;
  // Loads that stay within the key, their overlap shifted away.
  if (n >= 16) {
    low = Load64(p);
    high = Load64(p + 8);
  } else if (n > 8) {
    low = Load64(p);
    high = Load64(p + n - 8) >> (8 * (16 - n));
  } else if (n == 8) {
    low = Load64(p);
  } else if (n >= 4) {
    low = Load32(p) | Load32(p + n - 4) << (8 * (n - 4));
  } else if (n > 0) {
    auto byte = [p](size_t i) { return static_cast<uint64_t>(static_cast<unsigned char>(p[i])); };
    low = byte(0) | byte(n / 2) << (8 * (n / 2)) | byte(n - 1) << (8 * (n - 1));
  }
  // The TAB sorts below every byte of a word: make it 0.
  size_t tab = record->word1Length;
  if (tab < 8) {
    low &= ~(uint64_t{0xFF} << (8 * tab));
  } else if (tab < 16) {
    high &= ~(uint64_t{0xFF} << (8 * (tab - 8)));
  }
  record->prefix[0] = __builtin_bswap64(low);
  record->prefix[1] = __builtin_bswap64(high);
}

bool ParseMergeLine(std::string_view line, MergeRecord* record) {
  const char* begin = line.data();
  const char* end = begin + line.size();

  // The usual line: word1 TAB word2 TAB count, its key already in one piece.
  if (begin < end && *begin != '\t' && *begin != '\0') {
    const char* tab1 = FindTabOrNul(begin, end);
    if (tab1 + 1 < end && *tab1 == '\t' && tab1[1] != '\t' && tab1[1] != '\0') {
      const char* tab2 = FindTabOrNul(tab1 + 1, end);
      // A NUL before the second TAB ends the line within the words.
      if (tab2 == end || *tab2 != '\t') return false;
      const char* count = tab2 + 1;
      while (count < end && *count == '\t')
        ++count;
      if (count == end || *count == '\0') return false;
      record->key = begin;
      record->keyLength = static_cast<size_t>(tab2 - begin);
      record->word1Length = static_cast<size_t>(tab1 - begin);
      record->count = ReadCount(count, end);
      SetKeyPrefix(record);
      return true;
    }
  }

  // Leading TABs, runs of TABs or a NUL early on: the general way.
  if (const void* nul = std::memchr(begin, '\0', line.size())) end = static_cast<const char*>(nul);
  std::string_view word1, word2, count;
  const char* at = begin;
  if (!NextField(&at, end, &word1) || !NextField(&at, end, &word2) ||
      !NextField(&at, end, &count)) {
    return false;
  }
  record->scratch.assign(word1);
  record->scratch.push_back('\t');
  record->scratch.append(word2);
  record->key = record->scratch.data();
  record->keyLength = record->scratch.size();
  record->word1Length = word1.size();
  record->count = ReadCount(count.data(), count.data() + count.size());
  SetKeyPrefix(record);
  return true;
}

}  // namespace ulo::merge
