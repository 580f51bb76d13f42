// The merge's input record reader and its key order against plain versions:
// fields are runs of non-TAB bytes up to a NUL, the count reads as atoi does,
// and records order by word1 and then word2 in unsigned bytes, however the
// prefix shortcut decides.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "merge/merge_record.h"
#include "support/merge_oracle.h"
#include "text/pair_line.h"

namespace ulo::fuzz {
namespace {

struct Fields {
  bool ok = false;
  std::string word1, word2;
  int64_t count = 0;
};

Fields ReferenceParse(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  std::vector<std::string_view> tokens;
  size_t at = 0;
  while (tokens.size() < 3) {
    at = line.find_first_not_of('\t', at);
    if (at == std::string_view::npos) break;
    size_t stop = line.find('\t', at);
    if (stop == std::string_view::npos) stop = line.size();
    tokens.push_back(line.substr(at, stop - at));
    at = stop;
  }
  Fields fields;
  if (tokens.size() < 3) return fields;
  fields.ok = true;
  fields.word1.assign(tokens[0]);
  fields.word2.assign(tokens[1]);
  fields.count = text::ParseCountInteger(tokens[2]);
  return fields;
}

}  // namespace
}  // namespace ulo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ulo::fuzz;
  using ulo::merge::MergeRecord;
  Bytes bytes(data, size);
  std::vector<std::string_view> lines = Split(bytes.Rest(), "\n");
  if (lines.size() > 64) lines.resize(64);

  // Each line from a block of exactly its bytes, so that reading past the
  // line trips AddressSanitizer.
  std::vector<std::unique_ptr<char[]>> blocks;
  // Records point into their own scratch key at times: they stay in place.
  std::vector<MergeRecord> records;
  records.reserve(lines.size());
  std::vector<Fields> expected;
  for (std::string_view line : lines) {
    blocks.emplace_back(new char[line.size()]);
    char* copy = blocks.back().get();
    std::copy(line.begin(), line.end(), copy);
    MergeRecord& record = records.emplace_back();
    bool parsed = ulo::merge::ParseMergeLine(std::string_view(copy, line.size()), &record);
    Fields want = ReferenceParse(line);
    Check(parsed == want.ok, "ParseMergeLine result");
    if (!parsed) {
      records.pop_back();
      continue;
    }
    CheckEqual(record.Word1(), want.word1, "word1");
    CheckEqual(record.Word2(), want.word2, "word2");
    Check(record.count == want.count, "count");
    expected.push_back(std::move(want));
  }
  for (size_t i = 0; i < records.size(); ++i) {
    for (size_t j = 0; j < records.size(); ++j) {
      int want = ulo::oracle::KeyOrder(expected[i].word1, expected[i].word2, expected[j].word1,
                                        expected[j].word2);
      Check(ulo::merge::CompareRecordKeys(records[i], records[j]) == want, "CompareRecordKeys");
      Check(ulo::merge::CompareKeys(records[i].Key(), records[j].Key()) == want, "CompareKeys");
    }
  }
  return 0;
}
