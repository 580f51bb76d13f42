#include "assoc/pair_reader.h"

#include <cstdio>
#include <cstring>

#include "text/pair_line.h"

namespace ulo::assoc {

std::unique_ptr<PairReader> PairReader::Open(const char* path, const text::FieldLimits& limits) {
  auto lines = PairScanner::Open(path, limits);
  if (!lines) return nullptr;
  return std::make_unique<PairReader>(std::move(lines), limits);
}

bool PairReader::NextBatch(PairBatch* batch) {
  readAhead += batch->touched;  // what the stages read ahead is used here
  batch->touched = 0;
  batch->size = 0;
  const size_t room = static_cast<size_t>(PairBatch::kCapacity) * (limits.maxLine + 1);
  if (batch->bytes.size() < room) batch->bytes.resize(room);
  char* copy = batch->bytes.data();
  text::PairFields fields;
  std::string_view line;
  while (!done && batch->size < PairBatch::kCapacity) {
    if (!lines->Next(&fields, &line)) {
      done = true;
      break;
    }
    // The scanner's views last only until its next line: keep copies.
    std::memcpy(copy, line.data(), line.size());
    const int i = batch->size++;
    batch->lines[i] = std::string_view(copy, line.size());
    auto moved = [&](std::string_view field) {
      return std::string_view(copy + (field.data() - line.data()), field.size());
    };
    batch->fields[i] =
        text::PairFields{moved(fields.word1), moved(fields.word2), moved(fields.rest)};
    copy += line.size();
  }
  return batch->size > 0;
}

void HashWords(PairBatch& batch, const PairBatch* before, const WordFrequencyTable& table) {
  for (int i = 0; i < batch.size; ++i) {
    const text::PairFields& fields = batch.fields[i];
    if (i > 0) {
      batch.repeats[i] = fields.word1 == batch.fields[i - 1].word1;
    } else {
      batch.repeats[i] =
          before != nullptr && fields.word1 == before->fields[before->size - 1].word1;
    }
    if (!batch.repeats[i]) {
      batch.hash1[i] = WordHashValue(fields.word1);
      table.PrefetchSlot(batch.hash1[i]);
    }
    batch.hash2[i] = WordHashValue(fields.word2);
    table.PrefetchSlot(batch.hash2[i]);
  }
}

void TouchEntries(PairBatch& batch, const WordFrequencyTable& table) {
  uint32_t touched = 0;
  for (int i = 0; i < batch.size; ++i) {
    if (!batch.repeats[i]) touched += table.TouchEntry(batch.hash1[i]);
    touched += table.TouchEntry(batch.hash2[i]);
  }
  batch.touched += touched;
}

void FindEntries(PairBatch& batch, const WordFrequencyTable& table, int32_t* lastEntry1) {
  for (int i = 0; i < batch.size; ++i) {
    const text::PairFields& fields = batch.fields[i];
    // The table does not change while looking up: a repeated word1 has the
    // entry, or the absence, of the line before.
    if (!batch.repeats[i]) *lastEntry1 = table.FindHashed(fields.word1, batch.hash1[i]);
    batch.entry1[i] = *lastEntry1;
    batch.entry2[i] = table.FindHashed(fields.word2, batch.hash2[i]);
  }
}

void ReportRefusedLine(std::string_view line) {
  if (const void* nul = std::memchr(line.data(), '\0', line.size())) {
    line = line.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - line.data()));
  }
  std::fputs("wrong at ", stdout);
  std::fwrite(line.data(), 1, line.size(), stdout);
}

bool LoadWordFrequencies(const char* path, const text::FieldLimits& limits,
                         WordFrequencyTable& table) {
  auto reader = PairReader::Open(path, limits);
  if (!reader) return true;  // nothing to load; the second pass cannot open it either
  int32_t lastEntry1 = -1;   // word1's entry on the line before, -1 if refused
  const PairBatch* before = nullptr;
  return RunPipeline<3>(*reader, [&](int stage, PairBatch& batch) {
    if (stage == 0) {
      HashWords(batch, before, table);
      before = &batch;
    } else if (stage == 1) {
      TouchEntries(batch, table);
    } else {
      for (int i = 0; i < batch.size; ++i) {
        const text::PairFields& fields = batch.fields[i];
        const int64_t count = text::ParseCountInteger(fields.rest);
        if (batch.repeats[i] && lastEntry1 >= 0) {
          table.AddToEntry(lastEntry1, count);  // stored on the line before
        } else {
          // A word refused on the line before is looked for again (and
          // refused again: slots only ever fill up).
          uint32_t hash1 = batch.repeats[i] ? WordHashValue(fields.word1) : batch.hash1[i];
          if (!table.AddHashed(fields.word1, hash1, count, &lastEntry1)) {
            ReportRefusedLine(batch.lines[i]);
          }
        }
        int32_t entry2;
        if (!table.AddHashed(fields.word2, batch.hash2[i], count, &entry2)) {
          ReportRefusedLine(batch.lines[i]);
        }
      }
    }
  });
}

}  // namespace ulo::assoc
