// The ulo host tool run as people and scripts run it: as a subprocess.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using ulo::testing::ReadFile;
using ulo::testing::TempDir;
using ulo::testing::WriteFile;

struct Result {
  int exitCode;
  std::string out;
  std::string err;
};

class UloTest : public ::testing::Test {
 protected:
  Result Run(const std::string& arguments) {
    std::string command = std::string(ULO_TOOL_PATH) + " --quiet " + arguments + " >" +
                          dir.Path("stdout") + " 2>" + dir.Path("stderr");
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir.Path("stdout")),
            ReadFile(dir.Path("stderr"))};
  }

  // A failure is one line on standard error and a non-zero exit.
  void ExpectOneLineFailure(const Result& result, const std::string& mentions) {
    EXPECT_NE(result.exitCode, 0);
    ASSERT_FALSE(result.err.empty());
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_NE(result.err.find(mentions), std::string::npos) << result.err;
  }

  std::string Quote(const std::string& path) { return "'" + path + "'"; }

  TempDir dir;
};

TEST_F(UloTest, VersionAndHelp) {
  Result version = Run("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("ulo ", 0), 0u);
  for (const char* command :
       {"count", "merge", "filter", "support", "topn", "run", "show", "demo"}) {
    Result help = Run(std::string(command) + " --help");
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_NE(help.out.find(std::string("usage: ulo ") + command), std::string::npos) << command;
  }
}

TEST_F(UloTest, BadArgumentsGiveOneClearLine) {
  ExpectOneLineFailure(Run("frobnicate"), "unknown command 'frobnicate'");
  ExpectOneLineFailure(
      Run("count " + Quote(dir.Path("missing.txt")) + " --work " + Quote(dir.Path("w"))),
      dir.Path("missing.txt"));
  WriteFile(dir.Path("c.txt"), "a b\n");
  ExpectOneLineFailure(
      Run("count " + Quote(dir.Path("c.txt")) + " --work " + Quote(dir.Path("w")) + " --window 0"),
      "--window");
  ExpectOneLineFailure(Run("count " + Quote(dir.Path("c.txt"))), "--work");
  ExpectOneLineFailure(Run("filter a b notanumber"), "THRESHOLD");
  ExpectOneLineFailure(Run("topn a b 0"), "N must be at least 1");
  ExpectOneLineFailure(Run("merge onlyone"), "expected 2 arguments");
  ExpectOneLineFailure(Run("--library " + Quote(dir.Path("nolib.so")) + " merge a b"),
                       "cannot load the library");
}

TEST_F(UloTest, FailuresNameTheOperationAndPath) {
  ExpectOneLineFailure(
      Run("filter " + Quote(dir.Path("missing.txt")) + " " + Quote(dir.Path("out.txt")) + " 1"),
      "filter: filtering " + dir.Path("missing.txt"));
  ExpectOneLineFailure(
      Run("--direct merge " + Quote(dir.Path("nodir")) + " " + Quote(dir.Path("out.txt"))),
      "code -8");
  ExpectOneLineFailure(Run("merge " + Quote(dir.Path("nodir")) + " " + Quote(dir.Path("out.txt"))),
                       "-4353");
  ExpectOneLineFailure(
      Run("topn " + Quote(dir.Path("missing.txt")) + " " + Quote(dir.Path("out.txt")) + " 3"),
      "topn: ranking");
}

TEST_F(UloTest, CountWritesSortedSpillFiles) {
  WriteFile(dir.Path("c.txt"), "b a c\nb a\n");
  Result result = Run("count " + Quote(dir.Path("c.txt")) + " --work " + Quote(dir.Path("w")) +
                      " --window 1 --jobs 1");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  // Pairs (b,a), (a,c), (b,a), each counted in both directions.
  EXPECT_EQ(ReadFile(dir.Path("w/part-1/temp1.txt")), "a\tb\t2\na\tc\t1\nb\ta\t2\nc\ta\t1\n");
  EXPECT_NE(result.out.find("pairs fed          3"), std::string::npos) << result.out;

  // One way, wider window.
  Result oneWay = Run("count " + Quote(dir.Path("c.txt")) + " --work " + Quote(dir.Path("w2")) +
                      " --window 2 --one-way --jobs 1");
  ASSERT_EQ(oneWay.exitCode, 0) << oneWay.err;
  EXPECT_EQ(ReadFile(dir.Path("w2/part-1/temp1.txt")), "a\tc\t1\nb\ta\t2\nb\tc\t1\n");

  // A work directory holding other files would feed them to the merge.
  ExpectOneLineFailure(Run("count " + Quote(dir.Path("c.txt")) + " --work " + Quote(dir.path())),
                       "is not empty");
}

TEST_F(UloTest, CharactersFromUtf8WithUnrepresentableOnesCounted) {
  // "月明。月光" plus a character outside GB2312 (U+1F600) and ASCII noise.
  WriteFile(dir.Path("c.txt"),
            "\xE6\x9C\x88\xE6\x98\x8E\xE3\x80\x82x\xF0\x9F\x98\x80\xE6\x9C\x88\xE5\x85\x89\n");
  Result result = Run("count " + Quote(dir.Path("c.txt")) + " --work " + Quote(dir.Path("w")) +
                      " --chars --from UTF-8 --window 1 --one-way --jobs 1");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  // GB2312: month D4 C2, bright C3 F7, light B9 E2.
  EXPECT_EQ(ReadFile(dir.Path("w/part-1/temp1.txt")),
            "\xC3\xF7\t\xD4\xC2\t1\n\xD4\xC2\t\xB9\xE2\t1\n\xD4\xC2\t\xC3\xF7\t1\n");
  EXPECT_NE(result.out.find("skipped characters 1 without a GB2312 form, 0 invalid bytes"),
            std::string::npos)
      << result.out;
}

TEST_F(UloTest, RunProducesEveryOutputAndShowReadsIt) {
  WriteFile(dir.Path("c.txt"), "a b\na b\na d\n");
  Result result = Run("run " + Quote(dir.Path("c.txt")) + " --out " + Quote(dir.Path("out")) +
                      " --window 1 --one-way --threshold 2 --top 2 --jobs 1");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadFile(dir.Path("out/pairs.txt")), "a\tb\t2\na\td\t1\n");
  EXPECT_EQ(ReadFile(dir.Path("out/frequent.txt")), "2\ta\tb\n");
  // Frequencies a 3, b 2, d 1; total 6.
  EXPECT_EQ(ReadFile(dir.Path("out/topn.txt")),
            "a\tb\t66.67\t33.33\na\td\t33.33\t16.67\nb\ta\t100.00\t33.33\nd\ta\t100.00\t16.67\n");
  std::string support = ReadFile(dir.Path("out/support.txt"));
  EXPECT_EQ(support.rfind("<rec>\n<\xBB\xF9\xD7\xBC\xB9\xE6\xD4\xF2>=a\n", 0), 0u) << support;
  for (const char* line : {"distinct pairs     2", "spill files        1", "merge", "topn.txt"}) {
    EXPECT_NE(result.out.find(line), std::string::npos) << line << "\n" << result.out;
  }

  Result show = Run("show " + Quote(dir.Path("out/topn.txt")) + " a");
  ASSERT_EQ(show.exitCode, 0) << show.err;
  EXPECT_NE(show.out.find("66.67%"), std::string::npos) << show.out;
  Result missing = Run("show " + Quote(dir.Path("out/topn.txt")) + " zzz");
  ExpectOneLineFailure(missing, "'zzz' has no associations");
}

TEST_F(UloTest, SingleOperations) {
  WriteFile(dir.Path("pairs.txt"), "x\ty\t4\n");
  ASSERT_EQ(Run("filter " + Quote(dir.Path("pairs.txt")) + " " + Quote(dir.Path("f.txt")) + " 4")
                .exitCode,
            0);
  EXPECT_EQ(ReadFile(dir.Path("f.txt")), "4\tx\ty\n");
  ASSERT_EQ(
      Run("topn " + Quote(dir.Path("pairs.txt")) + " " + Quote(dir.Path("t.txt")) + " 1").exitCode,
      0);
  EXPECT_EQ(ReadFile(dir.Path("t.txt")), "x\ty\t100.00\t50.00\ny\tx\t100.00\t50.00\n");
  ASSERT_EQ(
      Run("support " + Quote(dir.Path("pairs.txt")) + " " + Quote(dir.Path("s.txt"))).exitCode, 0);
  EXPECT_NE(ReadFile(dir.Path("s.txt")).find("=100.000000\n"), std::string::npos);

  ulo::testing::MakeDirectory(dir.Path("m/sub"));
  WriteFile(dir.Path("m/one.txt"), "a\tb\t1\n");
  WriteFile(dir.Path("m/sub/two.txt"), "a\tb\t2\nc\td\t1\n");
  ASSERT_EQ(Run("merge " + Quote(dir.Path("m")) + " " + Quote(dir.Path("merged.txt"))).exitCode, 0);
  EXPECT_EQ(ReadFile(dir.Path("merged.txt")), "a\tb\t3\nc\td\t1\n");
}

}  // namespace
