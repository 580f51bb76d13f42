// Distinct words numbered in the order they come, found again by their
// bytes: an open-addressing table whose slots hold a word's hash, length and
// bytes' address beside its id, so that a lookup touches one slot and the
// bytes it compares (a node-based map touches a bucket, a node and then the
// word), and copies nothing.
#ifndef ULO_ENGINE_STATS_WORD_TABLE_H_
#define ULO_ENGINE_STATS_WORD_TABLE_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/hash.h"

namespace ulo::engine {

class WordTable {
 public:
  WordTable() = default;
  // `words` points into `storage`: a copy would point into another's.
  WordTable(const WordTable&) = delete;
  WordTable& operator=(const WordTable&) = delete;
  WordTable(WordTable&&) = default;
  WordTable& operator=(WordTable&&) = default;

  // The id of `word`, numbered next (ids run from 0) when it is new.
  uint32_t Intern(std::string_view word) { return Intern(word, Hash(word)); }
  // The same with the word's Hash.
  uint32_t Intern(std::string_view word, uint64_t hash) {
    if (std::optional<uint32_t> id = Find(word, hash)) return *id;
    auto id = static_cast<uint32_t>(words.size());
    words.push_back(&storage.emplace_back(word));
    if (words.size() * 2 > slots.size()) Grow(words.size());
    Place({hash, words.back()->data(), id + 1, static_cast<uint32_t>(word.size())});
    return id;
  }

  std::optional<uint32_t> Find(std::string_view word) const { return Find(word, Hash(word)); }

  static uint64_t Hash(std::string_view word) { return HashBytes(word); }
  // Asks for the slot where a word of `hash` is looked for first, so that
  // many lookups can wait for memory at once rather than one by one.
  void PrefetchSlot(uint64_t hash) const {
    if (!slots.empty()) __builtin_prefetch(&slots[hash & mask]);
  }
  // Asks for the bytes of the word in that slot (fetched before).
  void PrefetchWord(uint64_t hash) const {
    if (!slots.empty() && slots[hash & mask].bytes != nullptr)
      __builtin_prefetch(slots[hash & mask].bytes);
  }

  const std::string& Word(uint32_t id) const { return *words[id]; }
  size_t size() const { return words.size(); }
  bool empty() const { return words.empty(); }

  // The ids in the byte order of their words (bytes as unsigned values, a
  // word before its extensions).
  std::vector<uint32_t> SortedIds() const {
    // The first 8 bytes as one number, zero-padded, decide nearly every
    // comparison without a look at the words themselves.
    struct Entry {
      uint64_t prefix;
      uint32_t id;
    };
    std::vector<Entry> entries(words.size());
    for (uint32_t id = 0; id < entries.size(); ++id) {
      const std::string& word = *words[id];
      uint64_t prefix = 0;
      for (size_t i = 0; i < 8; ++i)
        prefix = prefix << 8 | (i < word.size() ? static_cast<unsigned char>(word[i]) : 0u);
      entries[id] = {prefix, id};
    }
    std::sort(entries.begin(), entries.end(), [this](const Entry& a, const Entry& b) {
      return a.prefix != b.prefix ? a.prefix < b.prefix : *words[a.id] < *words[b.id];
    });
    std::vector<uint32_t> ids(entries.size());
    for (size_t i = 0; i < ids.size(); ++i)
      ids[i] = entries[i].id;
    return ids;
  }

  // Room for `count` words without growing.
  void Reserve(size_t count) {
    words.reserve(count);
    if (count * 2 > slots.size()) Grow(count);
  }

 private:
  struct Slot {
    uint64_t hash;
    const char* bytes;  // the word's, in `storage`
    uint32_t id;        // the word's id + 1; 0: free
    uint32_t length;
  };

  std::optional<uint32_t> Find(std::string_view word, uint64_t hash) const {
    if (slots.empty()) return std::nullopt;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots[i];
      if (slot.id == 0) return std::nullopt;
      if (slot.hash == hash && slot.length == word.size() &&
          std::memcmp(slot.bytes, word.data(), word.size()) == 0) {
        return slot.id - 1;
      }
    }
  }

  void Place(const Slot& placed) {
    size_t i = placed.hash & mask;
    while (slots[i].id != 0)
      i = (i + 1) & mask;
    slots[i] = placed;
  }

  void Grow(size_t count) {
    size_t capacity = 16;
    while (capacity < count * 2)
      capacity *= 2;
    std::vector<Slot> old(capacity, Slot{0, nullptr, 0, 0});
    old.swap(slots);
    mask = capacity - 1;
    for (const Slot& slot : old) {
      if (slot.id != 0) Place(slot);
    }
  }

  std::deque<std::string> storage;
  std::vector<const std::string*> words;
  std::vector<Slot> slots;
  size_t mask = 0;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_STATS_WORD_TABLE_H_
