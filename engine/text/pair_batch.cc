#include "engine/text/pair_batch.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/text/hash.h"

namespace ulo::engine {
namespace {

uint64_t Mix(uint64_t value) {
  value ^= value >> 32;
  value *= 0xd6e8feb86659fd93ULL;
  value ^= value >> 32;
  return value;
}

uint32_t HashWord(std::string_view word) {
  return static_cast<uint32_t>(HashBytes(word));
}

size_t PowerOfTwoAtLeast(size_t n) {
  size_t size = 16;
  while (size < n)
    size <<= 1;
  return size;
}

}  // namespace

PairBatch::PairBatch(Hand hand, bool bothDirections, Limits limits)
    : hand(std::move(hand)), bothDirections(bothDirections), limits(limits) {
  // Half-full tables at most, so probes stay short.
  wordSlots.assign(PowerOfTwoAtLeast(limits.words * 2), kNoWord);
  pairSlots.assign(PowerOfTwoAtLeast(limits.pairs * 2), PairSlot{kEmptyKey, 0});
  words.reserve(limits.words);
  bytes.reserve(limits.wordBytes);
}

size_t PairBatch::FindSlot(const std::vector<uint32_t>& slots, const std::vector<Word>& known,
                           const std::string& arena, std::string_view word, uint32_t hash) {
  size_t mask = slots.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    uint32_t id = slots[slot];
    if (id == kNoWord) return slot;
    const Word& held = known[id];
    if (held.hash == hash && held.length == word.size() &&
        std::memcmp(arena.data() + held.offset, word.data(), word.size()) == 0) {
      return slot;
    }
  }
}

uint32_t PairBatch::Intern(std::string_view word) {
  uint32_t hash = HashWord(word);
  size_t slot = FindSlot(wordSlots, words, bytes, word, hash);
  if (wordSlots[slot] != kNoWord) return wordSlots[slot];
  auto id = static_cast<uint32_t>(words.size());
  words.push_back({bytes.size(), static_cast<uint32_t>(word.size()), hash});
  bytes.append(word);
  bytes.push_back('\0');
  tallies.push_back(0);
  wordHeads.push_back(HeadIndex(word, hash));
  wordSlots[slot] = id;
  return id;
}

void PairBatch::AddPair(uint32_t first, uint32_t second) {
  uint32_t head1 = wordHeads[first], head2 = wordHeads[second];
  if ((head1 | head2) < kHeadWords) {
    if (bothDirections && head2 < head1) std::swap(head1, head2);
    uint32_t& cell = headCounts[size_t{head1} * kHeadWords + head2];
    // A cell about to overflow moves its count into the batch.
    if (__builtin_expect(++cell == UINT32_MAX, 0)) {
      AddToTable(first, second, cell);
      cell = 0;
    }
    return;
  }
  AddToTable(first, second, 1);
}

void PairBatch::AddToTable(uint32_t first, uint32_t second, uint64_t count) {
  if (bothDirections && second < first) std::swap(first, second);
  uint64_t key = uint64_t{first} << 32 | second;
  size_t mask = pairSlots.size() - 1;
  for (size_t slot = Mix(key) & mask;; slot = (slot + 1) & mask) {
    PairSlot& entry = pairSlots[slot];
    if (entry.key == key) {
      entry.count += count;
      return;
    }
    if (entry.key == kEmptyKey) {
      entry.key = key;
      entry.count = count;
      ++pairCount;
      return;
    }
  }
}

uint32_t PairBatch::HeadIndex(std::string_view word, uint32_t hash) const {
  if (headSlots.empty()) return kNoWord;
  return headSlots[FindSlot(headSlots, head, headBytes, word, hash)];
}

void PairBatch::ChooseHead() {
  // The first full batch's most frequent words: those that pair most often
  // with each other all through a corpus.
  headChosen = true;
  std::vector<uint32_t> ids(words.size());
  for (uint32_t id = 0; id < ids.size(); ++id)
    ids[id] = id;
  size_t keep = std::min<size_t>(kHeadWords, ids.size());
  std::partial_sort(ids.begin(), ids.begin() + static_cast<ptrdiff_t>(keep), ids.end(),
                    [&](uint32_t a, uint32_t b) {
                      return tallies[a] != tallies[b] ? tallies[a] > tallies[b] : a < b;
                    });
  headSlots.assign(PowerOfTwoAtLeast(kHeadWords * 4), kNoWord);
  for (size_t k = 0; k < keep; ++k) {
    const Word& word = words[ids[k]];
    std::string_view text(bytes.data() + word.offset, word.length);
    size_t slot = FindSlot(headSlots, head, headBytes, text, word.hash);
    head.push_back({headBytes.size(), word.length, word.hash});
    headBytes.append(text);
    headBytes.push_back('\0');
    headSlots[slot] = static_cast<uint32_t>(k);
  }
  headCounts.assign(size_t{kHeadWords} * kHeadWords, 0);
}

bool PairBatch::Full(size_t wordBytesNeeded) const {
  // Room for one more pair and its two words, whatever they are.
  return pairCount + 1 > limits.pairs || words.size() + 2 > limits.words ||
         bytes.size() + wordBytesNeeded > limits.wordBytes;
}

bool PairBatch::AddLine(const std::vector<std::string_view>& tokens, int window) {
  if (failed) return false;
  size_t n = tokens.size();
  size_t span = static_cast<size_t>(window);
  size_t pairs = n < 2 ? 0 : (n - 1) * std::min(span, n - 1);
  size_t lineBytes = 0;
  for (std::string_view token : tokens)
    lineBytes += token.size() + 1;
  if (pairCount + pairs <= limits.pairs && words.size() + n <= limits.words &&
      bytes.size() + lineBytes <= limits.wordBytes) {
    // The usual case: the whole line fits, so no check per pair.
    if (lineIds.size() < n) lineIds.resize(n);
    for (size_t k = 0; k < n; ++k)
      lineIds[k] = Intern(tokens[k]);
    for (size_t k = 0; k < n; ++k)
      ++tallies[lineIds[k]];
    for (size_t i = 0; i < n; ++i) {
      size_t last = std::min(n - 1, i + span);
      for (size_t j = i + 1; j <= last; ++j)
        AddPair(lineIds[i], lineIds[j]);
      added += last - i;
    }
    return true;
  }
  // A line that does not fit may be handed over in the middle: its tokens
  // are told one by one.
  if (tally) {
    tallied.clear();
    for (std::string_view token : tokens)
      tallied.emplace_back(token, 1);
    tally(tallied);
  }
  if (lineIds.size() < n) lineIds.resize(n);
  if (lineGenerations.size() < n) lineGenerations.resize(n);
  std::fill(lineGenerations.begin(), lineGenerations.begin() + tokens.size(), UINT64_MAX);
  auto idOf = [&](size_t k) {
    if (lineGenerations[k] != generation) {
      lineIds[k] = Intern(tokens[k]);
      lineGenerations[k] = generation;
    }
    return lineIds[k];
  };
  for (size_t i = 0; i < tokens.size(); ++i) {
    for (size_t j = i + 1; j < tokens.size() && j - i <= static_cast<size_t>(window); ++j) {
      // A word longer than the whole budget still gets a batch of its own.
      if (Full(tokens[i].size() + tokens[j].size() + 2) && pairCount > 0) {
        if (!HandFull()) return false;
      }
      uint32_t first = idOf(i);
      uint32_t second = idOf(j);
      AddPair(first, second);
      ++added;
    }
  }
  return true;
}

bool PairBatch::Add(std::string_view first, std::string_view second) {
  if (failed) return false;
  if (Full(first.size() + second.size() + 2) && pairCount > 0 && !HandFull()) return false;
  uint32_t id = Intern(first);
  AddPair(id, Intern(second));
  ++added;
  return true;
}

void PairBatch::Clear() {
  std::fill(wordSlots.begin(), wordSlots.end(), kNoWord);
  words.clear();
  tallies.clear();
  wordHeads.clear();
  bytes.clear();
  pairCount = 0;
  ++generation;
}

void PairBatch::HandTallies() {
  if (!tally) return;
  tallied.clear();
  for (size_t id = 0; id < words.size(); ++id) {
    if (tallies[id] == 0) continue;
    tallied.emplace_back(std::string_view(bytes.data() + words[id].offset, words[id].length),
                         tallies[id]);
  }
  if (!tallied.empty()) tally(tallied);
}

bool PairBatch::HandOver(const char* first, const char* second, uint64_t count) {
  // The library takes 32-bit counts: a larger one goes in several parts.
  for (uint64_t left = count; left > 0;) {
    auto part = static_cast<int32_t>(std::min<uint64_t>(left, INT32_MAX));
    ++handed;
    if (!hand(first, second, part)) {
      failed = true;
      return false;
    }
    left -= static_cast<uint64_t>(part);
  }
  return true;
}

bool PairBatch::Flush() {
  return HandBatch() && HandHead();
}

bool PairBatch::HandFull() {
  if (!headChosen) ChooseHead();
  return HandBatch();
}

bool PairBatch::HandBatch() {
  if (failed) return false;
  HandTallies();
  // The library sorts what it holds when it spills: table order will do.
  // Each slot is freed as it is handed over, while it is in the cache.
  for (PairSlot& entry : pairSlots) {
    if (entry.key == kEmptyKey) continue;
    const char* first = bytes.data() + words[entry.key >> 32].offset;
    const char* second = bytes.data() + words[entry.key & 0xffffffffu].offset;
    if (!HandOver(first, second, entry.count)) return false;
    entry.key = kEmptyKey;
  }
  Clear();
  return true;
}

bool PairBatch::HandHead() {
  if (failed) return false;
  for (size_t cell = 0; cell < headCounts.size(); ++cell) {
    uint32_t count = headCounts[cell];
    if (count == 0) continue;
    const char* first = headBytes.data() + head[cell / kHeadWords].offset;
    const char* second = headBytes.data() + head[cell % kHeadWords].offset;
    if (!HandOver(first, second, count)) return false;
    headCounts[cell] = 0;
  }
  return true;
}

}  // namespace ulo::engine
