#include "pairstat/pair_accumulator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <numeric>

#include "platform/env.h"
#include "text/pair_line.h"
#include "text/text_writer.h"

namespace ulo::pairstat {
namespace {

constexpr size_t kInitialWordSlots = 1024;
constexpr size_t kInitialPairSlots = 4096;
constexpr size_t kBlockSize = size_t{1} << 20;
// Bytes behind the last word of a block, so that a word can be copied in
// fixed 16-byte moves that read past its end.
constexpr size_t kBlockPadding = 16;

uint64_t Load64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
uint64_t Load32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

uint64_t Finalize(uint64_t x) {
  x ^= x >> 33;
  x *= 0xFF51AFD7ED558CCDULL;
  x ^= x >> 33;
  x *= 0xC4CEB9FE1A85EC53ULL;
  x ^= x >> 33;
  return x;
}

// The first min(length, 8) bytes of a word as one number, zero-padded, read
// in at most two loads without touching a byte past the word's end. Words of
// up to 8 bytes are told apart by this and their length alone.
uint64_t WordHead(const char* p, size_t n) {
  if (n >= 8) return Load64(p);
  if (n >= 4) return Load32(p) | Load32(p + n - 4) << (8 * (n - 4));
  if (n == 0) return 0;
  auto byte = [p](size_t i) { return uint64_t{static_cast<unsigned char>(p[i])} << (8 * i); };
  return byte(0) | byte(n / 2) | byte(n - 1);
}

uint64_t HashWord(const char* p, size_t n, uint64_t head) {
  uint64_t h = head ^ (n * 0x9E3779B97F4A7C15ULL);
  for (size_t i = 8; i < n; i += 8) {
    // The last step reads the word's final 8 bytes, overlapping the one before.
    h = (h ^ Load64(i + 8 <= n ? p + i : p + n - 8)) * 0x87C37B91114253D5ULL;
    h ^= h >> 29;
  }
  return Finalize(h);
}

uint64_t PairKey(uint32_t first, uint32_t second) {
  return (uint64_t{first} + 1) << 32 | (uint64_t{second} + 1);
}

uint32_t FirstOf(uint64_t key) {
  return static_cast<uint32_t>(key >> 32) - 1;
}
uint32_t SecondOf(uint64_t key) {
  return static_cast<uint32_t>(key) - 1;
}

uint64_t BigEndianPrefix(std::string_view word) {
  uint64_t prefix = 0;
  size_t n = word.size() < 8 ? word.size() : 8;
  for (size_t i = 0; i < n; ++i)
    prefix |= uint64_t{static_cast<unsigned char>(word[i])} << (56 - 8 * i);
  return prefix;
}

// Sorts a first word's group by key, whose high half is the second word's
// rank (distinct within a group). Large groups, the frequent first words,
// take a radix sort on the ranks' spread through `scratch` (room for `n`);
// small ones a comparison sort.
template <typename Slot>
void SortGroup(Slot* group, size_t n, Slot* scratch) {
  constexpr size_t kRadixFrom = 512;
  if (n < kRadixFrom) {
    std::sort(group, group + n, [](const Slot& a, const Slot& b) { return a.key < b.key; });
    return;
  }
  uint32_t low = UINT32_MAX, high = 0;
  for (size_t j = 0; j < n; ++j) {
    uint32_t rank = static_cast<uint32_t>(group[j].key >> 32);
    low = rank < low ? rank : low;
    high = rank > high ? rank : high;
  }
  constexpr int kDigitBits = 11;
  constexpr size_t kBuckets = size_t{1} << kDigitBits;
  uint32_t spread = high - low;
  Slot* from = group;
  Slot* to = scratch;
  for (int shift = 0; shift == 0 || (shift < 32 && (spread >> shift) != 0); shift += kDigitBits) {
    uint32_t start[kBuckets] = {};
    for (size_t j = 0; j < n; ++j)
      ++start[((static_cast<uint32_t>(from[j].key >> 32) - low) >> shift) & (kBuckets - 1)];
    uint32_t sum = 0;
    for (size_t b = 0; b < kBuckets; ++b) {
      uint32_t c = start[b];
      start[b] = sum;
      sum += c;
    }
    for (size_t j = 0; j < n; ++j)
      to[start[((static_cast<uint32_t>(from[j].key >> 32) - low) >> shift) & (kBuckets - 1)]++] =
          from[j];
    std::swap(from, to);
  }
  if (from != group) std::memcpy(static_cast<void*>(group), from, n * sizeof(Slot));
}

void AddCount(int64_t* total, int32_t count) {
  if (__builtin_add_overflow(*total, int64_t{count}, total)) {
    *total = count < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
  }
}

}  // namespace

bool ByteStringLess(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  int order = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);  // memcmp compares unsigned bytes
  return order != 0 ? order < 0 : a.size() < b.size();
}

PairAccumulator::PairAccumulator(int32_t spillThreshold)
    : spillAt(spillThreshold < 1 || spillThreshold > kSpillThreshold
                  ? static_cast<size_t>(kSpillThreshold)
                  : static_cast<size_t>(spillThreshold)) {}

PairAccumulator::~PairAccumulator() = default;

bool PairAccumulator::Start(const char* workDir) {
  if (workDir == nullptr || std::strlen(workDir) > kMaxWorkDirLength) return false;
  try {
    directory = workDir;
    FreeAll();
  } catch (...) {
    throw "Init_HashTableForConjointWord ERROR!";
  }
  nextSpill = 1;
  return true;
}

void PairAccumulator::NewBlock(size_t bytes) {
  // A long word gets a block of its own size.
  size_t size = bytes > kBlockSize ? bytes : kBlockSize;
  std::unique_ptr<char[]> fresh(new char[size + kBlockPadding]());
  blocks.push_back(Block{std::move(fresh), size});
  blockUsed = 0;
}

char* PairAccumulator::StoreBytes(std::string_view word) {
  size_t n = word.size();
  if (blocks.empty() || blocks.back().size - blockUsed < n) NewBlock(n);
  char* bytes = blocks.back().bytes.get() + blockUsed;
  if (n > 0) std::memcpy(bytes, word.data(), n);
  blockUsed += n;
  return bytes;
}

void PairAccumulator::GrowWordTable() {
  size_t capacity = wordSlots ? (wordMask + 1) * 2 : kInitialWordSlots;
  Table<WordSlot> slots(capacity);
  size_t mask = capacity - 1;
  for (uint32_t id = 0; id < words.size(); ++id) {
    const Word& word = words[id];
    uint64_t head = WordHead(word.bytes, word.length);
    size_t i = HashWord(word.bytes, word.length, head) & mask;
    while (slots[i].id != 0)
      i = (i + 1) & mask;
    slots[i] = WordSlot{head, word.length, id + 1};
  }
  wordSlots = std::move(slots);
  wordMask = mask;
}

uint32_t PairAccumulator::InternWord(std::string_view word, uint64_t head, uint64_t hash) {
  const char* p = word.data();
  size_t n = word.size();
  size_t i = hash & wordMask;
  for (;;) {
    const WordSlot& slot = wordSlots[i];
    if (slot.id == 0) break;
    if (slot.head == head && slot.length == n &&
        (n <= 8 || std::memcmp(words[slot.id - 1].bytes + 8, p + 8, n - 8) == 0)) {
      return slot.id - 1;
    }
    i = (i + 1) & wordMask;
  }
  if (n > std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
  uint32_t id = static_cast<uint32_t>(words.size());
  words.push_back(Word{StoreBytes(word), static_cast<uint32_t>(n), 0, BigEndianPrefix(word)});
  wordSlots[i] = WordSlot{head, static_cast<uint32_t>(n), id + 1};
  return id;
}

size_t PairAccumulator::PairHome(uint64_t key) const {
  return static_cast<size_t>(((key ^ (key >> 32)) * 0x9E3779B97F4A7C15ULL) >> pairShift);
}

void PairAccumulator::GrowPairTable() {
  size_t capacity = pairSlots ? (pairMask + 1) * 2 : kInitialPairSlots;
  Table<PairSlot> slots(capacity);
  size_t mask = capacity - 1;
  int shift = 64;
  for (size_t c = capacity; c > 1; c >>= 1)
    --shift;
  // Homes are the top bits of one product, so the old table's order carries
  // over and the new table fills nearly front to back.
  Table<PairSlot> old = std::move(pairSlots);
  size_t oldCapacity = old ? pairMask + 1 : 0;
  pairSlots = std::move(slots);
  pairMask = mask;
  pairShift = shift;
  for (size_t j = 0; j < oldCapacity; ++j) {
    if (old[j].key == 0) continue;
    size_t i = PairHome(old[j].key);
    while (pairSlots[i].key != 0)
      i = (i + 1) & mask;
    pairSlots[i] = old[j];
  }
}

void PairAccumulator::CountPair(uint64_t key, int32_t count) {
  size_t i = PairHome(key);
  for (;;) {
    PairSlot& slot = pairSlots[i];
    if (slot.key == key) {
      AddCount(&slot.count, count);
      return;
    }
    if (slot.key == 0) {
      slot.key = key;
      slot.count = count;
      ++pairsHeld;
      return;
    }
    i = (i + 1) & pairMask;
  }
}

void PairAccumulator::CountStaged() {
  size_t n = stagedCount;
  if (n == 0) return;
  stagedCount = 0;
  stageUsed = 0;
  for (size_t j = 0; j < n; ++j) {
    StagedPair& pair = staged[j];
    uint32_t first = InternWord(std::string_view(stageBytes + pair.offset1, pair.length1),
                                pair.head1, pair.hash1);
    uint32_t second = InternWord(std::string_view(stageBytes + pair.offset2, pair.length2),
                                 pair.head2, pair.hash2);
    pair.key = PairKey(first, second);
    __builtin_prefetch(&pairSlots[PairHome(pair.key)], 1);
  }
  for (size_t j = 0; j < n; ++j)
    CountPair(staged[j].key, staged[j].count);
}

void PairAccumulator::ReserveForStaged(size_t pairBytes) {
  size_t bytes = stageUsed + pairBytes;  // every staged word, as if each were new
  if (blocks.empty() || blocks.back().size - blockUsed < bytes) NewBlock(bytes);
  size_t needed = words.size() + 2 * (stagedCount + 1);
  if (words.capacity() < needed) words.reserve(std::max(needed, 2 * words.capacity()));
}

bool PairAccumulator::AddPair(std::string_view word1, std::string_view word2, int32_t count) {
  uint64_t head1 = WordHead(word1.data(), word1.size());
  uint64_t head2 = WordHead(word2.data(), word2.size());
  return AddHashedPair(word1, head1, HashWord(word1.data(), word1.size(), head1), word2, head2,
                       HashWord(word2.data(), word2.size(), head2), count);
}

bool PairAccumulator::AddPairBothWays(std::string_view word1, std::string_view word2,
                                      int32_t count) {
  // Each word is hashed once for both pairs.
  uint64_t head1 = WordHead(word1.data(), word1.size());
  uint64_t hash1 = HashWord(word1.data(), word1.size(), head1);
  uint64_t head2 = WordHead(word2.data(), word2.size());
  uint64_t hash2 = HashWord(word2.data(), word2.size(), head2);
  bool stored = AddHashedPair(word1, head1, hash1, word2, head2, hash2, count);
  return AddHashedPair(word2, head2, hash2, word1, head1, hash1, count) && stored;
}

bool PairAccumulator::AddHashedPair(std::string_view word1, uint64_t head1, uint64_t hash1,
                                    std::string_view word2, uint64_t head2, uint64_t hash2,
                                    int32_t count) {
  try {
    // Room for the staged pairs and this one while staying at most half
    // full, so that a spill can sort in the free half.
    size_t most = pairsHeld + stagedCount + 1;
    if (!pairSlots || most * 2 > pairMask + 1) GrowPairTable();
    if (!wordSlots || (words.size() + 2 * (stagedCount + 1)) * 2 > wordMask + 1) GrowWordTable();
    __builtin_prefetch(&wordSlots[hash1 & wordMask]);
    __builtin_prefetch(&wordSlots[hash2 & wordMask]);
    size_t bytes = word1.size() + word2.size();
    // Staged only while this pair and every staged one, all new, would stay
    // below the threshold: a staged pair never causes a spill.
    if (most < spillAt && bytes <= kStageBytes) {
      if (stagedCount == kBatch || kStageBytes - stageUsed < bytes) CountStaged();
      ReserveForStaged(bytes);
      StagedPair& pair = staged[stagedCount];
      pair.head1 = head1;
      pair.hash1 = hash1;
      pair.head2 = head2;
      pair.hash2 = hash2;
      pair.offset1 = static_cast<uint32_t>(stageUsed);
      pair.length1 = static_cast<uint32_t>(word1.size());
      std::memcpy(stageBytes + stageUsed, word1.data(), word1.size());
      stageUsed += word1.size();
      pair.offset2 = static_cast<uint32_t>(stageUsed);
      pair.length2 = static_cast<uint32_t>(word2.size());
      std::memcpy(stageBytes + stageUsed, word2.data(), word2.size());
      stageUsed += word2.size();
      pair.count = count;
      ++stagedCount;
      return true;
    }
    CountStaged();
    uint32_t first = InternWord(word1, head1, hash1);
    uint64_t key = PairKey(first, InternWord(word2, head2, hash2));
    CountPair(key, count);
  } catch (...) {
    throw "Put2HashTable ERROR!";
  }
  if (pairsHeld >= spillAt) return Spill();
  return true;
}

int32_t PairAccumulator::pairCount() {
  CountStaged();
  return static_cast<int32_t>(pairsHeld);
}

bool PairAccumulator::Spill() {
  char name[32];
  std::snprintf(name, sizeof name, "temp%d.txt", nextSpill);
  ++nextSpill;
  bool stored = WriteSpillFile(name);
  try {
    FreeAll();
  } catch (...) {
    throw "free_HashTableForConjointWord ERROR!";
  }
  return stored;
}

void PairAccumulator::WriteLine(text::TextWriter& out, const Word& first, const Word& second,
                                int64_t count) {
  // Words of up to 16 bytes go in one fixed move each, which may read into
  // the padding behind them; the bytes written past a word are overwritten.
  constexpr size_t kMost = 16 + 1 + 16 + 1 + 21 + 1;
  if (first.length <= 16 && second.length <= 16) {
    if (char* start = out.Reserve(kMost)) {
      char* next = start;
      std::memcpy(next, first.bytes, 16);
      next += first.length;
      *next++ = '\t';
      std::memcpy(next, second.bytes, 16);
      next += second.length;
      *next++ = '\t';
      next = text::FormatDecimal(count, next);
      *next++ = '\n';
      out.Commit(static_cast<size_t>(next - start));
      return;
    }
  }
  text::WritePairLine(out, std::string_view(first.bytes, first.length),
                      std::string_view(second.bytes, second.length), count);
}

bool PairAccumulator::WriteSpillFile(const std::string& name) {
  std::string path = platform::JoinPath(directory, name);
  int error = 0;
  auto out = text::TextWriter::Open(path, false, &error);
  if (!out) {
    FreeAll();
    return false;
  }
  CountStaged();
  bool complete = true;
  size_t n = pairsHeld;
  if (n > 0) {
    try {
      // Ranks of the words in byte order; a cached 8-byte prefix decides
      // nearly every comparison.
      std::vector<uint32_t> order(words.size());
      std::iota(order.begin(), order.end(), 0u);
      std::sort(order.begin(), order.end(), [this](uint32_t x, uint32_t y) {
        const Word& a = words[x];
        const Word& b = words[y];
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        // Equal prefixes: the first min(length, 8) bytes agree.
        if (a.length <= 8 || b.length <= 8) return a.length < b.length;
        size_t common = (a.length < b.length ? a.length : b.length) - 8;
        int rest = std::memcmp(a.bytes + 8, b.bytes + 8, common);
        return rest != 0 ? rest < 0 : a.length < b.length;
      });
      for (uint32_t r = 0; r < order.size(); ++r)
        words[order[r]].rank = r;

      // Move the pairs to the front, then distribute them by first word into
      // the free half behind them (the table is at most half full).
      PairSlot* table = pairSlots.get();
      size_t held = 0;
      for (size_t j = 0; j <= pairMask; ++j) {
        if (table[j].key != 0) table[held++] = table[j];
      }
      std::vector<uint32_t> end(words.size() + 1, 0);
      // The pairs come in hash order, their words at random: the word of a
      // pair some steps ahead is fetched while this one is counted.
      constexpr size_t kAhead = 16;
      for (size_t j = 0; j < n; ++j) {
        if (j + kAhead < n) __builtin_prefetch(&words[FirstOf(table[j + kAhead].key)]);
        ++end[words[FirstOf(table[j].key)].rank + 1];
      }
      for (size_t r = 1; r < end.size(); ++r)
        end[r] += end[r - 1];
      // end[r] is where group r begins; it is advanced to where it ends.
      // A grouped key is the second word's rank, which orders the group,
      // above its number, which finds it.
      PairSlot* grouped = table + n;
      for (size_t j = 0; j < n; ++j) {
        if (j + kAhead < n) {
          __builtin_prefetch(&words[FirstOf(table[j + kAhead].key)]);
          __builtin_prefetch(&words[SecondOf(table[j + kAhead].key)]);
        }
        uint64_t key = table[j].key;
        uint32_t at = end[words[FirstOf(key)].rank]++;
        uint32_t second = SecondOf(key);
        grouped[at].key = uint64_t{words[second].rank} << 32 | second;
        grouped[at].count = table[j].count;
      }

      size_t begin = 0;
      for (uint32_t r = 0; r < order.size(); ++r) {
        size_t stop = end[r];
        if (stop == begin) continue;
        SortGroup(grouped + begin, stop - begin, table);
        const Word& first = words[order[r]];
        for (size_t j = begin; j < stop; ++j) {
          // The second words of the lines ahead, and then their bytes.
          if (j + kAhead < n)
            __builtin_prefetch(&words[static_cast<uint32_t>(grouped[j + kAhead].key)]);
          if (j + kAhead / 2 < n) {
            __builtin_prefetch(words[static_cast<uint32_t>(grouped[j + kAhead / 2].key)].bytes);
          }
          WriteLine(*out, first, words[static_cast<uint32_t>(grouped[j].key)], grouped[j].count);
        }
        begin = stop;
      }
    } catch (const std::bad_alloc&) {
      complete = false;
    }
  }
  complete = out->Close() && complete;
  out.reset();
  if (!complete) platform::Env::Current()->RemoveFile(path, &error);
  FreeAll();
  return complete;
}

void PairAccumulator::FreeAll() {
  if (pairsHeld > 0 || !words.empty()) {
    if (pairSlots) std::memset(pairSlots.get(), 0, (pairMask + 1) * sizeof(PairSlot));
    if (wordSlots) std::memset(wordSlots.get(), 0, (wordMask + 1) * sizeof(WordSlot));
  }
  stagedCount = 0;
  stageUsed = 0;
  pairsHeld = 0;
  words.clear();
  // The first block of word bytes is kept for the next period.
  if (blocks.size() > 1) blocks.resize(1);
  blockUsed = 0;
}

void PairAccumulator::ReleaseMemory() {
  FreeAll();
  pairSlots.reset();
  pairMask = 0;
  pairShift = 64;
  wordSlots.reset();
  wordMask = 0;
  std::vector<Word>().swap(words);
  blocks.clear();
}

bool PairAccumulator::Finish() {
  char name[32];
  std::snprintf(name, sizeof name, "temp%d.txt", nextSpill);
  bool stored = WriteSpillFile(name);
  try {
    ReleaseMemory();
  } catch (...) {
    throw "free_all error!";
  }
  return stored;
}

}  // namespace ulo::pairstat
