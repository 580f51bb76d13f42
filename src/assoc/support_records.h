// Support records: for every pair of a pair-count file the two rules
// word1 -> word2 and word2 -> word1, each with its confidence and support in
// percent, as labelled GB2312 records.
#ifndef ULO_ASSOC_SUPPORT_RECORDS_H_
#define ULO_ASSOC_SUPPORT_RECORDS_H_

#include <string_view>

#include "assoc/word_frequency_table.h"
#include "text/text_writer.h"

namespace ulo::assoc {

// Reads `inputPath` twice: the first pass loads every word's frequency and
// the total into the process-wide table, the second writes the records to
// `outputPath`. The table is empty again when this returns. False for a null
// path, an output naming the input file (the input stays untouched), a file
// that cannot be opened or read, or output that cannot be fully written.
// Runs on several threads take turns on the table, one after another.
bool WriteWordSupportRecords(const char* inputPath, const char* outputPath);

// The same with the words loaded into `table` (which ends up cleared).
bool WriteWordSupportRecords(const char* inputPath, const char* outputPath,
                             WordFrequencyTable& table);

// Appends one record: "<rec>", the base and associated words and the two
// numbers as "%f" writes them, each on a labelled line.
void AppendSupportRecord(text::TextWriter& out, std::string_view base, std::string_view associated,
                         std::string_view confidence, std::string_view support);

}  // namespace ulo::assoc

#endif  // ULO_ASSOC_SUPPORT_RECORDS_H_
