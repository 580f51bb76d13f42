// The library driven from several threads at once, with the real operations
// on real files: the busy flag lets one counting run in at a time, file
// commands of one object take turns under its lock, objects and direct
// callers on their own threads never see one another's merge or word table,
// and two objects share one counting run. scripts/test runs this suite under
// ThreadSanitizer too.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "library/module/fake_exports.h"
#include "module/extension_module.h"
#include "platform/env.h"
#include "support/test_support.h"
#include "vorn_ulo.h"

namespace ulo::testing {
namespace {

using platform::kPathSeparator;

ModulePtr MakeModule() {
  return ModulePtr(new module::ExtensionModuleImpl());
}

using namespace commands;

// Runs `work(t)` on `threads` threads at once and waits for all of them.
void OnThreads(int threads, const std::function<void(int)>& work) {
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t)
    running.emplace_back(work, t);
  for (std::thread& thread : running)
    thread.join();
}

// 0 to n - 1 in the byte order of their decimal texts, as a spill or a merge
// orders words that differ only in them.
std::vector<int> InTextOrder(int n) {
  std::vector<int> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [](int a, int b) { return std::to_string(a) < std::to_string(b); });
  return order;
}

// Pair-count lines "first TAB <letter><j> TAB count(j)" for j below n, sorted.
std::string SortedPairs(const std::string& first, int n, const std::function<int(int)>& count,
                        char letter = 'x') {
  std::string text;
  for (int j : InTextOrder(n))
    text += first + "\t" + letter + std::to_string(j) + "\t" + std::to_string(count(j)) + "\n";
  return text;
}

class ConcurrencyTest : public ::testing::Test {
 protected:
  // `name` under the test's directory, "/" standing for the separator.
  std::string Path(std::string name) const {
    std::replace(name.begin(), name.end(), '/', kPathSeparator);
    return dir.Path(name);
  }

  // Per user t: three sorted spill files under data/src<t> (all sources
  // share the parent data, and so one work directory), and a merged file
  // pairs<t>.txt for the filter and the statistics.
  void MakeInputs(int users) {
    MakeDirectory(Path("data"));
    for (int t = 0; t < users; ++t) {
      MakeDirectory(Source(t));
      for (int k = 1; k <= 3; ++k) {
        WriteFile(Source(t) + kPathSeparator + "temp" + std::to_string(k) + ".txt",
                  SortedPairs(User(t), 50, [k](int) { return k; }));
      }
      WriteFile(Pairs(t), SortedPairs(User(t), 50, [](int j) { return j; }));
    }
  }
  static std::string User(int t) { return "a" + std::to_string(t); }
  std::string Source(int t) const { return Path("data/src" + std::to_string(t)); }
  std::string Pairs(int t) const { return Path("pairs" + std::to_string(t) + ".txt"); }
  std::string Out(int t, const std::string& what) const {
    return Path("out_" + std::to_string(t) + "_" + what + ".txt");
  }

  // What the merge and the filter must give for user t.
  static std::string Merged(int t) {
    return SortedPairs(User(t), 50, [](int) { return 6; });
  }
  // The filter keeps the counts from the threshold up, count first.
  static std::string Filtered(int t, int threshold) {
    std::string text;
    for (int j : InTextOrder(50)) {
      if (j >= threshold)
        text += std::to_string(j) + "\t" + User(t) + "\tx" + std::to_string(j) + "\n";
    }
    return text;
  }

  // Users on threads of their own, each merging, filtering and making the
  // support records and the top-N list of its own files three times, over
  // the object `moduleOf(t)` gives or, where that is null, the exports.
  void ExpectUsersUndisturbed(int users, const std::function<ExtensionModule*(int)>& moduleOf) {
    MakeInputs(users);
    // The statistics as one thread alone makes them.
    std::vector<std::string> support, topN;
    for (int t = 0; t < users; ++t) {
      ASSERT_EQ(ULO_GetWordSupportRec(Pairs(t).c_str(), Out(t, "ref").c_str()), 1);
      support.push_back(ReadFile(Out(t, "ref")));
      ASSERT_EQ(ULO_GetTopNWordSupportRec(Pairs(t).c_str(), Out(t, "ref").c_str(), 3), 1);
      topN.push_back(ReadFile(Out(t, "ref")));
    }
    OnThreads(users, [&](int t) {
      ExtensionModule* module = moduleOf(t);
      const std::string merged = Out(t, "merged"), filtered = Out(t, "filtered");
      const std::string records = Out(t, "support");
      for (int round = 0; round < 3; ++round) {
        if (module) {
          EXPECT_EQ(Merge(Source(t), merged).SendTo(module), 0);
          EXPECT_EQ(Filter(Pairs(t), filtered, 25).SendTo(module), 0);
          EXPECT_EQ(Support(Pairs(t), records).SendTo(module), 0);
        } else {
          EXPECT_EQ(ULO_MulMergeFile(Source(t).c_str(), merged.c_str()), 0);
          EXPECT_EQ(ULO_Filtrate(Pairs(t).c_str(), filtered.c_str(), 25), 1);
          EXPECT_EQ(ULO_GetWordSupportRec(Pairs(t).c_str(), records.c_str()), 1);
        }
        EXPECT_EQ(ULO_GetTopNWordSupportRec(Pairs(t).c_str(), Out(t, "topn").c_str(), 3), 1);
      }
    });
    for (int t = 0; t < users; ++t) {
      SCOPED_TRACE(t);
      EXPECT_EQ(ReadTextFile(Out(t, "merged")), Merged(t));
      EXPECT_EQ(ReadTextFile(Out(t, "filtered")), Filtered(t, 25));
      EXPECT_TRUE(SameText(ReadFile(Out(t, "support")), support[t])) << "support records";
      EXPECT_TRUE(SameText(ReadFile(Out(t, "topn")), topN[t])) << "top-N lists";
    }
    EXPECT_FALSE(FileExists(Path("data/merge_temp")));
  }

  TempDir dir;
};

TEST_F(ConcurrencyTest, BeginCommandsTakeTheBusyFlagOneAtATime) {
  constexpr int kRuns = 4;
  constexpr int kPairs = 200;
  ModulePtr module = MakeModule();
  FakeSleepEnv env;  // a waiting Begin sleeps a millisecond, not a second
  env.onSleep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  platform::ScopedEnvOverride use(&env);

  std::atomic<int> inside{0};
  std::atomic<int> mostInside{0};
  auto countPairs = [&](int t) {
    int now = ++inside;
    int most = mostInside.load();
    while (now > most && !mostInside.compare_exchange_weak(most, now)) {
    }
    for (int i = 0; i < kPairs; ++i) {
      EXPECT_EQ(
          AddPair("t" + std::to_string(t), "w" + std::to_string(i), i + 1).SendTo(module.get()), 0);
    }
    --inside;
  };
  auto run = [](int t) { return "run" + std::to_string(t); };
  for (int t = 0; t < kRuns; ++t)
    MakeDirectory(Path(run(t)));

  // The first run holds the flag until every other Begin is seen waiting.
  ASSERT_EQ(Begin(Path(run(0))).SendTo(module.get()), 0);
  std::thread others([&] {
    OnThreads(kRuns - 1, [&](int i) {
      int t = i + 1;
      ASSERT_EQ(Begin(Path(run(t))).SendTo(module.get()), 0);
      countPairs(t);
      EXPECT_EQ(End().SendTo(module.get()), 0);
    });
  });
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (env.sleeps.load() < 3 * (kRuns - 1) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_GE(env.sleeps.load(), 3 * (kRuns - 1));
  countPairs(0);
  EXPECT_EQ(End().SendTo(module.get()), 0);
  others.join();

  EXPECT_EQ(mostInside.load(), 1);
  // Each run's pairs, and only they, in its own single spill file.
  for (int t = 0; t < kRuns; ++t) {
    SCOPED_TRACE(t);
    auto count = [](int i) { return i + 1; };
    EXPECT_EQ(ReadTextFile(Path(run(t) + "/temp1.txt")),
              SortedPairs("t" + std::to_string(t), kPairs, count, 'w'));
    EXPECT_FALSE(FileExists(Path(run(t) + "/temp2.txt")));
  }
}

// File commands of one object take turns under its lock; objects have locks
// of their own and direct callers none: the merge's work directory and the
// support records' word table, shared by the process, must still never be
// used by two at once.
TEST_F(ConcurrencyTest, ObjectsAndDirectCallersOnTheirOwnThreads) {
  // Users 0 to 2 share an object, 3 and 4 have one each, 5 and 6 call the
  // exports.
  ModulePtr objects[] = {MakeModule(), MakeModule(), MakeModule()};
  ExpectUsersUndisturbed(7, [&](int t) -> ExtensionModule* {
    return t < 3 ? objects[0].get() : t < 5 ? objects[t - 2].get() : nullptr;
  });
}

TEST_F(ConcurrencyTest, TwoObjectsFeedTheOneCountingRunFromTheirThreads) {
  ModulePtr first = MakeModule();
  ModulePtr second = MakeModule();
  MakeDirectory(Path("a"));
  MakeDirectory(Path("b"));
  ASSERT_EQ(Begin(Path("a")).SendTo(first.get()), 0);
  ASSERT_EQ(AddPair("early", "pair", 1).SendTo(first.get()), 0);
  // The second Begin ends the run the first object opened: both objects'
  // flags are now set, and their pairs go to the one run there is.
  ASSERT_EQ(Begin(Path("b")).SendTo(second.get()), 0);
  EXPECT_EQ(ReadTextFile(Path("a/temp1.txt")), "early\tpair\t1\n");

  constexpr int kPairs = 500;
  OnThreads(4, [&](int t) {
    ExtensionModule* module = t % 2 == 0 ? first.get() : second.get();
    for (int i = 0; i < kPairs; ++i)
      EXPECT_EQ(AddPair("w" + std::to_string(i % 50), "v", 1).SendTo(module), 0);
  });
  EXPECT_EQ(End().SendTo(second.get()), 0);
  EXPECT_EQ(AddPair("late", "pair", 1).SendTo(first.get()), module::kStatusPairRefused);
  EXPECT_EQ(End().SendTo(first.get()), 0);

  // 4 x 500 pairs over 50 words: 40 each, all in the second run's one file.
  std::string expected;
  for (int w : InTextOrder(50))
    expected += "w" + std::to_string(w) + "\tv\t40\n";
  EXPECT_EQ(ReadTextFile(Path("b/temp1.txt")), expected);
  EXPECT_FALSE(FileExists(Path("b/temp2.txt")));
}

}  // namespace
}  // namespace ulo::testing
