#include "assoc/pair_filter.h"

#include <string>

#include "platform/env.h"
#include "text/field_cut.h"
#include "text/line_reader.h"
#include "text/pair_line.h"
#include "text/text_writer.h"

namespace ulo::assoc {

bool FilterPairs(const char* inputPath, const char* outputPath, int32_t threshold) {
  if (inputPath == nullptr || outputPath == nullptr) return false;
  // Opening the output empties it: never when it is the input itself.
  if (platform::Env::Current()->SameFile(inputPath, outputPath)) return false;

  // Both files are opened before either is tested, so a missing input still
  // leaves an empty output behind.
  int error = 0;
  auto input = text::LineReader::Open(inputPath, &error);
  auto output = text::TextWriter::Open(outputPath, false, &error);
  if (!input || !output) return false;

  bool readFailed = false;
  std::string_view line;
  for (;;) {
    auto status = input->Next(&line, text::kFilterLimits.maxLine);
    if (status == text::LineReader::Status::kEnd) break;
    if (status == text::LineReader::Status::kError) {
      readFailed = true;
      break;
    }
    if (status != text::LineReader::Status::kLine) continue;
    text::PairFields fields;
    if (text::CutPairLine(line, text::kFilterLimits, &fields) != text::CutResult::kCut) continue;
    if (text::ParseCountInteger(fields.rest) < threshold) continue;
    output->Append(fields.rest);
    output->Append('\t');
    output->Append(fields.word1);
    output->Append('\t');
    output->Append(fields.word2);
    output->Append('\n');
  }
  input.reset();
  bool written = output->Close();
  return written && !readFailed;
}

}  // namespace ulo::assoc
