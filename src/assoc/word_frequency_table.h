// Word -> frequency table with a running total, open-addressed over a fixed
// number of slots. The support records use one process-wide instance; each
// top-N ranker has its own, whose entries also carry the word's top list.
#ifndef ULO_ASSOC_WORD_FREQUENCY_TABLE_H_
#define ULO_ASSOC_WORD_FREQUENCY_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace ulo::assoc {

// The home slot of `word` among `slotCount` slots (a power of two): lookup2
// over the word's bytes with initval 0, the bytes taken as signed values and
// every right shift arithmetic.
uint32_t WordHash(std::string_view word, uint32_t slotCount);

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

struct WordEntry {
  const char* word;  // the table's own copy, NUL-terminated
  uint32_t length;
  int32_t listSize;      // top-list items in use
  int64_t frequency;     // sum of the counts added for the word
  TopNItem* topList;     // null until the word is first offered a candidate
  int64_t listCapacity;  // items the top list has room for
};

// Bump allocator for the word copies and the top lists: everything goes at
// once when the table is cleared.
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // `bytes` with 8-byte alignment. Throws std::bad_alloc.
  void* Allocate(size_t bytes);
  void Release();

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

  // `slotCount` must be a power of two. Nothing is allocated until the first
  // word comes, and Clear() gives everything back.
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
  bool AddWord(std::string_view word, int64_t count);
  // The same with the count given as text, read as atoi reads it.
  bool AddWord(std::string_view word, std::string_view countText);
  // The same, reporting the word's slot in `*slot` (-1 when refused).
  bool AddWord(std::string_view word, int64_t count, int32_t* slot);
  // Adds `count` to the total and to the frequency of the word at `slot`:
  // what AddWord does for a word already stored there.
  void AddAt(int32_t slot, int64_t count);

  // The word's slot, its handle; -1 when it is not stored.
  int32_t FindWord(std::string_view word) const;

  WordEntry& EntryAt(int32_t slot) { return entries[slots[slot] - 1]; }
  const WordEntry& EntryAt(int32_t slot) const { return entries[slots[slot] - 1]; }
  std::string_view WordAt(int32_t slot) const {
    const WordEntry& entry = EntryAt(slot);
    return std::string_view(entry.word, entry.length);
  }
  int64_t FrequencyAt(int32_t slot) const { return EntryAt(slot).frequency; }

  // The entries in the order their words were first stored.
  int32_t entryCount() const { return static_cast<int32_t>(entries.size()); }
  const WordEntry& entry(int32_t index) const { return entries[static_cast<size_t>(index)]; }
  WordEntry& entry(int32_t index) { return entries[static_cast<size_t>(index)]; }

  int64_t total() const { return totalCount; }
  uint32_t slotCount() const { return slotMask + 1; }
  int32_t probeLimit() const { return limit; }
  // Whether the table holds storage (slots, words or lists) at the moment.
  bool holdsStorage() const { return slots != nullptr || entries.capacity() != 0; }

  // Room for `count` top-list items, owned by the table until Clear().
  TopNItem* AllocateItems(size_t count);

 private:
  struct FreeSlots {
    void operator()(uint32_t* slots) const;
  };

  // Walks the word's probe sequence: its slot, or the empty slot that ends
  // the search (as ~slot, negative), or kRefused.
  int64_t Probe(std::string_view word) const;
  static constexpr int64_t kRefused = INT64_MIN;

  const int32_t limit;
  const uint32_t slotMask;
  // Per slot the number of its entry plus one; 0 marks an empty slot.
  std::unique_ptr<uint32_t[], FreeSlots> slots;
  std::vector<WordEntry> entries;
  Arena arena;
  int64_t totalCount = 0;
};

// The process-wide table of the support records (probe limit 5000). It holds
// no storage between runs.
WordFrequencyTable& SharedWordFrequencyTable();

}  // namespace ulo::assoc

#endif  // ULO_ASSOC_WORD_FREQUENCY_TABLE_H_
