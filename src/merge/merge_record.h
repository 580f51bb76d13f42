// One input's current line during a merge, and the order of pair keys.
//
// A record keeps its key as the bytes "word1 TAB word2". Words hold no TAB
// and no NUL, so the key of a well-formed line is simply its bytes up to the
// second TAB and is used where it lies in the reader's buffer, without a
// copy. Its first 16 bytes are also kept as two integers that order like the
// words, so that most comparisons never touch the key bytes.
#ifndef ULO_MERGE_MERGE_RECORD_H_
#define ULO_MERGE_MERGE_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ulo::merge {

// Bytes of a key held in MergeRecord::prefix.
constexpr size_t kPrefixBytes = 16;

struct MergeRecord {
  static constexpr int32_t kHolding = 0;    // key and count hold the input's current line
  static constexpr int32_t kExhausted = 1;  // the input has no further line
  static constexpr int32_t kSentinel = -1;  // beats every record while the tree is built

  // The key's first 16 bytes, big-endian, with its TAB as 0 and zeros after
  // its end: compared as numbers they order as the words do.
  uint64_t prefix[2] = {0, 0};
  const char* key = nullptr;  // word1 TAB word2; not NUL-terminated
  size_t keyLength = 0;
  size_t word1Length = 0;
  int64_t count = 0;
  // The whole line with its LF when the key starts it and it reads as it
  // would be written again ("word1 TAB word2 TAB count LF"), else 0.
  size_t lineLength = 0;
  int32_t state = kHolding;
  // Holds the key when the line's own bytes do not (runs of TABs between
  // fields), so that `key` always points at "word1 TAB word2".
  std::string scratch;

  std::string_view Key() const { return std::string_view(key, keyLength); }
  std::string_view Word1() const { return std::string_view(key, word1Length); }
  std::string_view Word2() const {
    return std::string_view(key + word1Length + 1, keyLength - word1Length - 1);
  }
};

namespace detail {

// The order of two keys that first differ in bytes `a` and `b`. The TAB ends
// word1, so the key whose TAB comes first has the shorter word1, which sorts
// first whatever byte the other word1 has there.
inline int DifferingBytes(char a, char b) {
  if (a == '\t') return -1;
  if (b == '\t') return 1;
  return static_cast<unsigned char>(a) < static_cast<unsigned char>(b) ? -1 : 1;
}

}  // namespace detail

// Orders two keys "word1 TAB word2" by word1 and then word2, each byte by
// byte as unsigned values with a word before its own extensions (the order
// strcmp gives on the two words). Returns -1, 0 or 1.
inline int CompareKeys(const char* a, size_t aLength, const char* b, size_t bLength) {
  size_t common = aLength < bLength ? aLength : bLength;
  size_t i = 0;
  for (; i + 8 <= common; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) break;
  }
  for (; i < common; ++i) {
    if (a[i] != b[i]) return detail::DifferingBytes(a[i], b[i]);
  }
  return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

inline int CompareKeys(std::string_view a, std::string_view b) {
  return CompareKeys(a.data(), a.size(), b.data(), b.size());
}

// CompareKeys for two records, mostly decided by their prefixes.
inline int CompareRecordKeys(const MergeRecord& a, const MergeRecord& b) {
  if (a.prefix[0] != b.prefix[0]) return a.prefix[0] < b.prefix[0] ? -1 : 1;
  if (a.prefix[1] != b.prefix[1]) return a.prefix[1] < b.prefix[1] ? -1 : 1;
  // Equal prefixes: a key of up to 16 bytes is then the other's start.
  if (a.keyLength <= kPrefixBytes || b.keyLength <= kPrefixBytes) {
    return a.keyLength < b.keyLength ? -1 : (a.keyLength > b.keyLength ? 1 : 0);
  }
  return CompareKeys(a.key + kPrefixBytes, a.keyLength - kPrefixBytes, b.key + kPrefixBytes,
                     b.keyLength - kPrefixBytes);
}

// Marks the record's input as exhausted. Its prefix becomes all ones, above
// nearly every key, which spares most comparisons a look at its state.
inline void MarkExhausted(MergeRecord* record) {
  record->state = MergeRecord::kExhausted;
  record->prefix[0] = record->prefix[1] = ~uint64_t{0};
}

// Fills the record's prefix from its key, word1Length and keyLength.
void SetKeyPrefix(MergeRecord* record);

// Splits one input line (its LF already removed) into the record's key and
// count, as the C string functions see the line: a NUL byte ends it. The
// fields are the first three runs of non-TAB bytes: leading TABs and runs of
// TABs between fields count as one divider, and anything after the third
// field is ignored. The count reads as atoi reads it, but in 64 bits. False
// when the line has fewer than three fields; the record is then unchanged.
bool ParseMergeLine(std::string_view line, MergeRecord* record);

// Adds two counts, pinned at the ends of the 64-bit range instead of wrapping.
inline int64_t AddCounts(int64_t a, int64_t b) {
  int64_t sum;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return a < 0 ? INT64_MIN : INT64_MAX;
}

}  // namespace ulo::merge

#endif  // ULO_MERGE_MERGE_RECORD_H_
