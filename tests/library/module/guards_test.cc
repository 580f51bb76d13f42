// The extension object's two guards: busyFlag (one counting run at a time
// per object, a Begin waiting for the End before it) and commandLock (merge,
// filter and support-record commands one at a time per object). Waiting is
// made instant by a fake sleep.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "library/module/fake_exports.h"
#include "module/extension_module.h"
#include "platform/env.h"

namespace ulo::testing {
namespace {

using std::chrono::seconds;

// A latch that threads can wait on with a time limit; raised once.
class Signal {
 public:
  void Raise() { raised.set_value(); }
  bool WaitFor(std::chrono::milliseconds limit) {
    return seen.wait_for(limit) == std::future_status::ready;
  }
  bool Raised() { return WaitFor(std::chrono::milliseconds(0)); }

 private:
  std::promise<void> raised;
  std::shared_future<void> seen = raised.get_future().share();
};

// The six commands, with arguments for the fakes.
const CommandBuffer kBegin = commands::Begin("dir"), kAddPair = commands::AddPair("a", "b", 1, 0),
                    kEnd = commands::End(), kMerge = commands::Merge("dir", "out"),
                    kFilter = commands::Filter("in", "out", 1),
                    kSupport = commands::Support("in", "out");

using BusyFlagTest = FakeModuleTest;

TEST_F(BusyFlagTest, BeginGivesUpAfter3000AttemptsASecondApart) {
  ASSERT_EQ(kBegin.SendTo(module.get()), 0);
  EXPECT_EQ(kBegin.SendTo(module.get()), module::kStatusBusyTimeout);
  EXPECT_EQ(env.sleeps.load(), module::kBusyWaitAttempts);
  EXPECT_FALSE(env.wrongLength.load());
  EXPECT_EQ(CallsOf("begin"), 1);
  // The run that held the flag goes on.
  EXPECT_EQ(kAddPair.SendTo(module.get()), 0);
  EXPECT_EQ(kEnd.SendTo(module.get()), 0);
  EXPECT_EQ(kBegin.SendTo(module.get()), 0);
  EXPECT_EQ(env.sleeps.load(), module::kBusyWaitAttempts);
}

TEST_F(BusyFlagTest, EndGivesTheFlagBackEvenWhenTheLastSpillFailed) {
  ASSERT_EQ(kBegin.SendTo(module.get()), 0);
  Fakes().endResult = 0;
  EXPECT_EQ(kEnd.SendTo(module.get()), module::kStatusEndFailed);
  EXPECT_EQ(kAddPair.SendTo(module.get()), module::kStatusPairRefused);
  EXPECT_EQ(kBegin.SendTo(module.get()), 0);
  EXPECT_EQ(env.sleeps.load(), 0);
}

TEST_F(BusyFlagTest, RefusedBeginHoldsTheFlagUntilEnd) {
  Fakes().beginResult = 0;
  ASSERT_EQ(kBegin.SendTo(module.get()), module::kStatusBeginRefused);
  EXPECT_EQ(kBegin.SendTo(module.get()), module::kStatusBusyTimeout);
  EXPECT_EQ(kEnd.SendTo(module.get()), 0);
  EXPECT_EQ(CallsOf("end"), 1);
}

TEST_F(BusyFlagTest, EachObjectHasItsOwnFlag) {
  ModulePtr first = MakeFakeModule();
  ModulePtr second = MakeFakeModule();
  ASSERT_EQ(kBegin.SendTo(first.get()), 0);
  // The second object has opened nothing, whatever the first has done.
  EXPECT_EQ(kAddPair.SendTo(second.get()), module::kStatusPairRefused);
  EXPECT_EQ(CallsOf("addPair"), 0);
  EXPECT_EQ(kBegin.SendTo(second.get()), 0);
  EXPECT_EQ(kEnd.SendTo(first.get()), 0);
  EXPECT_EQ(kAddPair.SendTo(first.get()), module::kStatusPairRefused);
  EXPECT_EQ(kAddPair.SendTo(second.get()), 0);
  EXPECT_EQ(env.sleeps.load(), 0);
}

using CommandLockTest = FakeModuleTest;

TEST_F(CommandLockTest, FileCommandsOfOneObjectRunOneAtATime) {
  std::atomic<int> inside{0};
  std::atomic<int> mostInside{0};
  std::atomic<int> entered{0};
  Signal mergeEntered;
  Signal gate;
  Fakes().whileRunning = [&](const std::string& name) {
    int now = ++inside;
    int most = mostInside;
    while (now > most && !mostInside.compare_exchange_weak(most, now)) {
    }
    ++entered;
    if (name == "merge") {
      mergeEntered.Raise();
      gate.WaitFor(seconds(30));
    }
    --inside;
  };

  std::vector<std::future<int32_t>> commands;
  commands.push_back(std::async(std::launch::async, [&] { return kMerge.SendTo(module.get()); }));
  ASSERT_TRUE(mergeEntered.WaitFor(seconds(30)));
  commands.push_back(std::async(std::launch::async, [&] { return kFilter.SendTo(module.get()); }));
  commands.push_back(std::async(std::launch::async, [&] { return kSupport.SendTo(module.get()); }));

  // Counting commands take no lock: they pass while the merge runs.
  EXPECT_EQ(kBegin.SendTo(module.get()), 0);
  EXPECT_EQ(kAddPair.SendTo(module.get()), 0);
  EXPECT_EQ(kEnd.SendTo(module.get()), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(entered.load(), 1) << "a file command ran alongside the merge";

  gate.Raise();
  for (auto& command : commands)
    EXPECT_EQ(command.get(), 0);
  EXPECT_EQ(entered.load(), 3);
  EXPECT_EQ(mostInside.load(), 1);
}

TEST_F(CommandLockTest, ObjectsDoNotWaitForEachOther) {
  ModulePtr first = MakeFakeModule();
  ModulePtr second = MakeFakeModule();
  Signal mergeEntered;
  Signal gate;
  Fakes().whileRunning = [&](const std::string& name) {
    if (name != "merge") return;
    mergeEntered.Raise();
    gate.WaitFor(seconds(30));
  };
  std::future<int32_t> merge =
      std::async(std::launch::async, [&] { return kMerge.SendTo(first.get()); });
  ASSERT_TRUE(mergeEntered.WaitFor(seconds(30)));
  EXPECT_EQ(kFilter.SendTo(second.get()), 0);
  EXPECT_FALSE(gate.Raised());
  gate.Raise();
  EXPECT_EQ(merge.get(), 0);
}

TEST_F(CommandLockTest, ReleasedWhenTheExportThrows) {
  auto shared = std::make_shared<ModulePtr>(MakeFakeModule());
  Fakes().whileRunning = [](const std::string& name) {
    if (name == "filter") throw "Put2HashTable ERROR!";
  };
  for (int i = 0; i < 2; ++i)
    EXPECT_THROW(kFilter.SendTo(shared->get()), const char*);
  // A recursive lock left held would still let this thread in: try another
  // (left behind, holding what it captured, should it never finish).
  auto status = std::make_shared<std::atomic<int32_t>>(-1);
  auto done = std::make_shared<Signal>();
  std::thread([shared, status, done] {
    *status = kMerge.SendTo(shared->get());
    done->Raise();
  }).detach();
  ASSERT_TRUE(done->WaitFor(seconds(30))) << "commandLock stayed held after the exception";
  EXPECT_EQ(status->load(), 0);
}

}  // namespace
}  // namespace ulo::testing
