#include "platform/env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace ulo::platform {
namespace {

TEST(MultiByteEqualNoCaseTest, AsciiLettersFoldDoubleByteUnitsDoNot) {
  // ASCII names in any case, and longer or shorter ones, CommandTest matches.
  EXPECT_TRUE(MultiByteEqualNoCase("", ""));
  EXPECT_TRUE(MultiByteEqualNoCase("\xB0\xA1x", "\xB0\xA1X"));
  // The trail byte 0x41 ('A') of a GBK character is not a letter.
  EXPECT_FALSE(MultiByteEqualNoCase("\x81\x41", "\x81\x61"));
  EXPECT_FALSE(MultiByteEqualNoCase("\xB0\xA1", "\xB0\xA2"));
}

TEST(EnvTest, JoinPathUsesOneSeparator) {
  std::string sep(1, kPathSeparator);
  EXPECT_EQ(JoinPath("dir", "temp1.txt"), "dir" + sep + "temp1.txt");
  EXPECT_EQ(JoinPath("", "temp1.txt"), sep + "temp1.txt");
}

TEST(EnvTest, FileOperations) {
  testing::TempDir dir;
  Env* env = Env::Current();
  int error = 0;
  testing::WriteFile(dir.Path("a"), std::string(3 << 20, 'a') + "end");
  testing::WriteFile(dir.Path("b"), "old contents that are longer");
  ASSERT_TRUE(env->CopyFileOver(dir.Path("a"), dir.Path("b"), &error));
  EXPECT_EQ(testing::ReadFile(dir.Path("b")), testing::ReadFile(dir.Path("a")));
  EXPECT_FALSE(env->CopyFileOver(dir.Path("missing"), dir.Path("c"), &error));

  EXPECT_TRUE(env->Exists(dir.Path("b")));
  EXPECT_TRUE(
      env->SameFile(dir.Path("b"), dir.path() + kPathSeparator + "." + kPathSeparator + "b"));
  EXPECT_FALSE(env->SameFile(dir.Path("a"), dir.Path("b")));
  EXPECT_FALSE(env->SameFile(dir.Path("a"), dir.Path("missing")));
  ASSERT_TRUE(env->RemoveFile(dir.Path("b"), &error));
  EXPECT_FALSE(env->Exists(dir.Path("b")));
  EXPECT_FALSE(env->RemoveFile(dir.Path("b"), &error));
  EXPECT_NE(error, 0);
  EXPECT_FALSE(env->ErrorText(error).empty());

  ASSERT_TRUE(env->CreateDir(dir.Path("d"), &error));
  EXPECT_FALSE(env->CreateDir(dir.Path("d"), &error));
  ASSERT_TRUE(env->RemoveDir(dir.Path("d"), &error));
  EXPECT_FALSE(env->Exists(dir.Path("d")));
}

TEST(EnvTest, NowIsACalendarTime) {
  LocalTime now = Env::Default()->Now();
  EXPECT_GE(now.year, 2024);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.hour >= 0 && now.hour <= 23 && now.minute >= 0 && now.minute <= 59 &&
              now.second >= 0 && now.second <= 60);
}

TEST(RecursiveLockTest, ReentersOnItsThreadAndExcludesOthers) {
  RecursiveLock lock;
  std::atomic<bool> entered{false};
  lock.Lock();
  lock.Lock();
  std::thread other([&] {
    ScopedLock held(lock);
    entered = true;
  });
  lock.Unlock();
  Env::Default()->SleepMilliseconds(50);
  EXPECT_FALSE(entered) << "still held once by this thread";
  lock.Unlock();
  other.join();
  EXPECT_TRUE(entered);
}

}  // namespace
}  // namespace ulo::platform
