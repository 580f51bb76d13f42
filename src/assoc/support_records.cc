#include "assoc/support_records.h"

#include <new>

#include "assoc/fixed_format.h"
#include "assoc/pair_reader.h"
#include "platform/env.h"
#include "text/pair_line.h"

namespace ulo::assoc {
namespace {

// The record's fixed text, GB2312: <rec>, then the labels base rule,
// associated rule, confidence and support.
constexpr std::string_view kRecordStart = "<rec>\n<\xBB\xF9\xD7\xBC\xB9\xE6\xD4\xF2>=";
constexpr std::string_view kAssociatedLabel = "\n<\xB9\xD8\xC1\xAA\xB9\xE6\xD4\xF2>=";
constexpr std::string_view kConfidenceLabel = "\n<\xD6\xC3\xD0\xC5\xB6\xC8>=";
constexpr std::string_view kSupportLabel = "\n<\xD6\xA7\xB3\xD6\xB6\xC8>=";

// The second pass converts only this many bytes of the count text.
constexpr size_t kConvertedCountBytes = 31;

// Empties the table on every way out of a run.
class ClearOnExit {
 public:
  explicit ClearOnExit(WordFrequencyTable& table) : table(table) {}
  ~ClearOnExit() { table.Clear(); }
  ClearOnExit(const ClearOnExit&) = delete;
  ClearOnExit& operator=(const ClearOnExit&) = delete;

 private:
  WordFrequencyTable& table;
};

bool WriteRecords(PairReader& reader, const WordFrequencyTable& table, text::TextWriter& out) {
  const double total = static_cast<double>(table.total());
  char confidenceText[kFixedTextMax];
  char supportText[kFixedTextMax];
  int32_t lastEntry1 = -1;
  const PairBatch* before = nullptr;
  return RunPipeline<3>(reader, [&](int stage, PairBatch& batch) {
    if (stage == 0) {
      HashWords(batch, before, table);
      before = &batch;
      return;
    }
    if (stage == 1) {
      TouchEntries(batch, table);
      return;
    }
    FindEntries(batch, table, &lastEntry1);
    for (int i = 0; i < batch.size; ++i) {
      if (batch.entry1[i] < 0 || batch.entry2[i] < 0) continue;
      const text::PairFields& fields = batch.fields[i];
      const double count = text::ParseCountReal(fields.rest.substr(0, kConvertedCountBytes));
      const double frequency1 = static_cast<double>(table.entry(batch.entry1[i]).frequency);
      const double frequency2 = static_cast<double>(table.entry(batch.entry2[i]).frequency);
      // Division first, then the scaling, as the figures have always been made.
      const double support = count / total * 100.0;
      const double confidence12 = count / frequency1 * 100.0;
      const double confidence21 = count / frequency2 * 100.0;
      std::string_view supportView(
          supportText, static_cast<size_t>(FormatFixed(support, 6, supportText) - supportText));
      char* end = FormatFixed(confidence12, 6, confidenceText);
      AppendSupportRecord(
          out, fields.word1, fields.word2,
          std::string_view(confidenceText, static_cast<size_t>(end - confidenceText)), supportView);
      end = FormatFixed(confidence21, 6, confidenceText);
      AppendSupportRecord(
          out, fields.word2, fields.word1,
          std::string_view(confidenceText, static_cast<size_t>(end - confidenceText)), supportView);
    }
  });
}

}  // namespace

void AppendSupportRecord(text::TextWriter& out, std::string_view base, std::string_view associated,
                         std::string_view confidence, std::string_view support) {
  out.Append(kRecordStart);
  out.Append(base);
  out.Append(kAssociatedLabel);
  out.Append(associated);
  out.Append(kConfidenceLabel);
  out.Append(confidence);
  out.Append(kSupportLabel);
  out.Append(support);
  out.Append('\n');
}

bool WriteWordSupportRecords(const char* inputPath, const char* outputPath,
                             WordFrequencyTable& table) {
  if (inputPath == nullptr || outputPath == nullptr) return false;
  // Opening the output empties it: never when it is the input itself.
  if (platform::Env::Current()->SameFile(inputPath, outputPath)) return false;

  ClearOnExit clearOnExit(table);
  try {
    table.Reset();
    if (!LoadWordFrequencies(inputPath, text::kSupportLimits, table)) return false;
    // Both files are opened before either is tested, so a missing input
    // still leaves an empty output behind.
    auto reader = PairReader::Open(inputPath, text::kSupportLimits);
    int error = 0;
    auto out = text::TextWriter::Open(outputPath, false, &error);
    if (!reader || !out) return false;
    bool readToEnd = WriteRecords(*reader, table, *out);
    reader.reset();
    bool written = out->Close();
    return readToEnd && written;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool WriteWordSupportRecords(const char* inputPath, const char* outputPath) {
  // Runs share the one table: on several threads they take turns, so that
  // none sees another's words.
  static platform::RecursiveLock sharedTableLock;
  platform::ScopedLock hold(sharedTableLock);
  return WriteWordSupportRecords(inputPath, outputPath, SharedWordFrequencyTable());
}

}  // namespace ulo::assoc
