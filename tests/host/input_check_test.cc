// The host's own checks of its inputs and its staged outputs.
#include "engine/files/checks.h"

#include <gtest/gtest.h>

#include <string>

#include "contains.h"
#include "test_support.h"

namespace ulo::testing {
namespace {

using namespace engine;

TEST(CorpusLineTest, TakesGbkTextAndRefusesBrokenDoubleBytes) {
  // GB2312, GBK beyond it (trail bytes from 0x40), ASCII and blanks.
  EXPECT_EQ(CorpusLineProblem("\xD4\xC2\xC3\xF7 \x81\x40 abc\t\r\n", true), "");
  EXPECT_TRUE(Contains(CorpusLineProblem("ab\x80xy\n", true), "0x80 at column 3"));
  EXPECT_NE(CorpusLineProblem("\xD4\x7F\n", true), "");
  EXPECT_NE(CorpusLineProblem("\xD4\x30\n", true), "");
  EXPECT_TRUE(Contains(CorpusLineProblem("abc\xD4", true), "column 4"));
  // Without the encoding check (text converted by --from) only the shape
  // counts.
  EXPECT_EQ(CorpusLineProblem("ab\x80xy\n", false), "");
  EXPECT_TRUE(Contains(CorpusLineProblem(std::string("a\0b\n", 4), false), "NUL"));
}

TEST(CorpusLineTest, LongestLineIsTakenOneByteMoreIsNot) {
  EXPECT_EQ(CorpusLineProblem(std::string(kMaxCorpusLine, 'a'), true), "");
  EXPECT_NE(CorpusLineProblem(std::string(kMaxCorpusLine + 1, 'a'), true), "");
}

TEST(ContentProblemTest, PairCountFileShapes) {
  TempDir dir;
  // A NUL just past the first look is not seen by it; one inside is.
  WriteFile(dir.Path("late.txt"), std::string(kSniffBytes, '\n') + std::string(1, '\0'));
  EXPECT_EQ(ContentProblem(dir.Path("late.txt"), InputKind::kPairCount), "");
  WriteFile(dir.Path("nul.txt"), std::string(kSniffBytes - 1, '\n') + std::string(1, '\0'));
  EXPECT_TRUE(Contains(ContentProblem(dir.Path("nul.txt"), InputKind::kPairCount), "offset 65535"));
  // A corpus read through --from may hold NULs (UTF-16): not looked for.
  EXPECT_EQ(ContentProblem(dir.Path("nul.txt"), InputKind::kCorpus, false), "");
  // A short file without a line end is no problem (its one line is read);
  // 64 KiB without one is no pair-count file, but may be a corpus.
  WriteFile(dir.Path("short.txt"), "a\tb\t1");
  EXPECT_EQ(ContentProblem(dir.Path("short.txt"), InputKind::kPairCount), "");
  WriteFile(dir.Path("wide.txt"), std::string(kSniffBytes, 'x'));
  EXPECT_NE(ContentProblem(dir.Path("wide.txt"), InputKind::kPairCount), "");
  EXPECT_EQ(ContentProblem(dir.Path("wide.txt"), InputKind::kCorpus), "");
}

TEST(StagedOutputTest, AppearsOnlyOnCommitAndLeavesNothingOtherwise) {
  TempDir dir;
  std::string target = dir.Path("out.txt");
  WriteFile(target, "old");
  {
    StagedOutput output(target);
    EXPECT_NE(output.path(), target);
    EXPECT_EQ(output.path().rfind(target, 0), 0u) << "beside the final name";
    WriteFile(output.path(), "half");
  }
  EXPECT_EQ(ReadFile(target), "old");
  std::string staged;
  {
    StagedOutput output(target);
    staged = output.path();
    WriteFile(output.path(), "new");
    std::string error;
    ASSERT_TRUE(output.Commit(&error)) << error;
  }
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_FALSE(FileExists(staged));

  StagedOutput nowhere(dir.Path("no/never.txt"));
  std::string error;
  EXPECT_FALSE(nowhere.Commit(&error));
  EXPECT_TRUE(Contains(error, "never.txt"));
}

TEST(StagedOutputTest, StaleStagingEntriesGoButOnesALiveWriterHoldsStay) {
  TempDir dir;
  // What killed commands left: an output, its merge log, a count's
  // directory; and a file that only looks alike.
  const char* stale[] = {"a.txt.ulo-partial-0badf00d", "a.txt.ulo-partial-0badf00d_err.log",
                         "b.txt.ulo-partial-12345678_err.log", "w.ulo-partial/part-1/temp1.txt"};
  for (const char* name : stale) {
    std::string path = dir.Path(name);
    MakeDirectory(path.substr(0, path.rfind('/')));
    WriteFile(path, "a\tb\t1\n");
  }
  WriteFile(dir.Path("c.txt.ulo-partial-nothex00"), "mine");
  EXPECT_EQ(FindLeftover(dir.path()).find(dir.path()), 0u);
  {
    StagedOutput live(dir.Path("d.txt"));  // holds its lock while it lives
    // A file taken as the output takes the lock with it.
    StagedOutput taking(dir.Path("f.txt"));
    WriteFile(dir.Path("range.txt"), "taken");
    std::string error;
    ASSERT_TRUE(taking.TakeFile(dir.Path("range.txt"), &error)) << error;
    StagedOutput sweeping(dir.Path("e.txt"));
    for (const char* name : stale)
      EXPECT_FALSE(FileExists(dir.Path(name))) << name;
    EXPECT_FALSE(FileExists(dir.Path("w.ulo-partial")));
    EXPECT_TRUE(FileExists(live.path()));
    EXPECT_TRUE(FileExists(dir.Path("c.txt.ulo-partial-nothex00")));
    EXPECT_TRUE(Contains(FindLeftover(dir.path()), ".txt.ulo-partial-"));
    ASSERT_TRUE(taking.Commit(&error)) << error;
    EXPECT_EQ(ReadFile(dir.Path("f.txt")), "taken");
    EXPECT_FALSE(FileExists(dir.Path("range.txt")));
  }
  EXPECT_EQ(FindLeftover(dir.path()), "");
  MakeDirectory(dir.Path("sub/merge_temp"));
  EXPECT_EQ(FindLeftover(dir.path()), dir.Path("sub/merge_temp"));
}

}  // namespace
}  // namespace ulo::testing
