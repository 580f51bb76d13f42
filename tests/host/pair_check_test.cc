// Files that are not the pair-count files they claim to be: the check names
// the line and what is wrong, and every command that reads one refuses it
// before the library sees it (the library would take it and give wrong
// numbers: a sign summed, "5x" read as 5, a pair on two lines).
#include "engine/files/pair_check.h"
#include "engine/files/seal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "run_ulo.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

using ulo::engine::kMergedPairs;
using ulo::engine::PairFileProblem;

struct BadPairs {
  const char* what;
  std::string bytes;
  const char* message;  // what follows "PATH is not a pair-count file: "
};

// `lines` good lines, more than the first look at a file takes in, then
// one with a NUL byte.
std::string LinesThenNul(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "w%06d\tb\t1\n", i);
    text += line;
  }
  return text + std::string("x\tb\t1\0\n", 7);
}

// The table the documentation lists, message for message.
const std::vector<BadPairs>& Cases() {
  static const std::vector<BadPairs> cases = {
      {"out of order", "b\ta\t1\na\tb\t1\n",
       "line 2: the pair 'a b' comes after 'b a': the lines are not in byte order"},
      {"a pair twice", "a\tb\t1\na\tb\t2\n",
       "line 2: the pair 'a b' again (on line 1 too): each pair stands once"},
      {"negative count", "a\tb\t-7\nb\ta\t5\n", "line 1: the count '-7' is not digits only"},
      {"letters after the digits", "a\tb\t5x\n", "line 1: the count '5x' is not digits only"},
      {"a blank before the count", "a\tb\t 3\n", "line 1: the count ' 3' is not digits only"},
      {"a plus sign", "a\tb\t1\na\tc\t+4\n", "line 2: the count '+4' is not digits only"},
      {"a field too many", "a\tb\t1\t2\n", "line 1: the count '1\\t2' is not digits only"},
      {"a count beyond 64 bits", "a\tb\t9223372036854775808\n",
       "line 1: the count 9223372036854775808 is beyond 64 bits"},
      {"no count", "a\tb\t1\nb\tc\t\n", "line 2: no count after the second TAB"},
      {"an empty word", "\tb\t1\n", "line 1: the first word is empty"},
      {"one field", "a\tb\t1\nheader\n", "line 2: one field where word TAB word TAB count"},
      {"two fields", "a\tb\n", "line 1: two fields where word TAB word TAB count"},
      {"a NUL byte past the first look", LinesThenNul(7000),
       "line 7001: a NUL byte (binary data, not text)"},
  };
  return cases;
}

using PairCheckTest = UloCommandTest;

// Each malformed file of the table, the readers' tests below show.
TEST_F(PairCheckTest, WellFormedFilesPassAndAFlawIsFoundAcrossReadBlocks) {
  std::string path = dir.Path("bad.txt");
  // What the library writes passes: CR LF line ends, a last line without
  // its end, leading zeros, the largest 64-bit count, words of any bytes.
  Write("bad.txt", "a\tb\t1\r\na\tbc\t007\nab\ta\t9223372036854775807\n\xD4\xC2\t\xC3\xF7\t2");
  EXPECT_EQ(PairFileProblem(path, kMergedPairs), "");
  // Across the read blocks (1 MiB): a pair again right around the first
  // block's end is found, and a long good file passes.
  std::string lines = LinesThenNul(100000);
  lines.resize(lines.size() - 7);
  Write("bad.txt", lines);
  EXPECT_EQ(PairFileProblem(path, kMergedPairs), "");
  for (int line = 87377; line < 87385; ++line) {
    std::string doubled = lines;
    size_t at = static_cast<size_t>(line) * 12;  // each line "wNNNNNN\tb\t1\n"
    Write("bad.txt", doubled.insert(at, doubled.substr(at, 12)));
    EXPECT_TRUE(Contains(
        PairFileProblem(path, kMergedPairs),
        "line " + std::to_string(line + 2) + ": the pair 'w0" + std::to_string(line) + " b' again"))
        << line;
  }
  // Order and uniqueness are needs of their own: the shape alone passes.
  Write("bad.txt", "b\ta\t1\na\tb\t1\na\tb\t1\n");
  EXPECT_EQ(PairFileProblem(path, {}), "");
  EXPECT_NE(PairFileProblem(path, {true, false}), "");
}

TEST_F(PairCheckTest, EveryReaderAndTheMergeRefuseABadFileUnlessTrusted) {
  // The commands that read a pair-count file.
  const std::string readers[] = {
      "filter {tree/bad.txt} {out.txt} 1",   "support {tree/bad.txt} {out.txt}",
      "topn {tree/bad.txt} {out.txt} 2",     "rank {tree/bad.txt} {out.txt}",
      "show {tree/bad.txt} a --measure llr", "graph {tree/bad.txt} a --out {g.svg}"};
  MakeDirectory(dir.Path("tree"));
  Write("tree/good.txt", "a\tb\t1\n");
  size_t turn = 0;
  for (const BadPairs& bad : Cases()) {
    SCOPED_TRACE(bad.what);
    Write("tree/bad.txt", bad.bytes);
    // Each case through one reader in turn, and through the merge.
    for (const std::string& command :
         {readers[turn++ % std::size(readers)], std::string("merge {tree} {merged.txt}")}) {
      UloResult result = Run(command);
      EXPECT_EQ(result.exitCode, 1) << command;
      EXPECT_TRUE(Contains(result.err,
                           dir.Path("tree/bad.txt") + " is not a pair-count file: " + bad.message))
          << command << ": " << result.err;
    }
    EXPECT_FALSE(Exists("out.txt"));
    EXPECT_FALSE(Exists("merged.txt"));
  }
  // --trust-input hands the file to the library as it is.
  Write("tree/bad.txt", "a\tb\t-7\n");
  RunOk("--trust-input filter {tree/bad.txt} {out.txt} 1");
  // The frequency sidecar a trusting show made vouches for no checked run.
  Write("tree/bad.txt", "b\ta\t5\na\tb\t5\n");
  Run("--trust-input show {tree/bad.txt} a --min-count 1");
  ASSERT_TRUE(Exists("tree/bad.txt.freq"));
  EXPECT_TRUE(Contains(Run("show {tree/bad.txt} a").err, "is not a pair-count file"));
}

TEST_F(PairCheckTest, ACountSealsItsSpillFilesAndAChangeBreaksTheSeal) {
  Write("corpus.txt", "a b c\nb c a\n");
  RunOk("count {corpus.txt} --work {run} --window 2 --no-default-stopwords");
  const std::string spill = dir.Path("run/part-1/temp1.txt");
  if (!engine::Sealed(spill)) GTEST_SKIP() << "this file system keeps no extended attributes";
  EXPECT_EQ(PairFileProblem(spill, kMergedPairs), "");
  // The same size, one count turned into a letter: read line by line again.
  std::string bytes = ReadFile(spill);
  bytes[bytes.size() - 2] = 'x';
  WriteFile(spill, bytes);
  EXPECT_FALSE(engine::Sealed(spill));
  Fails("merge {run} {merged.txt}", "is not a pair-count file");
}

}  // namespace
}  // namespace ulo::testing
