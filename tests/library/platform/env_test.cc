#include "platform/env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace ulo::platform {
namespace {

TEST(MultiByteEqualNoCaseTest, AsciiLettersFoldDoubleByteUnitsDoNot) {
  EXPECT_TRUE(MultiByteEqualNoCase("ULO_Filtrate", "ulo_filtrate"));
  EXPECT_TRUE(MultiByteEqualNoCase("ULO_Filtrate", "uLo_FILTRATE"));
  EXPECT_TRUE(MultiByteEqualNoCase("", ""));
  EXPECT_FALSE(MultiByteEqualNoCase("ULO_Filtrate", "ULO_Filtrates"));
  EXPECT_FALSE(MultiByteEqualNoCase("ULO_Filtrat", "ULO_Filtrate"));
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

TEST(EnvTest, DirectoryEntriesAndAttributes) {
  testing::TempDir dir;
  testing::MakeDirectory(dir.Path("sub"));
  testing::WriteFile(dir.Path("file.txt"), "x");
  Env* env = Env::Current();
  int error = 0;
  auto listing = env->OpenDirectory(dir.path(), &error);
  ASSERT_NE(listing, nullptr);
  std::set<std::string> directories, files;
  DirectoryEntry entry;
  while (listing->Next(&entry)) {
    (entry.attributes == kAttributeDirectory ? directories : files).insert(entry.name);
  }
  EXPECT_EQ(listing->ErrorCode(), 0);
  EXPECT_EQ(files, std::set<std::string>{"file.txt"});
  EXPECT_EQ(directories.count("sub"), 1u);

  uint32_t attributes = 0;
  ASSERT_TRUE(env->GetAttributes(dir.Path("sub"), &attributes, &error));
  EXPECT_EQ(attributes, kAttributeDirectory);
  ASSERT_TRUE(env->GetAttributes(dir.Path("file.txt"), &attributes, &error));
  EXPECT_NE(attributes, kAttributeDirectory);
  EXPECT_FALSE(env->GetAttributes(dir.Path("missing"), &attributes, &error));
  EXPECT_EQ(env->OpenDirectory(dir.Path("missing"), &error), nullptr);
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
