#include "assoc/pair_reader.h"

#include <cstdio>
#include <cstring>

#include "text/pair_line.h"

namespace ulo::assoc {

std::unique_ptr<PairReader> PairReader::Open(const char* path, const text::FieldLimits& limits) {
  int error = 0;
  auto lines = text::LineReader::Open(path, &error);
  if (!lines) return nullptr;
  return std::make_unique<PairReader>(std::move(lines), limits);
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
  text::PairFields fields;
  std::string_view line;
  int32_t lastSlot = -1;  // word1's slot on the line before
  while (reader->Next(&fields, &line)) {
    const int64_t count = text::ParseCountInteger(fields.rest);
    // Merged files are sorted by word1, so it mostly repeats from the line
    // before; a stored word never leaves its slot.
    if (lastSlot >= 0 && table.WordAt(lastSlot) == fields.word1) {
      table.AddAt(lastSlot, count);
    } else if (!table.AddWord(fields.word1, count, &lastSlot)) {
      ReportRefusedLine(line);
    }
    if (!table.AddWord(fields.word2, count)) ReportRefusedLine(line);
  }
  return !reader->readFailed();
}

}  // namespace ulo::assoc
