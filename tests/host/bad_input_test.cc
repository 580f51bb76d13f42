// Bad input to the ulo tool: each case one clear line on standard error,
// exit code 1, and nothing left under the output's final name (an output
// that existed before keeps its bytes).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "run_ulo.h"
#include "small_disk.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

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
  // Cut UTF-8 ("月" without its last byte), read as UTF-8.
  Write("utf8.txt", "\xE6\x9C\x88\xE6\x98\x8E\n\xE6\x9C\n");
  EXPECT_TRUE(
      Contains(Fails("count {utf8.txt} --work {w3} --chars --from UTF-8", "line 2").err, "UTF-8"));
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
  Write("wide.txt", std::string(2 << 20, 'y') + "\tz\t1\n");
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

}  // namespace
}  // namespace ulo::testing
