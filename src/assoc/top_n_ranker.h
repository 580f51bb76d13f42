// Top-N ranking: for every word of a pair-count file, its N associated words
// of highest confidence, written as
//   word TAB associated TAB confidence% TAB support% LF
// grouped by word in the order the words first appear in the input.
#ifndef ULO_ASSOC_TOP_N_RANKER_H_
#define ULO_ASSOC_TOP_N_RANKER_H_

#include <cstdint>
#include <string_view>

#include "assoc/word_frequency_table.h"

namespace ulo::assoc {

// A score in millionths as a 32-bit integer: truncated toward zero, clamped
// to the 32-bit range (infinities included), 0 for NaN.
int32_t ToMillionths(double value);

class TopNRanker {
 public:
  explicit TopNRanker(uint32_t slotCount = WordFrequencyTable::kSlotCount);
  virtual ~TopNRanker();
  TopNRanker(const TopNRanker&) = delete;
  TopNRanker& operator=(const TopNRanker&) = delete;

  // The whole job: both passes over `inputPath`, then the top-N file. False
  // for a null path, N below 1 (nothing is written then), an input that
  // cannot be opened or read (no output is made), storage that cannot be
  // had, or an output that cannot be opened or fully written.
  bool RankFile(const char* inputPath, const char* outputPath, int32_t n);

  // The first pass: frequencies and total. Prints "wrong at" with the line
  // for each word the table refuses. False when the input was opened but
  // could not be read to its end; an input that cannot be opened loads
  // nothing.
  bool LoadFrequencies(const char* inputPath);

  // Offers `other` to the top list of `base` with the confidence and support
  // in millionths: it goes behind the items of equal or higher confidence,
  // and the list keeps at most N items. 1 when both words are in the table,
  // -1 otherwise. Throws std::bad_alloc.
  int OfferCandidate(std::string_view base, std::string_view other, int32_t confidence,
                     int32_t support);
  // The same by the base word's entry number; `otherSlot` is the associated
  // word's slot.
  void OfferCandidateTo(int32_t baseEntry, int32_t otherSlot, int32_t confidence, int32_t support);

  // Writes every word's list, in entry order. False when the output cannot
  // be opened or fully written.
  bool WriteResults(const char* outputPath);

  WordFrequencyTable& table() { return words; }
  void setListLength(int32_t n) { listLength = n; }

 private:
  bool RankLines(const char* inputPath);

  WordFrequencyTable words;
  int32_t listLength = 0;
};

// What the export does: a ranker for one call, its table reset, RankFile,
// its table cleared. The result is RankFile's.
bool GetTopNWordSupport(const char* inputPath, const char* outputPath, int32_t n);

}  // namespace ulo::assoc

#endif  // ULO_ASSOC_TOP_N_RANKER_H_
