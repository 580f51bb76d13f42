// Word -> frequency table with a running total, open-addressed over a fixed
// number of slots. The support records use one process-wide instance; each
// top-N ranker has its own, whose entries also carry the word's top list.
#ifndef ULO_ASSOC_WORD_FREQUENCY_TABLE_H_
#define ULO_ASSOC_WORD_FREQUENCY_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace ulo::assoc {

// lookup2 over the word's bytes with initval 0, the bytes taken as signed
// values and every right shift arithmetic: the full 32-bit value.
uint32_t WordHashValue(std::string_view word);

// The home slot of `word` among `slotCount` slots (a power of two).
inline uint32_t WordHash(std::string_view word, uint32_t slotCount) {
  return WordHashValue(word) & (slotCount - 1);
}

// The slot probed after `slot` for `word`: lookup2 seeded with the slot, each
// of its three state words scrambled before the final mix.
uint32_t WordRehash(std::string_view word, uint32_t slot, uint32_t slotCount);

// One candidate of a top list: the associated word's slot, the confidence and
// the support in millionths (1,000,000 = 100 %).
struct TopNItem {
  int32_t other;
  int32_t confidence;
  int32_t support;
};

// A word's top list: the items in use, best first.
struct TopList {
  TopNItem* items = nullptr;
  int32_t size = 0;
  int32_t capacity = 0;
};

struct WordEntry {
  int64_t frequency;  // sum of the counts added for the word
  uint32_t length;
  uint32_t slot;  // the slot the word was placed in: its handle
  union {
    char text[16];         // a word of up to 15 bytes, NUL-terminated
    const char* external;  // a longer one, NUL-terminated, in the table's arena
  };

  const char* data() const { return length < sizeof text ? text : external; }
  std::string_view word() const { return std::string_view(data(), length); }
  bool Holds(std::string_view other) const {
    if (other.size() != length) return false;
    const char* bytes = data();
    if (length > sizeof text) return std::memcmp(bytes, other.data(), length) == 0;
    for (size_t i = 0; i < length; ++i) {
      if (bytes[i] != other[i]) return false;
    }
    return true;
  }
};

// Bump allocator for long words and top lists: everything goes at once when
// the table is cleared.
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // `bytes` with 8-byte alignment. Throws std::bad_alloc.
  void* Allocate(size_t bytes);
  void Release();
  bool empty() const { return blocks.empty(); }

 private:
  static constexpr size_t kBlockSize = size_t{1} << 20;
  std::vector<std::unique_ptr<char[]>> blocks;
  char* next = nullptr;
  size_t left = 0;
};

class WordFrequencyTable {
 public:
  static constexpr uint32_t kSlotCount = uint32_t{1} << 22;
  static constexpr int32_t kSharedProbeLimit = 5000;
  static constexpr int32_t kRankerProbeLimit = 500;

  // `slotCount` must be a power of two of at most 2^31. Nothing is allocated
  // until the first word comes, and Clear() gives everything back.
  explicit WordFrequencyTable(int32_t probeLimit, uint32_t slotCount = kSlotCount);
  ~WordFrequencyTable();
  WordFrequencyTable(const WordFrequencyTable&) = delete;
  WordFrequencyTable& operator=(const WordFrequencyTable&) = delete;

  // Empties the table, keeping its storage.
  void Reset();
  // Empties the table and releases its storage, words and top lists.
  void Clear();

  // Adds `count` to the total, then to the word's frequency, storing the
  // word if it is new. False when the probe limit ends the search first: the
  // word is not stored, its count stays in the total. Throws std::bad_alloc.
  bool AddWord(std::string_view word, int64_t count) {
    int32_t index;
    return AddHashed(word, WordHashValue(word), count, &index);
  }
  // The same with the count given as text, read as atoi reads it.
  bool AddWord(std::string_view word, std::string_view countText);

  // The word's slot, its handle; -1 when it is not stored.
  int32_t FindWord(std::string_view word) const {
    int32_t index = FindHashed(word, WordHashValue(word));
    return index < 0 ? -1 : static_cast<int32_t>(entry(index).slot);
  }

  // The same operations by entry number, for a word whose WordHashValue is
  // `hash`. AddHashed reports the word's entry in `*index` (-1 if refused).
  bool AddHashed(std::string_view word, uint32_t hash, int64_t count, int32_t* index);
  int32_t FindHashed(std::string_view word, uint32_t hash) const;
  // Adds `count` to the total and to the frequency of entry `index`: what
  // AddWord does for a word already stored.
  void AddToEntry(int32_t index, int64_t count);

  // Brings the memory for looking up the word with this hash into the cache
  // ahead of the lookup: first its home slot, then (once that has arrived)
  // the entry the slot refers to. The entry is read, not just hinted at:
  // hints for it were seen to be dropped. The caller folds what was read
  // into something kept, so the reads stay.
  void PrefetchSlot(uint32_t hash) const {
    if (slots) __builtin_prefetch(&slots[hash & slotMask]);
  }
  uint32_t TouchEntry(uint32_t hash) const {
    if (!slots) return 0;
    uint32_t ref = slots[hash & slotMask];
    return ref != 0 ? entry(static_cast<int32_t>(ref - 1)).length : 0;
  }

  // The number of the entry of the word stored at `slot`.
  int32_t slotEntry(int32_t slot) const { return static_cast<int32_t>(slots[slot] - 1); }
  // The entry of the word stored at `slot`.
  WordEntry& EntryAt(int32_t slot) { return entry(static_cast<int32_t>(slots[slot] - 1)); }
  const WordEntry& EntryAt(int32_t slot) const {
    return entry(static_cast<int32_t>(slots[slot] - 1));
  }
  std::string_view WordAt(int32_t slot) const { return EntryAt(slot).word(); }
  int64_t FrequencyAt(int32_t slot) const { return EntryAt(slot).frequency; }

  // The entries in the order their words were first stored.
  int32_t entryCount() const { return count; }
  WordEntry& entry(int32_t index) {
    return entryBlocks[static_cast<size_t>(index) >> kEntryBlockBits]
                      [static_cast<size_t>(index) & (kEntryBlockSize - 1)];
  }
  const WordEntry& entry(int32_t index) const {
    return entryBlocks[static_cast<size_t>(index) >> kEntryBlockBits]
                      [static_cast<size_t>(index) & (kEntryBlockSize - 1)];
  }

  // The top list of entry `index` (empty until the ranker fills it).
  TopList& ListOf(int32_t index) {
    if (lists.size() <= static_cast<size_t>(index)) lists.resize(static_cast<size_t>(count));
    return lists[static_cast<size_t>(index)];
  }
  const TopList* FindList(int32_t index) const {
    return static_cast<size_t>(index) < lists.size() ? &lists[static_cast<size_t>(index)] : nullptr;
  }
  // Gives every entry stored so far its (empty) top list.
  void ReserveLists() { lists.resize(static_cast<size_t>(count)); }
  // Brings entry `index`'s top list, then its first items, into the cache.
  uint32_t TouchList(int32_t index) const {
    return static_cast<size_t>(index) < lists.size() ? static_cast<uint32_t>(lists[index].size) : 0;
  }
  uint32_t TouchListItems(int32_t index) const {
    if (static_cast<size_t>(index) >= lists.size() || lists[index].items == nullptr) return 0;
    return static_cast<uint32_t>(lists[index].items[0].confidence);
  }
  // Room for `n` top-list items, owned by the table until Clear().
  TopNItem* AllocateItems(size_t n);

  int64_t total() const { return totalCount; }
  uint32_t slotCount() const { return slotMask + 1; }
  int32_t probeLimit() const { return limit; }
  // Whether the table holds storage (slots, entries, words or lists).
  bool holdsStorage() const {
    return slots != nullptr || !entryBlocks.empty() || !arena.empty() || lists.capacity() != 0;
  }

 private:
  static constexpr int kEntryBlockBits = 14;
  static constexpr size_t kEntryBlockSize = size_t{1} << kEntryBlockBits;

  struct FreeSlots {
    void operator()(uint32_t* slots) const;
  };

  // Walks the word's probe sequence: the number of its entry (>= 0), the
  // empty slot that ends the search as ~slot (< 0), or kRefused.
  int64_t Probe(std::string_view word, uint32_t hash) const;
  static constexpr int64_t kRefused = INT64_MIN;

  const int32_t limit;
  const uint32_t slotMask;
  // Per slot the number of its entry plus one; 0 marks an empty slot.
  std::unique_ptr<uint32_t[], FreeSlots> slots;
  // Entries in blocks that never move, so a word's text stays put.
  std::vector<std::unique_ptr<WordEntry[]>> entryBlocks;
  int32_t count = 0;
  std::vector<TopList> lists;  // by entry number
  Arena arena;
  int64_t totalCount = 0;
};

// The process-wide table of the support records (probe limit 5000). It holds
// no storage between runs.
WordFrequencyTable& SharedWordFrequencyTable();

}  // namespace ulo::assoc

#endif  // ULO_ASSOC_WORD_FREQUENCY_TABLE_H_
