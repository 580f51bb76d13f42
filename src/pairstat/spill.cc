// The spill of PairAccumulator: the held pairs, sorted, to one file.
#include "pairstat/pair_accumulator.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

#include "pairstat/pair_keys.h"
#include "platform/env.h"
#include "text/pair_line.h"
#include "text/text_writer.h"

namespace ulo::pairstat {
namespace {

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

}  // namespace

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

std::vector<uint32_t> PairAccumulator::RankWords() {
  // A cached 8-byte prefix decides nearly every comparison.
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
  return order;
}

size_t PairAccumulator::GatherPairs() {
  PairSlot* table = pairSlots.get();
  size_t held = 0;
  for (size_t j = 0; j <= pairMask; ++j) {
    if (table[j].key != 0) table[held++] = table[j];
  }
  for (size_t w = 0; w < headHeld.size(); ++w) {
    for (uint64_t bits = headHeld[w]; bits != 0; bits &= bits - 1) {
      size_t cell = w * 64 + static_cast<size_t>(__builtin_ctzll(bits));
      auto first = static_cast<uint32_t>(cell / headWords);
      auto second = static_cast<uint32_t>(cell % headWords);
      table[held++] = PairSlot{PairKey(first, second), headCounts[cell]};
    }
  }
  return held;
}

std::vector<uint32_t> PairAccumulator::GroupByFirstWord(size_t n) {
  PairSlot* table = pairSlots.get();
  std::vector<uint32_t> ends(words.size() + 1, 0);
  // The pairs come in hash order, their words at random: the word of a pair
  // some steps ahead is fetched while this one is counted.
  constexpr size_t kAhead = 16;
  for (size_t j = 0; j < n; ++j) {
    if (j + kAhead < n) __builtin_prefetch(&words[FirstOf(table[j + kAhead].key)]);
    ++ends[words[FirstOf(table[j].key)].rank + 1];
  }
  for (size_t r = 1; r < ends.size(); ++r)
    ends[r] += ends[r - 1];
  // ends[r] is where group r begins; it is advanced to where it ends. A
  // grouped key is the second word's rank, which orders the group, above its
  // number, which finds it.
  PairSlot* grouped = table + n;
  for (size_t j = 0; j < n; ++j) {
    if (j + kAhead < n) {
      __builtin_prefetch(&words[FirstOf(table[j + kAhead].key)]);
      __builtin_prefetch(&words[SecondOf(table[j + kAhead].key)]);
    }
    uint64_t key = table[j].key;
    uint32_t at = ends[words[FirstOf(key)].rank]++;
    uint32_t second = SecondOf(key);
    grouped[at].key = uint64_t{words[second].rank} << 32 | second;
    grouped[at].count = table[j].count;
  }
  return ends;
}

void PairAccumulator::ChooseHeadWords(const std::vector<uint32_t>& order,
                                      const std::vector<uint32_t>& ends) {
  // A word with many partners now is likely to pair with the other head
  // words in the next period too.
  std::vector<std::pair<uint32_t, uint32_t>> sizes;  // (group size, rank)
  for (uint32_t r = 0; r < order.size(); ++r) {
    uint32_t size = ends[r] - (r == 0 ? 0 : ends[r - 1]);
    if (size > 0) sizes.emplace_back(size, r);
  }
  size_t keep = std::min<size_t>(headWords, sizes.size());
  auto larger = [](const std::pair<uint32_t, uint32_t>& a, const std::pair<uint32_t, uint32_t>& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  };
  std::partial_sort(sizes.begin(), sizes.begin() + static_cast<ptrdiff_t>(keep), sizes.end(),
                    larger);
  chosenBytes.clear();
  chosenLengths.clear();
  for (size_t k = 0; k < keep; ++k) {
    const Word& word = words[order[sizes[k].second]];
    chosenBytes.append(word.bytes, word.length);
    chosenLengths.push_back(word.length);
  }
}

void PairAccumulator::WriteGroups(text::TextWriter& out, const std::vector<uint32_t>& order,
                                  const std::vector<uint32_t>& ends, size_t n) {
  PairSlot* table = pairSlots.get();
  PairSlot* grouped = table + n;
  constexpr size_t kAhead = 16;
  size_t begin = 0;
  for (uint32_t r = 0; r < order.size(); ++r) {
    size_t stop = ends[r];
    if (stop == begin) continue;
    SortGroup(grouped + begin, stop - begin, table);
    const Word& first = words[order[r]];
    for (size_t j = begin; j < stop; ++j) {
      // The second words of the lines ahead, and then their bytes.
      if (j + kAhead < n)
        __builtin_prefetch(&words[static_cast<uint32_t>(grouped[j + kAhead].key)]);
      if (j + kAhead / 2 < n)
        __builtin_prefetch(words[static_cast<uint32_t>(grouped[j + kAhead / 2].key)].bytes);
      WriteLine(out, first, words[static_cast<uint32_t>(grouped[j].key)], grouped[j].count);
    }
    begin = stop;
  }
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
  if (pairsHeld > 0) {
    try {
      std::vector<uint32_t> order = RankWords();
      size_t n = GatherPairs();
      std::vector<uint32_t> ends = GroupByFirstWord(n);
      ChooseHeadWords(order, ends);
      WriteGroups(*out, order, ends, n);
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

}  // namespace ulo::pairstat
