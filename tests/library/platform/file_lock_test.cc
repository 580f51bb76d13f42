// The lock file that merges sharing a work directory take turns on: who gets
// it, who waits, and that the file is gone once nobody holds it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/env.h"
#include "support/test_support.h"

namespace ulo::platform {
namespace {

using ulo::testing::FileExists;
using ulo::testing::TempDir;

std::unique_ptr<FileLock> Take(const std::string& path, bool wait) {
  int error = -1;
  auto lock = Env::Current()->LockFile(path, wait, &error);
  if (!lock) {
    EXPECT_EQ(error, 0) << "the lock failed rather than being busy";
  }
  return lock;
}

TEST(FileLockTest, WaiterGetsTheLockOnlyWhenTheHolderLetsGo) {
  TempDir dir;
  std::string path = dir.Path("work.lock");
  auto holder = Take(path, false);
  ASSERT_TRUE(holder);

  std::atomic<bool> released{false}, acquired{false}, overlapped{false};
  std::thread waiter([&] {
    auto lock = Take(path, true);
    overlapped = !released.load();
    acquired = lock != nullptr;
    // A third taker must find the waiter's lock held, on the live name.
    if (lock && Take(path, false)) overlapped = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(acquired.load());
  released = true;
  holder.reset();
  waiter.join();
  EXPECT_TRUE(acquired.load());
  EXPECT_FALSE(overlapped.load());
  EXPECT_FALSE(FileExists(path));
}

TEST(FileLockTest, ManyWaitersTakeTurnsOneAtATime) {
  TempDir dir;
  std::string path = dir.Path("work.lock");
  std::atomic<int> inside{0}, most{0}, turns{0};
  std::vector<std::thread> takers;
  for (int i = 0; i < 6; ++i) {
    takers.emplace_back([&] {
      for (int round = 0; round < 20; ++round) {
        auto lock = Take(path, true);
        if (!lock) return;
        int now = ++inside;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        --inside;
        ++turns;
      }
    });
  }
  for (std::thread& taker : takers)
    taker.join();
  EXPECT_EQ(turns.load(), 6 * 20);
  EXPECT_EQ(most.load(), 1);
  EXPECT_FALSE(FileExists(path));
}

TEST(FileLockTest, ALockFileThatCannotBeCreatedIsAnError) {
  TempDir dir;
  int error = 0;
  auto lock =
      Env::Current()->LockFile(dir.Path("missing") + kPathSeparator + "work.lock", false, &error);
  EXPECT_FALSE(lock);
  EXPECT_NE(error, 0);
}

}  // namespace
}  // namespace ulo::platform
