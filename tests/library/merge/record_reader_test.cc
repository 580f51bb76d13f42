#include "merge/record_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "merge/file_merger.h"
#include "merge/merge_record.h"
#include "support/memory_file.h"
#include "support/merge_oracle.h"
#include "support/test_support.h"
#include "text/pair_line.h"

namespace ulo::merge {
namespace {

using ulo::testing::MakeDirectory;
using ulo::testing::ReadTextFile;
using ulo::testing::TempDir;
using ulo::testing::WriteFile;

using ChunkedFile = ulo::testing::MemoryFile;

struct Seen {
  std::string key;
  size_t word1Length;
  int64_t count;
  bool operator==(const Seen& o) const {
    return key == o.key && word1Length == o.word1Length && count == o.count;
  }
};

// The records as the merge read them before: LineReader, then ParseMergeLine.
std::vector<Seen> ReferenceRecords(const std::string& bytes) {
  std::vector<Seen> out;
  for (const oracle::MergeLine& line : oracle::MergeLines(bytes))
    out.push_back({line.word1 + "\t" + line.word2, line.word1.size(), line.count});
  return out;
}

std::string Formatted(const MergeRecord& record) {
  char digits[24];
  char* end = text::FormatDecimal(record.count, digits);
  return std::string(record.Key()) + "\t" + std::string(digits, end) + "\n";
}

// Every record, checking on the way that a verbatim record's line is what
// formatting it would write and that its prefix matches its key.
std::vector<Seen> ReaderRecords(const std::string& bytes, size_t chunk, size_t block,
                                RecordReader::Status* last = nullptr) {
  RecordReader reader(std::make_unique<ChunkedFile>(bytes, chunk), block);
  std::vector<Seen> out;
  MergeRecord record;
  RecordReader::Status status;
  while ((status = reader.Next(&record)) == RecordReader::Status::kRecord) {
    if (record.lineLength != 0) {
      EXPECT_EQ(std::string(record.key, record.lineLength), Formatted(record));
    }
    MergeRecord copy;
    copy.key = record.key;
    copy.keyLength = record.keyLength;
    copy.word1Length = record.word1Length;
    SetKeyPrefix(&copy);
    EXPECT_EQ(copy.prefix[0], record.prefix[0]);
    EXPECT_EQ(copy.prefix[1], record.prefix[1]);
    out.push_back({std::string(record.Key()), record.word1Length, record.count});
  }
  if (last != nullptr) *last = status;
  return out;
}

const char* const kAwkwardLines[] = {
    "a\tb\t1\n",
    "\xB0\xA1\t\xB0\xA2\t12345\n",
    "a\tb\t007\n",  // leading zeros: read as 7, written anew
    "a\tb\t0\n",
    "a\tb\t+5\n",  // sign
    "a\tb\t-5\n",
    "a\tb\t 5\n",                       // blank before the digits
    "a\tb\t12345678901234567890123\n",  // beyond 64 bits: pinned
    "a\tb\t123456789012345678\n",       // 18 digits
    "a\tb\t1234567890123456789\n",      // 19 digits
    "a\tb\t5x\n",
    "a\tb\t5\tmore\n",  // a fourth field
    "a\t\tb\t\t5\n",    // runs of TABs
    "\ta\tb\t5\n",      // a leading TAB
    "a\tb\t5\r\n",      // CR LF
    "a\rb\tc\t5\n",     // CR inside a word
    "a\tb\t5\r\r\n",
    "a\0b\tc\t5\n",  // a NUL ends the line for the parser
    "a\tb\0\t5\n",
    "a\tb\n",  // two fields: skipped
    "\n",
    "\r\n",
    "a\tb\t\n",
    "abcdefghijklmnop\tqrstuvwxyzABCDEF\t99\n",  // beyond one 32-byte load
    "abcdefghijklmno\tp\t3\n",                   // a key of exactly 16 bytes
    "abcdefghijklmnopqrstuvwxyz0123456789\tx\t4\n",
};

TEST(RecordReaderTest, ReadsEveryLineAsLineReaderAndTheParserDo) {
  // Each line after a usual one, so that they fall at every offset of the
  // reader's blocks; the literals with a NUL are added whole below.
  std::string bytes;
  for (const char* line : kAwkwardLines)
    bytes += std::string("x\ty\t1\n") + line;
  bytes += std::string("a\0b\tc\t5\n", 8) + std::string("a\tb\0\t5\n", 7);
  bytes += "last\tline\t8";  // no LF at the end
  std::vector<Seen> want = ReferenceRecords(bytes);
  ASSERT_GT(want.size(), 20u);
  for (size_t chunk : {size_t{1}, size_t{3}, size_t{7}, size_t{64}, SIZE_MAX}) {
    for (size_t block : {size_t{64}, size_t{100}, size_t{1} << 16}) {
      SCOPED_TRACE("chunk " + std::to_string(chunk) + " block " + std::to_string(block));
      EXPECT_EQ(ReaderRecords(bytes, chunk, block), want);
    }
  }
}

TEST(RecordReaderTest, ReadErrorEndsTheRecordsAfterTheCompleteOnes) {
  std::string bytes = "a\tb\t1\nc\td\t2\ne\tf\t3\n";
  RecordReader reader(std::make_unique<ChunkedFile>(bytes, 4, 14), 64);
  MergeRecord record;
  std::vector<std::string> keys;
  RecordReader::Status status;
  while ((status = reader.Next(&record)) == RecordReader::Status::kRecord)
    keys.emplace_back(record.Key());
  EXPECT_EQ(status, RecordReader::Status::kError);
  EXPECT_EQ(keys, (std::vector<std::string>{"a\tb", "c\td"}));
  EXPECT_EQ(reader.Next(&record), RecordReader::Status::kError);
}

// The merged file as summing every input record per key, in key order, and
// writing each key once gives it.
std::string ReferenceMerge(const std::vector<std::string>& files) {
  struct Less {
    bool operator()(const std::string& a, const std::string& b) const {
      return CompareKeys(a, b) < 0;
    }
  };
  std::map<std::string, std::pair<size_t, int64_t>, Less> sums;
  for (const std::string& bytes : files) {
    for (const Seen& r : ReferenceRecords(bytes)) {
      auto& entry = sums.emplace(r.key, std::make_pair(r.word1Length, int64_t{0})).first->second;
      entry.second = AddCounts(entry.second, r.count);
    }
  }
  std::string out;
  for (const auto& [key, value] : sums) {
    char digits[24];
    out += key + "\t" + std::string(digits, text::FormatDecimal(value.second, digits)) + "\n";
  }
  return out;
}

TEST(RecordReaderTest, MergeCopiesSoleLinesAndWritesSumsAnew) {
  TempDir dir;
  std::string long1(300 << 10, 'k');  // beyond the output's buffer
  std::vector<std::string> files = {
      "a\tb\t1\na\tb\t2\nabcdefghijklmnop\tq\t5\nb\tc\t007\nc\td\t9\n" + long1 + "\tz\t1\n",
      "a\tb\t3\nabcdefghijklmnop\tr\t6\nb\tc\t1\nc\td\t+4\ncc\td\t1\n" + long1 + "\tz\t2\n",
      "a\t\tb\t10\nabcdefghijklmno\tp\t1\nb\tc\t5\r\nd\te\t123456789012345678\nd\te\t1\n",
      "abcdefghijklmnop\tq\t1\nx\ty\t12345678901234567890\ny\tz\t-3",
  };
  std::string source = dir.path() + "/in";
  MakeDirectory(source);
  for (size_t i = 0; i < files.size(); ++i)
    WriteFile(source + "/f" + std::to_string(i), files[i]);
  for (int fanIn : {2, 20}) {
    FileMerger merger(fanIn);
    std::string out = dir.path() + "/out" + std::to_string(fanIn) + ".txt";
    ASSERT_EQ(merger.MergeFiles(source.c_str(), out.c_str()), 0);
    EXPECT_EQ(ReadTextFile(out), ReferenceMerge(files)) << "fan-in " << fanIn;
  }
}

}  // namespace
}  // namespace ulo::merge
