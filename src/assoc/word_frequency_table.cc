#include "assoc/word_frequency_table.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "text/pair_line.h"

namespace ulo::assoc {
namespace {

// The hash works on signed 32-bit state words with wrapping arithmetic; it is
// done here in uint32_t, with the sign copying of right shifts made explicit,
// so that nothing depends on signed overflow.
inline uint32_t ShiftRightArith(uint32_t x, int n) {
  const uint32_t sign = 0u - (x >> 31);  // all ones when negative
  return (x >> n) | (sign << (32 - n));
}

// A key byte as a signed value, sign-extended to 32 bits.
inline uint32_t KeyByte(const char* key, size_t i) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(key[i])));
}

// clang-format off
inline void Mix(uint32_t& a, uint32_t& b, uint32_t& c) {
  a -= b; a -= c; a ^= ShiftRightArith(c, 13);
  b -= c; b -= a; b ^= a << 8;
  c -= a; c -= b; c ^= ShiftRightArith(b, 13);
  a -= b; a -= c; a ^= ShiftRightArith(c, 12);
  b -= c; b -= a; b ^= a << 16;
  c -= a; c -= b; c ^= ShiftRightArith(b, 5);
  a -= b; a -= c; a ^= ShiftRightArith(c, 3);
  b -= c; b -= a; b ^= a << 10;
  c -= a; c -= b; c ^= ShiftRightArith(b, 15);
}
// clang-format on

inline uint32_t Scramble(uint32_t x) {
  x += x << 12;
  x ^= ShiftRightArith(x, 22);
  x += x << 4;
  x ^= ShiftRightArith(x, 9);
  x += x << 10;
  x ^= ShiftRightArith(x, 2);
  x += x << 7;
  x ^= ShiftRightArith(x, 12);
  return x;
}

// lookup2 up to its final mix: the blocks of 12 bytes, the length and the
// tail bytes folded into a, b and c.
inline void Absorb(std::string_view word, uint32_t initval, uint32_t& a, uint32_t& b, uint32_t& c) {
  const char* k = word.data();
  size_t left = word.size();
  a = b = 0x9e3779b9u;
  c = initval;
  while (left >= 12) {
    a += KeyByte(k, 0) + (KeyByte(k, 1) << 8) + (KeyByte(k, 2) << 16) + (KeyByte(k, 3) << 24);
    b += KeyByte(k, 4) + (KeyByte(k, 5) << 8) + (KeyByte(k, 6) << 16) + (KeyByte(k, 7) << 24);
    c += KeyByte(k, 8) + (KeyByte(k, 9) << 8) + (KeyByte(k, 10) << 16) + (KeyByte(k, 11) << 24);
    Mix(a, b, c);
    k += 12;
    left -= 12;
  }
  c += static_cast<uint32_t>(word.size());
  switch (left) {  // every case falls through
    case 11:
      c += KeyByte(k, 10) << 24;
      [[fallthrough]];
    case 10:
      c += KeyByte(k, 9) << 16;
      [[fallthrough]];
    case 9:
      c += KeyByte(k, 8) << 8;
      [[fallthrough]];
    case 8:
      b += KeyByte(k, 7) << 24;
      [[fallthrough]];
    case 7:
      b += KeyByte(k, 6) << 16;
      [[fallthrough]];
    case 6:
      b += KeyByte(k, 5) << 8;
      [[fallthrough]];
    case 5:
      b += KeyByte(k, 4);
      [[fallthrough]];
    case 4:
      a += KeyByte(k, 3) << 24;
      [[fallthrough]];
    case 3:
      a += KeyByte(k, 2) << 16;
      [[fallthrough]];
    case 2:
      a += KeyByte(k, 1) << 8;
      [[fallthrough]];
    case 1:
      a += KeyByte(k, 0);
      [[fallthrough]];
    default:
      break;
  }
}

int64_t AddSaturating(int64_t a, int64_t b) {
  int64_t sum;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}

}  // namespace

uint32_t WordHashValue(std::string_view word) {
  uint32_t a, b, c;
  Absorb(word, 0, a, b, c);
  Mix(a, b, c);
  return c;
}

uint32_t WordRehash(std::string_view word, uint32_t slot, uint32_t slotCount) {
  uint32_t a, b, c;
  Absorb(word, slot, a, b, c);
  a = Scramble(a);
  b = Scramble(b);
  c = Scramble(c);
  Mix(a, b, c);
  return c & (slotCount - 1);
}

void* Arena::Allocate(size_t bytes) {
  bytes = (bytes + 7) & ~size_t{7};
  if (bytes > left) {
    if (bytes > kBlockSize / 4) {
      // A large request gets a block of its own; the current one stays open.
      blocks.emplace_back(new char[bytes]);
      return blocks.back().get();
    }
    blocks.emplace_back(new char[kBlockSize]);
    next = blocks.back().get();
    left = kBlockSize;
  }
  void* result = next;
  next += bytes;
  left -= bytes;
  return result;
}

void Arena::Release() {
  blocks.clear();
  blocks.shrink_to_fit();
  next = nullptr;
  left = 0;
}

void WordFrequencyTable::FreeSlots::operator()(uint32_t* slots) const {
  std::free(slots);
}

WordFrequencyTable::WordFrequencyTable(int32_t probeLimit, uint32_t slotCount)
    : limit(probeLimit), slotMask(slotCount - 1) {}

WordFrequencyTable::~WordFrequencyTable() = default;

void WordFrequencyTable::Reset() {
  if (slots) std::memset(slots.get(), 0, sizeof(uint32_t) * (size_t{slotMask} + 1));
  count = 0;
  lists.clear();
  totalCount = 0;
}

void WordFrequencyTable::Clear() {
  slots.reset();
  std::vector<std::unique_ptr<WordEntry[]>>().swap(entryBlocks);
  count = 0;
  std::vector<TopList>().swap(lists);
  arena.Release();
  totalCount = 0;
}

int64_t WordFrequencyTable::Probe(std::string_view word, uint32_t hash) const {
  uint32_t slot = hash & slotMask;
  for (int32_t probes = 0;; ++probes) {
    uint32_t ref = slots[slot];
    if (ref == 0) return ~int64_t{slot};
    if (entry(static_cast<int32_t>(ref - 1)).Holds(word)) return ref - 1;
    slot = WordRehash(word, slot, slotMask + 1);
    if (probes > limit) return kRefused;
  }
}

bool WordFrequencyTable::AddHashed(std::string_view word, uint32_t hash, int64_t countToAdd,
                                   int32_t* index) {
  // The count joins the total before the lookup, even when the word is then
  // refused.
  totalCount = AddSaturating(totalCount, countToAdd);
  *index = -1;
  if (!slots) {
    // calloc: the slots of a fresh table are zero pages until touched.
    void* memory = std::calloc(size_t{slotMask} + 1, sizeof(uint32_t));
    if (memory == nullptr) throw std::bad_alloc();
    slots.reset(static_cast<uint32_t*>(memory));
  }
  int64_t found = Probe(word, hash);
  if (found == kRefused) return false;
  if (found >= 0) {
    WordEntry& stored = entry(static_cast<int32_t>(found));
    stored.frequency = AddSaturating(stored.frequency, countToAdd);
    *index = static_cast<int32_t>(found);
    return true;
  }

  const auto slot = static_cast<uint32_t>(~found);
  if ((static_cast<size_t>(count) >> kEntryBlockBits) == entryBlocks.size()) {
    entryBlocks.emplace_back(new WordEntry[kEntryBlockSize]);
  }
  WordEntry& added = entry(count);
  added.frequency = countToAdd;
  added.length = static_cast<uint32_t>(word.size());
  added.slot = slot;
  char* text = added.text;
  if (word.size() >= sizeof added.text) {
    text = static_cast<char*>(arena.Allocate(word.size() + 1));
    added.external = text;
  }
  std::memcpy(text, word.data(), word.size());
  text[word.size()] = '\0';
  *index = count++;
  slots[slot] = static_cast<uint32_t>(count);
  return true;
}

bool WordFrequencyTable::AddWord(std::string_view word, std::string_view countText) {
  return AddWord(word, text::ParseCountInteger(countText));
}

void WordFrequencyTable::AddToEntry(int32_t index, int64_t countToAdd) {
  totalCount = AddSaturating(totalCount, countToAdd);
  WordEntry& stored = entry(index);
  stored.frequency = AddSaturating(stored.frequency, countToAdd);
}

int32_t WordFrequencyTable::FindHashed(std::string_view word, uint32_t hash) const {
  if (!slots) return -1;
  int64_t found = Probe(word, hash);
  return found >= 0 ? static_cast<int32_t>(found) : -1;
}

TopNItem* WordFrequencyTable::AllocateItems(size_t n) {
  if (n > SIZE_MAX / sizeof(TopNItem)) throw std::bad_alloc();
  return static_cast<TopNItem*>(arena.Allocate(n * sizeof(TopNItem)));
}

WordFrequencyTable& SharedWordFrequencyTable() {
  static WordFrequencyTable table(WordFrequencyTable::kSharedProbeLimit);
  return table;
}

}  // namespace ulo::assoc
