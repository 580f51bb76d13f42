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
  OfferCandidateAt(baseSlot, otherSlot, confidence, support);
  return 1;
}

void TopNRanker::OfferCandidateAt(int32_t baseSlot, int32_t otherSlot, int32_t confidence,
                                  int32_t support) {
  WordEntry& entry = words.EntryAt(baseSlot);
  int32_t size = entry.listSize;
  TopNItem* items = entry.topList;
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
    if (size == entry.listCapacity) {
      int64_t capacity =
          std::min<int64_t>(listLength, std::max(kFirstListCapacity, entry.listCapacity * 2));
      TopNItem* grown = words.AllocateItems(static_cast<size_t>(capacity));
      if (size > 0) std::memcpy(grown, items, sizeof(TopNItem) * static_cast<size_t>(size));
      entry.topList = items = grown;
      entry.listCapacity = capacity;
    }
    ++size;
  }
  // Items from `at` on move one place towards the end; in a full list the
  // last one falls off.
  std::memmove(items + at + 1, items + at, sizeof(TopNItem) * static_cast<size_t>(size - 1 - at));
  items[at] = TopNItem{otherSlot, confidence, support};
  entry.listSize = size;
}

bool TopNRanker::RankLines(const char* inputPath) {
  auto reader = PairReader::Open(inputPath, text::kTopNLimits);
  if (!reader) return false;
  const double total = static_cast<double>(words.total());
  text::PairFields fields;
  std::string_view line;
  int32_t lastSlot = -1;
  while (reader->Next(&fields, &line)) {
    int32_t slot1 = lastSlot >= 0 && words.WordAt(lastSlot) == fields.word1
                        ? lastSlot
                        : words.FindWord(fields.word1);
    if (slot1 < 0) continue;
    lastSlot = slot1;
    int32_t slot2 = words.FindWord(fields.word2);
    if (slot2 < 0) continue;

    const double count = text::ParseCountReal(fields.rest);
    // Division first, then the scaling to millionths.
    const int32_t confidence12 =
        ToMillionths(count / static_cast<double>(words.FrequencyAt(slot1)) * 1000000.0);
    const int32_t confidence21 =
        ToMillionths(count / static_cast<double>(words.FrequencyAt(slot2)) * 1000000.0);
    const int32_t support = ToMillionths(count / total * 1000000.0);
    OfferCandidateAt(slot1, slot2, confidence12, support);
    OfferCandidateAt(slot2, slot1, confidence21, support);
  }
  return !reader->readFailed();
}

bool TopNRanker::WriteResults(const char* outputPath) {
  if (outputPath == nullptr) return false;
  int error = 0;
  auto out = text::TextWriter::Open(outputPath, false, &error);
  if (!out) return false;
  char number[kFixedTextMax];
  for (int32_t i = 0; i < words.entryCount(); ++i) {
    const WordEntry& entry = words.entry(i);
    std::string_view word(entry.word, entry.length);
    for (int32_t k = 0; k < entry.listSize; ++k) {
      const TopNItem& item = entry.topList[k];
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
