// `kill -9` of ulo count, merge and run at random moments: what a crash
// leaves is never taken for a result, and the same command run again gives
// exactly the result of an undisturbed run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host_run_ulo.h"
#include "test_support.h"

namespace {

using ulo::testing::FileExists;
using ulo::testing::ReadFile;
using ulo::testing::RunUlo;
using ulo::testing::TempDir;
using ulo::testing::UloResult;
using ulo::testing::WriteFile;
using Clock = std::chrono::steady_clock;

class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Workers orphaned by the kill become this process's children, so that
    // the test can tell when the last of them is gone.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    WriteCorpus(12000);
  }

  void WriteCorpus(int lines) {
    std::mt19937 words(3);
    std::string text;
    for (int line = 0; line < lines; ++line) {
      int length = 4 + static_cast<int>(words() % 12);
      for (int t = 0; t < length; ++t) {
        unsigned rank = words() % 3000;
        text += (t ? " " : "") + std::string("k") + std::to_string(rank * rank / 3000);
      }
      text += "\n";
    }
    corpus = dir.Path("corpus.txt");
    WriteFile(corpus, text);
  }

  // Runs `args` undisturbed and says how long it took.
  double Timed(const std::vector<std::string>& args) {
    auto start = Clock::now();
    UloResult result = RunUlo(dir, args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  // Starts `args`, kills it with SIGKILL after a random part of `seconds`
  // (or lets it finish), and waits until it and every worker it started
  // are gone.
  void KillSomewhere(const std::vector<std::string>& args, double seconds) {
    pid_t pid = ulo::testing::StartUlo(args, dir.Path("killed.out"), dir.Path("killed.err"));
    std::uniform_real_distribution<double> when(0, seconds * 1.2);
    std::this_thread::sleep_for(std::chrono::duration<double>(when(random)));
    kill(pid, SIGKILL);
    ulo::testing::WaitExit(pid);
    auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
      int status;
      pid_t child = waitpid(-1, &status, WNOHANG);
      if (child < 0) break;  // no child left
      if (child == 0) {
        ASSERT_LT(Clock::now(), deadline) << "a worker outlived the killed ulo";
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
  }

  void ExpectAbsentOrEqual(const std::string& path, const std::string& expected,
                           const std::string& what) {
    if (FileExists(path)) {
      EXPECT_TRUE(ReadFile(path) == expected) << what << ": " << path;
    }
  }

  TempDir dir;
  std::string corpus;
  std::mt19937 random{std::random_device{}()};
};

TEST_F(CrashTest, CountKilledAnywhereLeavesNoPartResultAndCountsAgainExactly) {
  std::string work = dir.Path("w");
  std::string merged = dir.Path("merged.txt");
  std::vector<std::string> base = {"count", corpus, "--work", work, "--window", "3", "--jobs"};
  auto args = [&](const char* jobs) {
    std::vector<std::string> all = base;
    all.push_back(jobs);
    return all;
  };
  double seconds = Timed(args("2"));
  ASSERT_EQ(RunUlo(dir, {"merge", work, merged}).exitCode, 0);
  std::string expected = ReadFile(merged);
  ulo::testing::RemoveAll(work);

  for (int round = 0; round < 12; ++round) {
    const char* jobs = round % 2 ? "2" : "1";
    if (round % 4 < 2) ulo::testing::RemoveAll(work);  // else an earlier result is there
    KillSomewhere(args(jobs), seconds);
    if (FileExists(work)) {
      // Whatever stands under the final name is a whole result.
      ulo::testing::RemoveAll(merged);
      ASSERT_EQ(RunUlo(dir, {"merge", work, merged}).exitCode, 0);
      EXPECT_TRUE(ReadFile(merged) == expected)
          << "round " << round << ": a part result in " << work;
    }
    UloResult again = RunUlo(dir, args(jobs));
    ASSERT_EQ(again.exitCode, 0) << "round " << round << ": " << again.err;
    EXPECT_FALSE(FileExists(work + ".partial")) << "round " << round;
    ulo::testing::RemoveAll(merged);
    ASSERT_EQ(RunUlo(dir, {"merge", work, merged}).exitCode, 0);
    EXPECT_TRUE(ReadFile(merged) == expected) << "round " << round;
  }
}

TEST_F(CrashTest, MergeKilledAnywhereLeavesNoPartOutputAndMergesAgainExactly) {
  std::string work = dir.Path("runs/w");
  std::string out = dir.Path("pairs.txt");
  ASSERT_EQ(RunUlo(dir, {"count", corpus, "--work", work, "--window", "3", "--jobs", "3"}).exitCode,
            0);
  double seconds = Timed({"merge", work, out});
  std::string expected = ReadFile(out);
  for (int round = 0; round < 8; ++round) {
    if (round % 2 == 0) ulo::testing::RemoveAll(out);
    KillSomewhere({"merge", work, out}, seconds);
    ExpectAbsentOrEqual(out, expected, "round " + std::to_string(round));
    UloResult again = RunUlo(dir, {"merge", work, out});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(ReadFile(out) == expected) << "round " << round;
    EXPECT_FALSE(FileExists(out + ".partial"));
    EXPECT_FALSE(FileExists(dir.Path("runs/merge_temp")));
  }
}

TEST_F(CrashTest, RunKilledAnywhereRunsAgainToTheUndisturbedResult) {
  WriteCorpus(4000);  // the statistics take longer than the count
  std::string out = dir.Path("out");
  std::vector<std::string> files = {"pairs.txt", "frequent.txt", "support.txt", "topn.txt"};
  auto args = [&](const char* jobs) {
    return std::vector<std::string>{"run", corpus,        "--out", out,      "--window",
                                    "3",   "--threshold", "3",     "--jobs", jobs};
  };
  double seconds = Timed(args("2"));
  std::vector<std::string> expected;
  for (const std::string& file : files)
    expected.push_back(ReadFile(out + "/" + file));
  ulo::testing::RemoveAll(out);

  for (int round = 0; round < 10; ++round) {
    const char* jobs = round % 2 ? "2" : "1";
    if (round % 4 < 2) ulo::testing::RemoveAll(out);
    KillSomewhere(args(jobs), seconds);
    ExpectAbsentOrEqual(out + "/pairs.txt", expected[0], "round " + std::to_string(round));
    UloResult again = RunUlo(dir, args(jobs));
    ASSERT_EQ(again.exitCode, 0) << "round " << round << ": " << again.err;
    for (size_t f = 0; f < files.size(); ++f) {
      EXPECT_TRUE(ReadFile(out + "/" + files[f]) == expected[f])
          << "round " << round << ": " << files[f];
    }
    for (const char* left : {"spill.partial", "merge_temp", "pairs.txt.partial"}) {
      EXPECT_FALSE(FileExists(out + "/" + left)) << "round " << round << ": " << left;
    }
  }
}

}  // namespace
