// The ids of a ranking's words by their bytes: an open-addressing table of
// hashes and ids, so that a lookup touches one slot and the word it names,
// where a node-based map touches a bucket, a node and then the word.
#ifndef ULO_ENGINE_STATS_WORD_TABLE_H_
#define ULO_ENGINE_STATS_WORD_TABLE_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ulo::engine {

class WordTable {
 public:
  using Words = std::vector<const std::string*>;

  // The id of `word` among `words` (which the table indexes), if it is there.
  std::optional<uint32_t> Find(std::string_view word, const Words& words) const {
    if (slots.empty()) return std::nullopt;
    uint64_t hash = Hash(word);
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots[i];
      if (slot.id == 0) return std::nullopt;
      if (slot.hash == hash && *words[slot.id - 1] == word) return slot.id - 1;
    }
  }

  // Indexes words[id], which is not yet in the table.
  void Add(uint32_t id, const Words& words) {
    if ((words.size() + 1) * 2 > slots.size()) Grow(words.size() + 1);
    Place(Hash(*words[id]), id);
  }

  // Room for `count` words without growing.
  void Reserve(size_t count) {
    if (count * 2 > slots.size()) Grow(count);
  }

 private:
  struct Slot {
    uint64_t hash;
    uint32_t id;  // the word's id + 1; 0: free
  };

  static uint64_t Hash(std::string_view word) { return std::hash<std::string_view>()(word); }

  void Place(uint64_t hash, uint32_t id) {
    size_t i = hash & mask;
    while (slots[i].id != 0)
      i = (i + 1) & mask;
    slots[i] = {hash, id + 1};
  }

  void Grow(size_t count) {
    size_t capacity = 16;
    while (capacity < count * 2)
      capacity *= 2;
    std::vector<Slot> old(capacity, Slot{0, 0});
    old.swap(slots);
    mask = capacity - 1;
    for (const Slot& slot : old) {
      if (slot.id != 0) Place(slot.hash, slot.id - 1);
    }
  }

  std::vector<Slot> slots;
  size_t mask = 0;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_STATS_WORD_TABLE_H_
