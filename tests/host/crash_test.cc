// `kill -9` of ulo count, merge, run and rank at random moments: what a
// crash leaves is never taken for data (a merge of the tree that holds it
// gives exact counts, or refuses it by name), and the same command run
// again gives exactly the undisturbed result and clears what was left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>

#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run_ulo.h"
#include "test_support.h"
#include "window_pairs.h"

namespace ulo::testing {
namespace {

using Clock = std::chrono::steady_clock;

// `pairs` (a pair-count file's text) with every count times `factor`.
std::string Scaled(const std::string& pairs, long factor) {
  std::istringstream in(pairs);
  std::string line, out;
  while (std::getline(in, line)) {
    size_t tab = line.rfind('\t');
    out +=
        line.substr(0, tab + 1) + std::to_string(std::stol(line.substr(tab + 1)) * factor) + "\n";
  }
  return out;
}

// One command to kill: its arguments, the results it writes into the tree
// (pair-count files or directories of them, whole or absent), and the files
// whose bytes an undisturbed run gives.
struct Trial {
  std::string name;
  std::vector<std::string> args;
  std::vector<std::string> pairResults;
  std::vector<std::string> exactFiles;
};

class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Workers orphaned by the kill become this process's children, so that
    // the test can tell when the last of them is gone.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::mt19937 words(3);
    WriteFile(dir.Path("corpus.txt"), CorpusText(SkewedLines(words, 800, 4, 12, 3000, "k")));
    corpus = dir.Path("corpus.txt");
    tree = dir.Path("t");
    // A count result and its merge outside the tree, as inputs.
    MakeDirectory(dir.Path("src"));
    ASSERT_EQ(Run({"count", corpus, "--work", dir.Path("src/w"), "--window", "3"}).exitCode, 0);
    ASSERT_EQ(Run({"merge", dir.Path("src/w"), dir.Path("src/pairs.txt")}).exitCode, 0);
    expected = ReadFile(dir.Path("src/pairs.txt"));
  }

  UloResult Run(const std::vector<std::string>& args) { return RunUlo(dir, args); }

  // Starts `args`, kills it with SIGKILL after a random part of `seconds`
  // (or lets it finish), and waits until it and every worker it started
  // are gone.
  void KillSomewhere(const std::vector<std::string>& args, double seconds) {
    pid_t pid = StartUlo(args, dir.Path("killed.out"), dir.Path("killed.err"));
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
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }

  // A merge of the whole tree either sums the whole results in it exactly
  // or refuses, naming what is no data; it never counts a leftover.
  void ExpectTreeMergesExactlyOrRefuses(const Trial& trial, const std::string& when) {
    long whole = 0;
    for (const std::string& result : trial.pairResults)
      whole += FileExists(result);
    std::string merged = dir.Path("check.txt");
    RemoveAll(merged);
    UloResult result = Run({"merge", tree, merged});
    if (result.exitCode == 0) {
      EXPECT_TRUE(ReadFile(merged) == Scaled(expected, whole)) << when << ": counts of " << tree;
      return;
    }
    bool named = result.err.find(".ulo-partial") != std::string::npos ||
                 result.err.find("merge_temp") != std::string::npos ||
                 result.err.find("is not a pair-count file") != std::string::npos ||
                 result.err.find("no file was found") != std::string::npos;
    EXPECT_TRUE(named) << when << ": " << result.err;
  }

  void KillTrials(const Trial& trial, int rounds) {
    RemoveAll(tree);
    MakeDirectory(tree);
    auto start = Clock::now();  // an undisturbed run, timed
    UloResult first = Run(trial.args);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<std::string> undisturbed;
    for (const std::string& file : trial.exactFiles)
      undisturbed.push_back(ReadFile(file));
    for (int round = 0; round < rounds; ++round) {
      std::string when = trial.name + " round " + std::to_string(round);
      if (round % 4 < 2) {  // else an earlier result is there
        RemoveAll(tree);
        MakeDirectory(tree);
      }
      KillSomewhere(trial.args, seconds);
      ExpectTreeMergesExactlyOrRefuses(trial, when);
      UloResult again = Run(trial.args);
      ASSERT_EQ(again.exitCode, 0) << when << ": " << again.err;
      EXPECT_EQ(Leftover(tree), "") << when;
      for (size_t f = 0; f < trial.exactFiles.size(); ++f) {
        EXPECT_TRUE(ReadFile(trial.exactFiles[f]) == undisturbed[f])
            << when << ": " << trial.exactFiles[f];
      }
      ExpectTreeMergesExactlyOrRefuses(trial, when + ", run again");
    }
  }

  TempDir dir;
  std::string corpus, tree, expected;
  std::mt19937 random{std::random_device{}()};
};

TEST_F(CrashTest, CountKilledAnywhereIsNeverCountedAndCountsAgainExactly) {
  for (const char* jobs : {"1", "2"}) {
    std::string work = dir.Path("t/w");
    KillTrials({std::string("count --jobs ") + jobs,
                {"count", corpus, "--work", work, "--window", "3", "--jobs", jobs},
                {work},
                {}},
               5);
    // Whatever stands under the final name is a whole result.
    ASSERT_EQ(Run({"merge", work, dir.Path("w.txt")}).exitCode, 0);
    EXPECT_TRUE(ReadFile(dir.Path("w.txt")) == expected);
  }
}

TEST_F(CrashTest, MergeKilledAnywhereIsNeverCountedAndMergesAgainExactly) {
  std::string out = dir.Path("t/pairs.txt");
  KillTrials({"merge", {"merge", dir.Path("src/w"), out}, {out}, {out}}, 8);
  EXPECT_TRUE(ReadFile(out) == expected);
  EXPECT_FALSE(FileExists(dir.Path("merge_temp")));
}

TEST_F(CrashTest, RunAndRankKilledAnywhereRunAgainToTheUndisturbedResult) {
  std::string out = dir.Path("t/r");
  std::vector<std::string> outputs;
  for (const char* file : {"pairs.txt", "ranked.txt", "frequent.txt", "support.txt", "topn.txt"})
    outputs.push_back(out + "/" + file);
  KillTrials({"run",
              {"run", corpus, "--out", out, "--window", "3", "--threshold", "3", "--jobs", "2",
               "--support", "--topn"},
              {out + "/spill", out + "/pairs.txt"},
              outputs},
             6);
  EXPECT_TRUE(ReadFile(out + "/pairs.txt") == expected);
  std::string ranked = dir.Path("t/rank.txt");
  KillTrials({"rank", {"rank", dir.Path("src/pairs.txt"), ranked, "--top", "50"}, {}, {ranked}}, 6);
}

// What a kill leaves, made by hand: a merge of the tree names it rather
// than count it, and the next command writing there removes it.
using MergeTreeTest = UloCommandTest;

TEST_F(MergeTreeTest, LeftoversInTheTreeAreNamedNotCounted) {
  MakeDirectory(dir.Path("runs/a"));
  Write("runs/a/temp1.txt", "a\tb\t3\nb\ta\t3\n");
  Write("runs/a.pairs.ulo-partial-0badf00d", "a\tb\t3\n");
  Fails("merge {runs} {all.txt}", "holds " + dir.Path("runs/a.pairs.ulo-partial-0badf00d") +
                                      ", which an interrupted ulo left");
  // The merge that was killed, run again, clears it.
  RunOk("merge {runs/a} {runs/a.pairs}");
  EXPECT_FALSE(Exists("runs/a.pairs.ulo-partial-0badf00d"));
  RemoveAll(dir.Path("runs/a.pairs"));
  RunOk("merge {runs} {all.txt}");
  EXPECT_EQ(Read("all.txt"), "a\tb\t3\nb\ta\t3\n");
  // A killed merge's intermediate files.
  MakeDirectory(dir.Path("runs/merge_temp"));
  Write("runs/merge_temp/output_0.tmp", "a\tb\t3\n");
  Fails("merge {runs} {all.txt}", "holds " + dir.Path("runs/merge_temp"));
}

TEST_F(MergeTreeTest, OutputsInsideTheTreeAreRefusedUntouched) {
  MakeDirectory(dir.Path("m/sub"));
  Write("m/one.txt", "a\tb\t1\n");
  Write("m/two.txt", "a\tb\t2\n");
  for (std::string out : {"m/one.txt", "m/sub/new.txt", "m/./sub/../x.txt"}) {
    std::string err = Fails("merge {m/} {" + out + "}", "lies inside").err;
    EXPECT_TRUE(Contains(err, "write it beside the tree instead, e.g. " + dir.path() + "/"));
  }
  EXPECT_EQ(Read("m/one.txt"), "a\tb\t1\n");
  EXPECT_FALSE(Exists("m/sub/new.txt"));
  EXPECT_FALSE(Exists("m/x.txt"));
}

}  // namespace
}  // namespace ulo::testing
