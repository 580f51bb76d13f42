#include "assoc/top_n_ranker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "assoc/fixed_format.h"
#include "assoc/pair_reader.h"
#include "text/pair_line.h"
#include "text/text_writer.h"

namespace ulo::assoc {
namespace {

// A list starts with room for this many items and doubles up to N.
constexpr int64_t kFirstListCapacity = 4;
// Up to this many items a straight scan finds the place fastest.
constexpr int32_t kLinearSearchItems = 16;

}  // namespace

int32_t ToMillionths(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

TopNRanker::TopNRanker(uint32_t slotCount)
    : words(WordFrequencyTable::kRankerProbeLimit, slotCount) {}

TopNRanker::~TopNRanker() = default;

bool TopNRanker::LoadFrequencies(const char* inputPath) {
  return LoadWordFrequencies(inputPath, text::kTopNLimits, words);
}

int TopNRanker::OfferCandidate(std::string_view base, std::string_view other, int32_t confidence,
                               int32_t support) {
  int32_t baseSlot = words.FindWord(base);
  int32_t otherSlot = words.FindWord(other);
  if (baseSlot < 0 || otherSlot < 0) return -1;
  OfferCandidateTo(words.slotEntry(baseSlot), otherSlot, confidence, support);
  return 1;
}

void TopNRanker::OfferCandidateTo(int32_t baseEntry, int32_t otherSlot, int32_t confidence,
                                  int32_t support) {
  if (listLength < 1) return;  // a list holds at least its first item
  TopList& list = words.ListOf(baseEntry);
  int32_t size = list.size;
  TopNItem* items = list.items;
  // A full list whose last item is at least as good keeps what it has.
  if (size == listLength && items[size - 1].confidence >= confidence) return;

  // The list runs in non-increasing confidence: the newcomer goes before the
  // first item of strictly lower confidence, behind all its equals.
  int32_t at = 0;
  if (size <= kLinearSearchItems) {
    while (at < size && items[at].confidence >= confidence)
      ++at;
  } else {
    at = static_cast<int32_t>(std::upper_bound(items, items + size, confidence,
                                               [](int32_t value, const TopNItem& item) {
                                                 return value > item.confidence;
                                               }) -
                              items);
  }
  if (size < listLength) {
    if (size == list.capacity) {
      int64_t capacity = std::min<int64_t>(
          listLength, std::max<int64_t>(kFirstListCapacity, int64_t{list.capacity} * 2));
      TopNItem* grown = words.AllocateItems(static_cast<size_t>(capacity));
      if (size > 0) std::memcpy(grown, items, sizeof(TopNItem) * static_cast<size_t>(size));
      list.items = items = grown;
      list.capacity = static_cast<int32_t>(capacity);
    }
    ++size;
  }
  // Items from `at` on move one place towards the end; in a full list the
  // last one falls off.
  std::memmove(items + at + 1, items + at, sizeof(TopNItem) * static_cast<size_t>(size - 1 - at));
  items[at] = TopNItem{otherSlot, confidence, support};
  list.size = size;
}

bool TopNRanker::RankLines(const char* inputPath) {
  auto reader = PairReader::Open(inputPath, text::kTopNLimits);
  if (!reader) return false;
  words.ReserveLists();
  const double total = static_cast<double>(words.total());
  int32_t lastEntry1 = -1;
  const PairBatch* before = nullptr;
  // Lookups and offers touch memory all over the table: each stage asks for
  // what the next one needs.
  return RunPipeline<5>(*reader, [&](int stage, PairBatch& batch) {
    switch (stage) {
      case 0:
        HashWords(batch, before, words);
        before = &batch;
        return;
      case 1:
        TouchEntries(batch, words);
        return;
      case 2:
        FindEntries(batch, words, &lastEntry1);
        for (int i = 0; i < batch.size; ++i) {
          if (batch.entry1[i] < 0 || batch.entry2[i] < 0) continue;
          batch.touched += words.TouchList(batch.entry1[i]) + words.TouchList(batch.entry2[i]);
        }
        return;
      case 3:
        for (int i = 0; i < batch.size; ++i) {
          if (batch.entry1[i] < 0 || batch.entry2[i] < 0) continue;
          batch.touched +=
              words.TouchListItems(batch.entry1[i]) + words.TouchListItems(batch.entry2[i]);
        }
        return;
      default:
        break;
    }
    for (int i = 0; i < batch.size; ++i) {
      const int32_t entry1 = batch.entry1[i];
      const int32_t entry2 = batch.entry2[i];
      if (entry1 < 0 || entry2 < 0) continue;
      const WordEntry& word1 = words.entry(entry1);
      const WordEntry& word2 = words.entry(entry2);
      const double count = text::ParseCountReal(batch.fields[i].rest);
      // Division first, then the scaling to millionths.
      const int32_t confidence12 =
          ToMillionths(count / static_cast<double>(word1.frequency) * 1000000.0);
      const int32_t confidence21 =
          ToMillionths(count / static_cast<double>(word2.frequency) * 1000000.0);
      const int32_t support = ToMillionths(count / total * 1000000.0);
      OfferCandidateTo(entry1, static_cast<int32_t>(word2.slot), confidence12, support);
      OfferCandidateTo(entry2, static_cast<int32_t>(word1.slot), confidence21, support);
    }
  });
}

bool TopNRanker::WriteResults(const char* outputPath) {
  if (outputPath == nullptr) return false;
  int error = 0;
  auto out = text::TextWriter::Open(outputPath, false, &error);
  if (!out) return false;
  char number[kFixedTextMax];
  for (int32_t i = 0; i < words.entryCount(); ++i) {
    const TopList* list = words.FindList(i);
    if (list == nullptr) break;  // no word from here on was offered anything
    const std::string_view word = words.entry(i).word();
    for (int32_t k = 0; k < list->size; ++k) {
      const TopNItem& item = list->items[k];
      out->Append(word);
      out->Append('\t');
      out->Append(words.WordAt(item.other));
      out->Append('\t');
      char* end = FormatFixed(item.confidence * 0.0001, 2, number);
      out->Append(std::string_view(number, static_cast<size_t>(end - number)));
      out->Append('\t');
      end = FormatFixed(item.support * 0.0001, 2, number);
      out->Append(std::string_view(number, static_cast<size_t>(end - number)));
      out->Append('\n');
    }
  }
  return out->Close();
}

bool TopNRanker::RankFile(const char* inputPath, const char* outputPath, int32_t n) {
  listLength = n;
  if (inputPath == nullptr || outputPath == nullptr) return false;
  // A list holds at least its first item: with N below 1 there is nothing to
  // rank and nothing is written.
  if (n < 1) return false;
  try {
    if (!LoadFrequencies(inputPath)) return false;
    if (!RankLines(inputPath)) return false;
    return WriteResults(outputPath);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool GetTopNWordSupport(const char* inputPath, const char* outputPath, int32_t n) {
  std::unique_ptr<TopNRanker> ranker(new (std::nothrow) TopNRanker());
  if (!ranker) return false;
  ranker->table().Reset();
  bool ranked = ranker->RankFile(inputPath, outputPath, n);
  ranker->table().Clear();
  return ranked;
}

}  // namespace ulo::assoc
