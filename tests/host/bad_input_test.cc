// Bad input to the ulo tool: each case one clear line on standard error,
// exit code 1, and nothing left under the output's final name (an output
// that existed before keeps its bytes).
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "run_ulo.h"
#include "small_disk.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

namespace fs = std::filesystem;

using Result = UloResult;

class BadInputTest : public ::testing::Test {
 protected:
  Result Run(const std::string& arguments) {
    return ulo::testing::RunUloCommandLine(dir, arguments, "/dev/null");
  }

  // Exit 1 and one line on standard error that mentions `mentions`.
  void ExpectRefused(const std::string& arguments, const std::string& mentions) {
    SCOPED_TRACE(arguments);
    Result result = Run(arguments);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    ASSERT_FALSE(result.err.empty());
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_NE(result.err.find(mentions), std::string::npos) << result.err;
  }

  // No file of `directory` is a partial output.
  void ExpectNoPartialFiles(const std::string& directory) {
    std::error_code code;
    for (const auto& entry : fs::recursive_directory_iterator(directory, code)) {
      EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos)
          << entry.path();
    }
  }

  std::string Q(const std::string& name) { return "'" + dir.Path(name) + "'"; }

  // A pair-count file and a corpus that every command takes.
  void WriteGoodInputs() {
    WriteFile(dir.Path("pairs.txt"), "a\tb\t3\na\tc\t1\nb\ta\t3\n");
    WriteFile(dir.Path("corpus.txt"), "a b c\nb a\n");
  }

  TempDir dir;
};

// The commands that turn a pair-count file into another file, with IN and
// OUT filled in.
std::vector<std::string> PairCommands(const std::string& in, const std::string& out) {
  return {"filter " + in + " " + out + " 1", "support " + in + " " + out,
          "topn " + in + " " + out + " 2", "rank " + in + " " + out,
          "export " + in + " " + out + " --format csv"};
}

TEST_F(BadInputTest, BinaryFilesAreRefused) {
  std::string binary(
      "\x7F"
      "ELF\x02\x01\x01\0\0\0a\tb\t1\n",
      16);
  WriteFile(dir.Path("bin"), binary);
  for (const std::string& command : PairCommands(Q("bin"), Q("out.txt"))) {
    ExpectRefused(command, "is binary");
  }
  ExpectRefused("count " + Q("bin") + " --work " + Q("w"), "is binary");
  ExpectRefused("show " + Q("bin") + " a", "is binary");
  EXPECT_FALSE(FileExists(dir.Path("out.txt")));
  // A NUL further into a corpus than the first look goes is found by the
  // line that holds it.
  WriteFile(dir.Path("late.txt"), std::string(100000, 'a') + "\n" + std::string("b\0c\n", 4));
  ExpectRefused("count " + Q("late.txt") + " --work " + Q("w2"), "line 2");
}

TEST_F(BadInputTest, InvalidEncodingsAreRefusedWithTheirLine) {
  // 0xFF is no GB18030 (nor GB2312, nor GBK) byte; a lead byte at the
  // line's end has no trail.
  WriteFile(dir.Path("gb.txt"), "\xD4\xC2 \xC3\xF7\nok \xFF\n");
  ExpectRefused("count " + Q("gb.txt") + " --work " + Q("w"), "line 2");
  ExpectRefused("count " + Q("gb.txt") + " --work " + Q("w1"), "0xFF");
  WriteFile(dir.Path("cut.txt"), "\xD4\xC2 \xC3\n");
  ExpectRefused("count " + Q("cut.txt") + " --work " + Q("w2"), "starts no GB18030 character");
  // Cut UTF-8 ("月" without its last byte), read as UTF-8.
  WriteFile(dir.Path("utf8.txt"), "\xE6\x9C\x88\xE6\x98\x8E\n\xE6\x9C\n");
  ExpectRefused("count " + Q("utf8.txt") + " --work " + Q("w3") + " --chars --from UTF-8",
                "line 2");
  ExpectRefused("count " + Q("utf8.txt") + " --work " + Q("w4") + " --chars --from UTF-8", "UTF-8");
  // Valid UTF-8 beyond GB2312 is counted whole.
  WriteFile(dir.Path("emoji.txt"), "\xE6\x9C\x88\xF0\x9F\x98\x80\xE6\x98\x8E\n");
  EXPECT_EQ(
      Run("count " + Q("emoji.txt") + " --work " + Q("w5") + " --chars --from UTF-8").exitCode, 0);
}

TEST_F(BadInputTest, LinesOfMegabytes) {
  WriteFile(dir.Path("long.txt"), "a b\n" + std::string(3 << 20, 'x') + "\nc d\n");
  ExpectRefused("count " + Q("long.txt") + " --work " + Q("w"), "longer than 1 MiB");
  ExpectRefused("run " + Q("long.txt") + " --out " + Q("r"), "line 2");
  WriteFile(dir.Path("wide.txt"), std::string(2 << 20, 'y') + "\tz\t1\n");
  for (const std::string& command : PairCommands(Q("wide.txt"), Q("out.txt"))) {
    ExpectRefused(command, "not a pair-count file");
  }
  EXPECT_FALSE(FileExists(dir.Path("out.txt")));
}

TEST_F(BadInputTest, EmptyFiles) {
  WriteFile(dir.Path("empty.txt"), "");
  for (const std::string& command : PairCommands(Q("empty.txt"), Q("out.txt"))) {
    ExpectRefused(command, "is empty");
  }
  ExpectRefused("count " + Q("empty.txt") + " --work " + Q("w"), "is empty");
  ExpectRefused("show " + Q("empty.txt") + " a", "is empty");
  EXPECT_FALSE(FileExists(dir.Path("out.txt")));
}

TEST_F(BadInputTest, DirectoryOrFifoWhereAFileIsExpected) {
  MakeDirectory(dir.Path("adir"));
  for (const std::string& command : PairCommands(Q("adir"), Q("out.txt"))) {
    ExpectRefused(command, "is a directory");
  }
  ExpectRefused("count " + Q("adir") + " --work " + Q("w"), "is a directory");
  // A FIFO nobody writes to: the operations that read their input twice
  // refuse it at once rather than hang.
  ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0) << std::strerror(errno);
  for (const std::string& command : PairCommands(Q("fifo"), Q("out.txt"))) {
    ExpectRefused(command, "not a regular file");
  }
  // A merge source that is a file.
  WriteGoodInputs();
  ExpectRefused("merge " + Q("pairs.txt") + " " + Q("out.txt"), "pairs.txt");
  EXPECT_FALSE(FileExists(dir.Path("out.txt")));
}

TEST_F(BadInputTest, UnwritableOutputs) {
  WriteGoodInputs();
  MakeDirectory(dir.Path("outdir"));
  ASSERT_EQ(::mkfifo(dir.Path("outfifo").c_str(), 0600), 0) << std::strerror(errno);
  for (const std::string& command : PairCommands(Q("pairs.txt"), Q("outdir"))) {
    ExpectRefused(command, "is a directory");
  }
  for (const std::string& command : PairCommands(Q("pairs.txt"), Q("nodir/out.txt"))) {
    ExpectRefused(command, "does not exist");
  }
  for (const std::string& command : PairCommands(Q("pairs.txt"), Q("outfifo"))) {
    ExpectRefused(command, "not a regular file");
  }
  MakeDirectory(dir.Path("m"));
  WriteFile(dir.Path("m/one.txt"), "a\tb\t1\n");
  WriteFile(dir.Path("m/two.txt"), "a\tb\t2\n");
  ExpectRefused("merge " + Q("m") + " " + Q("outdir"), "is a directory");
  ExpectRefused("merge " + Q("m") + " " + Q("nodir/out.txt"), "does not exist");
  ExpectNoPartialFiles(dir.path());
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
  WriteFile(dir.Path("pairs.txt"), pairs);
  WriteFile(dir.Path("corpus.txt"), corpus);
  WriteFile(dir.Path("small/out.txt"), "old\n");
  // Each message names the file and the cause the system gave.
  std::string full = "cannot write " + dir.Path("small/out.txt") + ": no space left on device";
  for (const std::string& command : PairCommands(Q("pairs.txt"), Q("small/out.txt"))) {
    ExpectRefused(command, full);
    EXPECT_EQ(ReadFile(dir.Path("small/out.txt")), "old\n");
  }
  MakeDirectory(dir.Path("m"));
  WriteFile(dir.Path("m/one.txt"), pairs);
  WriteFile(dir.Path("m/two.txt"), pairs);
  ExpectRefused("merge " + Q("m") + " " + Q("small/out.txt") + " --jobs 1", full);
  // In key ranges, the slices beside the output fill the disk first.
  ExpectRefused("merge " + Q("m") + " " + Q("small/out.txt") + " --jobs 2",
                ": no space left on device");
  ExpectRefused("count " + Q("corpus.txt") + " --work " + Q("small/w") + " --jobs 1",
                "cannot write a spill file in " + dir.Path("small/w.ulo-partial/part-1") +
                    ": no space left on device");
  EXPECT_FALSE(FileExists(dir.Path("small/w")));
  EXPECT_EQ(ReadFile(dir.Path("small/out.txt")), "old\n");
  ExpectNoPartialFiles(dir.Path("small"));
}

TEST_F(BadInputTest, FinishedOutputsReplaceTheOldOnesAndLeaveNoPartialFile) {
  WriteGoodInputs();
  WriteFile(dir.Path("out.txt"), "old\n");
  ASSERT_EQ(Run("filter " + Q("pairs.txt") + " " + Q("out.txt") + " 3").exitCode, 0);
  EXPECT_EQ(ReadFile(dir.Path("out.txt")), "3\ta\tb\n3\tb\ta\n");
  MakeDirectory(dir.Path("m"));
  WriteFile(dir.Path("m/one.txt"), "a\tb\t1\n");
  WriteFile(dir.Path("m/two.txt"), "a\tb\t2\n");
  ASSERT_EQ(Run("merge " + Q("m") + " " + Q("merged.txt")).exitCode, 0);
  EXPECT_EQ(ReadFile(dir.Path("merged.txt")), "a\tb\t3\n");
  EXPECT_FALSE(FileExists(dir.Path("merged.txt_err.log")));
  ASSERT_EQ(Run("run " + Q("corpus.txt") + " --out " + Q("r") + " --threshold 1 --support --topn")
                .exitCode,
            0);
  for (const char* name :
       {"r/pairs.txt", "r/ranked.txt", "r/frequent.txt", "r/support.txt", "r/topn.txt"}) {
    EXPECT_TRUE(FileExists(dir.Path(name))) << name;
  }
  ExpectNoPartialFiles(dir.path());
}

}  // namespace
}  // namespace ulo::testing
