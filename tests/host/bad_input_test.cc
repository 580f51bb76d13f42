// Bad input to the ulo tool: each case one clear line on standard error,
// exit code 1, and nothing left under the output's final name (an output
// that existed before keeps its bytes). A file that is not the pair-count
// file it claims to be is refused with its line and what is wrong before
// the library sees it (which would give wrong numbers: a sign summed, "5x"
// read as 5, a pair on two lines); checked slice by slice, as a merge in key
// ranges checks it, it fails exactly when the whole file's check does.
#include "engine/files/pair_check.h"
#include "engine/files/seal.h"
#include "engine/merge/slice_feed.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "run_ulo.h"
#include "small_disk.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

using namespace engine;

class BadInputTest : public UloCommandTest {
 protected:
  // Every command that turns a pair-count file into another file, with IN
  // and OUT filled in, refuses with `mentions`.
  void ExpectPairCommandsRefuse(const std::string& in, const std::string& out,
                                const std::string& mentions) {
    for (const std::string& command :
         {"filter " + in + " " + out + " 1", "support " + in + " " + out,
          "topn " + in + " " + out + " 2", "rank " + in + " " + out,
          "export " + in + " " + out + " --format csv"})
      Fails(command, mentions);
  }

  // A pair-count file that every command takes; a tree of two.
  void WriteGoodInputs() {
    Write("pairs.txt", "a\tb\t3\na\tc\t1\nb\ta\t3\n");
    MakeDirectory(dir.Path("m"));
    Write("m/one.txt", "a\tb\t1\n");
    Write("m/two.txt", "a\tb\t2\n");
  }
};

TEST_F(BadInputTest, BinaryEmptyAndDirectoryInputsAreRefused) {
  Write("bin", std::string("\x7F"
                           "ELF\x02\x01\x01\0\0\0a\tb\t1\n",
                           16));
  Write("empty.txt", "");
  MakeDirectory(dir.Path("adir"));
  for (auto [name, mentions] :
       {std::pair{"bin", "is binary"}, {"empty.txt", "is empty"}, {"adir", "is a directory"}}) {
    std::string in = std::string("{") + name + "}";
    ExpectPairCommandsRefuse(in, "{out.txt}", mentions);
    Fails("count " + in + " --work {w}", mentions);
    if (std::string(name) != "adir") Fails("show " + in + " a", mentions);
  }
  // A NUL further into a corpus than the first look goes is found by the
  // line that holds it.
  Write("late.txt", std::string(100000, 'a') + "\n" + std::string("b\0c\n", 4));
  Fails("count {late.txt} --work {w2}", "line 2");
  // A FIFO nobody writes to: the operations that read their input twice
  // refuse it at once rather than hang.
  ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0) << std::strerror(errno);
  ExpectPairCommandsRefuse("{fifo}", "{out.txt}", "not a regular file");
  // A merge source that is a file.
  WriteGoodInputs();
  Fails("merge {pairs.txt} {out.txt}", "pairs.txt");
  EXPECT_FALSE(Exists("out.txt"));
}

TEST_F(BadInputTest, InvalidEncodingsAreRefusedWithTheirLine) {
  // 0xFF is no GB18030 (nor GB2312, nor GBK) byte; a lead byte at the
  // line's end has no trail.
  Write("gb.txt", "\xD4\xC2 \xC3\xF7\nok \xFF\n");
  EXPECT_TRUE(Contains(Fails("count {gb.txt} --work {w}", "line 2").err, "0xFF"));
  Write("cut.txt", "\xD4\xC2 \xC3\n");
  Fails("count {cut.txt} --work {w2}", "starts no GB18030 character");
  // GB18030's four-byte shape beyond what it maps (here beyond U+FFFF's
  // codes): counted, the words would be refused by every later command.
  Write("unmapped.txt", "ab \x84\x31\xA5\x30\n");
  Fails("count {unmapped.txt} --work {w6}", "byte 0x84 at column 4 starts no GB18030");
  // Cut UTF-8 ("月" without its last byte), read as UTF-8.
  Write("utf8.txt", "\xE6\x9C\x88\xE6\x98\x8E\n\xE6\x9C\n");
  EXPECT_TRUE(
      Contains(Fails("count {utf8.txt} --work {w3} --chars --from UTF-8", "line 2").err, "UTF-8"));
  // U+E78D, private use, is a character iconv's GB18030 lacks: cut out, the
  // word would be another.
  Write("pua.txt", "ab\xEE\x9E\x8D cd\n");
  Fails("count {pua.txt} --work {w5} --from UTF-8", "line 1: a character that");
  // A stop-word file is read as the corpus is: its bytes dropped, "ab\xFF"
  // would stop the word "ab".
  Write("sw.txt", "cd\nab\xFF\n");
  Write("c.txt", "ab cd ef\n");
  for (const char* from : {" --from UTF-8", ""}) {
    Fails(std::string("count {c.txt} --work {w4} --stopwords {sw.txt}") + from,
          "cannot read the stop-word file " + dir.Path("sw.txt") + ": line 2: " +
              (*from ? "not valid UTF-8" : "byte 0xFF at column 3 starts no GB18030"));
  }
}

TEST_F(BadInputTest, LinesOfMegabytes) {
  Write("long.txt", "a b\n" + std::string(3 << 20, 'x') + "\nc d\n");
  Fails("count {long.txt} --work {w}", "line 2: a line longer than 1 MiB");
  Write("wide.txt", std::string(5 << 20, 'y') + "\tz\t1\n");
  ExpectPairCommandsRefuse("{wide.txt}", "{out.txt}", "not a pair-count file");
  EXPECT_FALSE(Exists("out.txt"));
}

TEST_F(BadInputTest, UnwritableOutputs) {
  WriteGoodInputs();
  MakeDirectory(dir.Path("outdir"));
  ASSERT_EQ(::mkfifo(dir.Path("outfifo").c_str(), 0600), 0) << std::strerror(errno);
  ExpectPairCommandsRefuse("{pairs.txt}", "{outdir}", "is a directory");
  ExpectPairCommandsRefuse("{pairs.txt}", "{nodir/out.txt}", "does not exist");
  ExpectPairCommandsRefuse("{pairs.txt}", "{outfifo}", "not a regular file");
  Fails("merge {m} {outdir}", "is a directory");
  Fails("merge {m} {nodir/out.txt}", "does not exist");
  EXPECT_EQ(Leftover(dir.path()), "");
}

TEST_F(BadInputTest, AFullDiskFailsEveryOutputAndKeepsTheOldOne) {
  if (!RunningAsRoot()) GTEST_SKIP() << "mounting a small file system takes root";
  SmallDisk disk(dir.Path("small"));
  if (!disk.mounted) GTEST_SKIP() << disk.reason;
  // About 400 KB of pairs (in byte order), far beyond the 64 KiB disk.
  std::string pairs, corpus;
  for (int i = 10000; i < 30000; ++i) {
    pairs += "w" + std::to_string(i) + "\tv" + std::to_string(i % 97) + "\t7\n";
    corpus += "w" + std::to_string(i) + " v" + std::to_string(i % 97) + "\n";
  }
  Write("pairs.txt", pairs);
  Write("corpus.txt", corpus);
  Write("small/out.txt", "old\n");
  // Each message names the file and the cause the system gave.
  std::string full = "cannot write " + dir.Path("small/out.txt") + ": no space left on device";
  ExpectPairCommandsRefuse("{pairs.txt}", "{small/out.txt}", full);
  EXPECT_EQ(Read("small/out.txt"), "old\n");
  MakeDirectory(dir.Path("m"));
  Write("m/one.txt", pairs);
  Write("m/two.txt", pairs);
  Fails("merge {m} {small/out.txt} --jobs 1", full);
  // In key ranges, the ranges' outputs beside it fill the disk first.
  Fails("merge {m} {small/out.txt} --jobs 2", ": no space left on device");
  Fails("count {corpus.txt} --work {small/w} --jobs 1", "cannot write a spill file in " +
                                                            dir.Path("small/w.ulo-partial/part-1") +
                                                            ": no space left on device");
  EXPECT_FALSE(Exists("small/w"));
  EXPECT_EQ(Read("small/out.txt"), "old\n");
  EXPECT_EQ(Leftover(dir.Path("small")), "");
}

TEST_F(BadInputTest, FinishedOutputsReplaceTheOldOnesAndLeaveNoPartialFile) {
  WriteGoodInputs();
  Write("out.txt", "old\n");
  RunOk("filter {pairs.txt} {out.txt} 3");
  EXPECT_EQ(Read("out.txt"), "3\ta\tb\n3\tb\ta\n");
  RunOk("merge {m} {merged.txt}");
  EXPECT_EQ(Read("merged.txt"), "a\tb\t3\n");
  EXPECT_FALSE(Exists("merged.txt_err.log"));
  EXPECT_EQ(Leftover(dir.path()), "");
}

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
  // A parts directory stands for one file: a part out of order is refused
  // by every reader alike.
  MakeDirectory(dir.Path("good"));
  Write("good/a.txt", "a\tb\t1\nb\ta\t1\n");
  RunOk("merge {good} {parts} --parts --jobs 1");
  Write("parts/part-00000.txt", "b\ta\t1\na\tb\t1\n");
  for (const char* command : {"rank {parts} {out.txt}", "export {parts} {out.csv}",
                              "filter {parts} {out.txt} 1", "show {parts} a"}) {
    EXPECT_TRUE(Contains(Run(command).err, "part-00000.txt is not a pair-count file")) << command;
  }
  RunOk("--trust-input rank {parts} {out.txt}");
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
  if (!Sealed(spill)) GTEST_SKIP() << "this file system keeps no extended attributes";
  EXPECT_EQ(PairFileProblem(spill, kMergedPairs), "");
  // The same size, one count turned into a letter: read line by line again.
  std::string bytes = ReadFile(spill);
  bytes[bytes.size() - 2] = 'x';
  WriteFile(spill, bytes);
  EXPECT_FALSE(Sealed(spill));
  Fails("merge {run} {merged.txt}", "is not a pair-count file");
}

struct Flaw {
  const char* name;
  const char* line;  // put in place of a line of the sorted file
};

TEST(SliceCheck, EveryCutFindsTheFlawsOfTheWholeFile) {
  const std::vector<std::string> sorted = {"a\tx\t1", "b\tx\t2", "b\ty\t3", "c\tx\t4",
                                           "d\tx\t5", "d\ty\t6", "e\tx\t7"};
  const Flaw flaws[] = {{"none", nullptr},     {"order", "a\tw\t1"},
                        {"repeat", "b\tx\t9"}, {"count", "c\tz\t1x"},
                        {"one field", "c\tz"}, {"CR LF kept sorted", "c\tx\t4\r"}};
  for (const Flaw& flaw : flaws) {
    SCOPED_TRACE(flaw.name);
    for (size_t at = 0; at < sorted.size(); ++at) {
      SCOPED_TRACE(at);
      std::string file;
      std::vector<size_t> starts;
      for (size_t i = 0; i < sorted.size(); ++i) {
        starts.push_back(file.size());
        file += (flaw.line != nullptr && i == at ? flaw.line : sorted[i]) + std::string("\n");
      }
      bool whole = !PairLinesProblem({}, file, kMergedPairs).empty();
      // Two cuts at any line starts: three slices, empty ones included.
      starts.push_back(file.size());
      for (size_t first : starts) {
        for (size_t second : starts) {
          if (second < first) continue;
          bool found = false;
          for (auto [begin, end] : {std::pair{size_t{0}, first}, std::pair{first, second},
                                    std::pair{second, file.size()}}) {
            found = found || !SliceProblem({file, begin, end, true, {}}).empty();
          }
          EXPECT_EQ(found, whole) << "cut at bytes " << first << " and " << second;
        }
      }
    }
  }
}

// The check takes a short line of a block in one piece; taken one line at a
// time, on its own, every line is taken apart byte by byte. Both must find
// the same first flaw, word for word, in files of short lines sorted by
// bytes on both sides of the tab (0x01 and 0xFF in words, words that extend
// others, lines of up to 40 bytes) with one line spoilt.
TEST(SliceCheck, BlocksOfShortLinesFindWhatLinesOneByOneFind) {
  const std::string bytes = std::string("a\x01\xFF", 3);
  const std::string spoilers = std::string("\t\0\r\n/:09a\x80\xFF", 12);
  std::mt19937 random(7);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  auto word = [&] {
    // Some words share a long stem, so that lines differ past their 16th byte.
    std::string text(pick(3) == 0 ? 8 : 0, 'a');
    for (size_t n = 1 + pick(3); n > 0; --n)
      text += bytes[pick(bytes.size())];
    return text;
  };
  for (PairNeeds needs : {kMergedPairs, PairNeeds{true, false}, PairNeeds{}}) {
    for (int round = 0; round < 500; ++round) {
      std::vector<std::pair<std::string, std::string>> pairs(2 + pick(30));
      for (auto& pair : pairs)
        pair = {word(), word()};
      std::sort(pairs.begin(), pairs.end());
      std::vector<std::string> lines;
      for (const auto& [word1, word2] : pairs)
        lines.push_back(word1 + "\t" + word2 + "\t" + std::to_string(pick(1000)));
      size_t at = pick(lines.size());
      std::string& spoilt = lines[at];
      switch (pick(6)) {
        case 0:
          spoilt[pick(spoilt.size())] = spoilers[pick(spoilers.size())];
          break;
        case 1:
          spoilt.insert(pick(spoilt.size() + 1), 1, spoilers[pick(spoilers.size())]);
          break;
        case 2:
          spoilt.erase(pick(spoilt.size()), 1);
          break;
        case 3:
          std::swap(spoilt, lines[pick(lines.size())]);
          break;
        case 4:
          std::swap(spoilt, lines[at + 1 < lines.size() ? at + 1 : 0]);
          break;
        default:
          spoilt += std::string(pick(24), '7');  // long lines and long counts
      }
      std::string file, expected;
      for (size_t i = 0; i < lines.size(); ++i)
        file += lines[i] + "\n";
      // Line by line, each without its end: none is taken in one piece.
      std::vector<std::string> pieces;
      for (size_t from = 0, end; from < file.size(); from = end + 1) {
        end = file.find('\n', from);
        pieces.push_back(file.substr(from, end - from));
      }
      for (size_t i = 0; i < pieces.size() && expected.empty(); ++i) {
        // (An empty line is a line only with its end.)
        std::string line = pieces[i].empty() ? "\n" : pieces[i];
        std::string problem = PairLinesProblem(i == 0 ? "" : pieces[i - 1], line, needs);
        if (problem.empty()) continue;
        expected = "line " + std::to_string(i + 1) + problem.substr(problem.find(':'));
        // A pair again names its first line, counted from the file's start.
        size_t again = expected.find("(on line 1 too)");
        if (again != std::string::npos) expected.replace(again + 9, 1, std::to_string(i));
      }
      EXPECT_EQ(PairLinesProblem({}, file, needs), expected) << ::testing::PrintToString(file);
    }
  }
}

// A slice taken straight from its file, which has shrunk since it was cut:
// the merge reading its pipe gets the lines that are left, and the feed must
// fail the range rather than let those stand for the whole slice.
TEST(SliceFeed, AFileShorterThanItsSliceFailsTheRange) {
  TempDir dir;
  const std::string lines = "a\tx\t1\nb\tx\t2\n", path = dir.Path("input");
  WriteFile(path, lines.substr(0, 6));
  SliceFeed feed;
  ASSERT_TRUE(feed.Start(dir.path(), {{lines, 0, lines.size(), false, path}}));
  EXPECT_EQ(ReadFile(dir.Path(SliceName(0))), "a\tx\t1\n");
  EXPECT_EQ(feed.Finish(), "slice 0 of " + path + ": the file ended at byte 6, inside the slice");
}

}  // namespace
}  // namespace ulo::testing
