// Reading a pair-count file as the statistics do: line by line through the
// field cut, within one reader's limits. Lines come in batches that pass
// through a pipeline of stages, so that the memory a batch's words need is
// asked for well before the batch is worked on.
#ifndef ULO_ASSOC_PAIR_READER_H_
#define ULO_ASSOC_PAIR_READER_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "assoc/pair_scanner.h"
#include "assoc/word_frequency_table.h"
#include "text/field_cut.h"

namespace ulo::assoc {

// Lines of a pair-count file with their fields, copied out of the reader so
// that they stay valid while further lines are read, and what the stages
// find out about them.
struct PairBatch {
  static constexpr int kCapacity = 32;
  int size = 0;
  std::string_view lines[kCapacity];  // each as read, its LF included
  text::PairFields fields[kCapacity];
  bool repeats[kCapacity];    // word1 is word1 of the line before
  uint32_t hash1[kCapacity];  // WordHashValue of word1, unless it repeats
  uint32_t hash2[kCapacity];
  int32_t entry1[kCapacity];  // the words' entries, -1 when not stored
  int32_t entry2[kCapacity];
  uint32_t touched = 0;     // what the stages read ahead, kept so the reads stay
  std::vector<char> bytes;  // the lines' copies
};

class PairReader {
 public:
  // Null when `path` cannot be opened.
  static std::unique_ptr<PairReader> Open(const char* path, const text::FieldLimits& limits);

  PairReader(std::unique_ptr<PairScanner> lines, const text::FieldLimits& limits)
      : lines(std::move(lines)), limits(limits) {}

  // Fills `batch` with the next lines that have two TABs and keep within the
  // limits; the others are skipped. False, with an empty batch, at the end
  // of the file or on a read error.
  bool NextBatch(PairBatch* batch);

  // Whether reading stopped on an error rather than at the end.
  bool readFailed() const { return lines->readFailed(); }

 private:
  std::unique_ptr<PairScanner> lines;
  text::FieldLimits limits;
  bool done = false;
  uint32_t readAhead = 0;
};

// Runs every batch of `reader` through `stage(s, batch)` for s = 0 to
// kStages - 1. Stage s of a batch runs after stage s - 1 of the batch after
// it, so each stage's memory requests have a batch's work to arrive; each
// stage sees the batches in file order. False on a read error.
template <int kStages, typename Stage>
bool RunPipeline(PairReader& reader, Stage&& stage) {
  PairBatch ring[kStages];
  int64_t admitted = 0;
  bool more = true;
  for (int64_t k = 0;; ++k) {
    if (more) {
      more = reader.NextBatch(&ring[k % kStages]);
      if (more) {
        stage(0, ring[k % kStages]);
        ++admitted;
      }
    }
    for (int s = 1; s < kStages; ++s) {
      if (k - s >= 0 && k - s < admitted) stage(s, ring[(k - s) % kStages]);
    }
    if (!more && k >= admitted + kStages - 2) break;
  }
  return !reader.readFailed();
}

// The first stage of a lookup: marks the lines whose word1 repeats the line
// before (`before`, null at the start of the file, is the batch before),
// hashes the other words and asks for their home slots.
void HashWords(PairBatch& batch, const PairBatch* before, const WordFrequencyTable& table);
// The second: reads ahead the entries that the home slots refer to.
void TouchEntries(PairBatch& batch, const WordFrequencyTable& table);
// The lookup itself, in file order: fills entry1 and entry2. `lastEntry1`
// carries word1's entry from one line to the next; start it at -1.
void FindEntries(PairBatch& batch, const WordFrequencyTable& table, int32_t* lastEntry1);

// Prints "wrong at " followed by the line as read (up to a NUL byte, its LF
// included, no line end added) on standard output: the word table refused a
// word of that line.
void ReportRefusedLine(std::string_view line);

// The first pass of the statistics: adds word1 and word2 of every line to
// `table` with the line's count (read as atoi reads it), reporting each word
// the table refuses with ReportRefusedLine. An input that cannot be opened
// adds nothing. False when the input could not be read to its end. Throws
// std::bad_alloc.
bool LoadWordFrequencies(const char* path, const text::FieldLimits& limits,
                         WordFrequencyTable& table);

}  // namespace ulo::assoc

#endif  // ULO_ASSOC_PAIR_READER_H_
