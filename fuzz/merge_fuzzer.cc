// The merge on fuzzed input files, in memory, with a small fan-in so that
// several passes run: every pair must come out with the sum of its counts,
// sorted inputs must give a sorted output with each pair once, and the work
// directory must be gone. A second mode feeds a fuzzed list file to one pass.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "merge/file_merger.h"
#include "support/merge_oracle.h"
#include "text/line_reader.h"
#include "text/pair_line.h"

namespace ulo::fuzz {
namespace {

using oracle::MergeLine;

bool Before(const MergeLine& a, const MergeLine& b) {
  return oracle::KeyOrder(a.word1, a.word2, b.word1, b.word2) < 0;
}

void CheckMergeOfFiles(uint8_t settings, std::string_view rest) {
  std::vector<std::string_view> pieces = Split(rest, "\xFE\xFF");
  if (pieces.size() > 40) pieces.resize(40);
  MemoryEnv env;
  env.AddDirectory("/m");
  env.AddDirectory("/m/src");
  env.AddDirectory("/m/src/sub");
  const bool nested = (settings & 8) != 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    std::string name = (nested && i % 2 ? "/m/src/sub/f" : "/m/src/f") + std::to_string(i);
    env.AddFile(name, pieces[i]);
  }
  merge::FileMerger merger(2 + (settings & 3));
  int32_t result;
  {
    platform::ScopedEnvOverride use(&env);
    result = merger.MergeFiles("/m/src", "/m/out.txt");
  }
  Check(result == merge::kMergeOk, "merge result");
  Check(!env.IsDirectory("/m/merge_temp"), "work directory left behind");
  std::string log;
  Check(!env.Contents("/m/out.txt_err.log", &log), "error log written");
  std::string out;
  Check(env.Contents("/m/out.txt", &out), "no output");
  if (pieces.size() == 1) {
    CheckEqual(out, pieces[0], "single file copied byte for byte");
    return;
  }

  // Every output line is a pair-count line.
  std::vector<MergeLine> merged;
  for (std::string_view line : Split(out, "\n")) {
    if (line.empty()) continue;
    std::vector<std::string_view> fields = Split(line, "\t");
    Check(fields.size() == 3 && !fields[0].empty() && !fields[1].empty(), "output line shape");
    Check(line.find('\0') == std::string_view::npos, "NUL in an output line");
    merged.push_back(
        {std::string(fields[0]), std::string(fields[1]), text::ParseCountInteger(fields[2])});
    CheckEqual(fields[2], std::to_string(merged.back().count), "count text");
  }
  Check(out.empty() || out.back() == '\n', "last line end");

  // Sums per pair, where no sum can reach the ends of the range.
  bool small = true;
  bool sorted = true;
  std::map<std::pair<std::string, std::string>, int64_t> expected, actual;
  for (std::string_view piece : pieces) {
    std::vector<MergeLine> records = oracle::MergeLines(std::string(piece));
    for (size_t i = 0; i < records.size(); ++i) {
      const MergeLine& record = records[i];
      small = small && record.count > -(int64_t{1} << 50) && record.count < (int64_t{1} << 50);
      sorted = sorted && (i == 0 || Before(records[i - 1], record));
      expected[{record.word1, record.word2}] += small ? record.count : 0;
    }
  }
  for (const MergeLine& record : merged)
    actual[{record.word1, record.word2}] += small ? record.count : 0;
  Check(expected.size() == actual.size(), "pairs lost or made up");
  if (small) Check(expected == actual, "summed counts");
  if (sorted) {
    // Sorted inputs: each pair once, in order.
    for (size_t i = 1; i < merged.size(); ++i)
      Check(Before(merged[i - 1], merged[i]), "output order");
  }
}

void CheckPassOverList(uint8_t settings, std::string_view list) {
  MemoryEnv env;
  env.AddDirectory("/m");
  env.AddDirectory("/m/in");
  env.AddDirectory("/m/work");
  env.AddFile("/m/in/a", "x\ty\t1\n");
  env.AddFile("/m/in/b", "x\ty\t2\nx\tz\t1\n");
  env.AddFile("/m/in/c", "");
  env.AddFile("/m/work/filename.tmp", list);
  const int fanIn = 2 + (settings & 3);
  const bool lastPass = (settings & 16) != 0;
  merge::FileMerger merger(fanIn);
  int32_t result;
  {
    platform::ScopedEnvOverride use(&env);
    result =
        merger.MergePass("/m/work/filename.tmp", "/m/work/namefile_0.tmp", "/m/out.txt", lastPass);
  }
  // The listed paths: lines without their line end, blank ones skipped.
  std::vector<std::string> paths;
  text::LineReader reader(std::make_unique<MemoryFile>(std::string(list), SIZE_MAX), 64);
  std::string_view line;
  while (reader.Next(&line) == text::LineReader::Status::kLine) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty()) paths.emplace_back(line);
  }
  bool allThere = true;
  for (const std::string& path : paths) {
    std::string ignored;
    allThere = allThere && env.Contents(path, &ignored);
  }
  if (!allThere) {
    Check(result == merge::kInputNotReadable, "missing input not reported");
    return;
  }
  Check(result == merge::kMergeOk, "pass result");
  if (lastPass) return;
  std::string next;
  Check(env.Contents("/m/work/namefile_0.tmp", &next), "next list");
  size_t groups = paths.empty() ? 1 : (paths.size() + static_cast<size_t>(fanIn) - 1) / fanIn;
  Check(Split(next, "\n").size() == groups, "one next-list line per group");
}

}  // namespace
}  // namespace ulo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ulo::fuzz::Bytes bytes(data, size);
  const uint8_t settings = bytes.Byte();
  if (settings & 4) {
    ulo::fuzz::CheckPassOverList(settings, bytes.Rest());
  } else {
    ulo::fuzz::CheckMergeOfFiles(settings, bytes.Rest());
  }
  return 0;
}
