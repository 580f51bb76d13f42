// The environment layer on Windows: backslash paths, the system's attribute
// words and error codes, FormatMessageA texts, sharing rules and file names
// in the ANSI code page. Runs under Wine in CI, with code page 936.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/env.h"
#include "support/test_support.h"

namespace ulo::platform {
namespace {

std::set<std::string> ListNames(const std::string& path) {
  std::set<std::string> names;
  int error = 0;
  auto listing = Env::Current()->OpenDirectory(path, &error);
  if (!listing) return {"<cannot list: " + std::to_string(error) + ">"};
  DirectoryEntry entry;
  while (listing->Next(&entry))
    names.insert(entry.name);
  if (listing->ErrorCode() != 0)
    names.insert("<error " + std::to_string(listing->ErrorCode()) + ">");
  return names;
}

class WindowsEnvTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  Env* env = Env::Current();
  int error = 0;
};

TEST_F(WindowsEnvTest, BackslashPathsAndTrailingSeparators) {
  EXPECT_EQ(JoinPath("D:\\data", "spill"), "D:\\data\\spill");
  std::string sub = JoinPath(dir.path(), "spill");
  ASSERT_TRUE(env->CreateDir(sub, &error)) << error;
  testing::WriteFile(JoinPath(sub, "temp1.txt"), "a\tb\t1\n");

  const std::set<std::string> expected = {".", "..", "temp1.txt"};
  for (const std::string& spelling : {sub, sub + "\\", dir.path() + "/spill", sub + "/"}) {
    EXPECT_EQ(ListNames(spelling), expected) << spelling;
    uint32_t attributes = 0;
    ASSERT_TRUE(env->GetAttributes(spelling, &attributes, &error)) << spelling;
    EXPECT_TRUE(IsDirectory(attributes)) << spelling;
    EXPECT_TRUE(env->Exists(spelling)) << spelling;
  }
  // A wildcard in a name is no pattern: it finds nothing.
  uint32_t attributes = 0;
  EXPECT_FALSE(env->GetAttributes(JoinPath(dir.path(), "sp*"), &attributes, &error));
  EXPECT_FALSE(env->Exists(JoinPath(dir.path(), "sp*")));
}

TEST_F(WindowsEnvTest, ReadOnlyAndHiddenDirectoriesStillListAsDirectories) {
  std::string locked = dir.Path("locked");
  ASSERT_TRUE(env->CreateDir(locked, &error));
  testing::WriteFile(dir.Path("file.txt"), "x");
  ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  auto listing = env->OpenDirectory(dir.path(), &error);
  ASSERT_NE(listing, nullptr);
  DirectoryEntry entry;
  uint32_t lockedAttributes = 0, fileAttributes = 0;
  while (listing->Next(&entry)) {
    if (entry.name == "locked") lockedAttributes = entry.attributes;
    if (entry.name == "file.txt") fileAttributes = entry.attributes;
  }
  // Wine keeps no read-only bit on directories; the hidden bit it keeps.
  EXPECT_NE(lockedAttributes & kAttributeHidden, 0u);
  EXPECT_NE(lockedAttributes, kAttributeDirectory);
  EXPECT_TRUE(IsDirectory(lockedAttributes));
  EXPECT_NE(fileAttributes, 0u);
  EXPECT_FALSE(IsDirectory(fileAttributes));

  uint32_t attributes = 0;
  ASSERT_TRUE(env->GetAttributes(locked, &attributes, &error));
  EXPECT_EQ(attributes, lockedAttributes);
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsEnvTest, FailuresCarryTheSystemsCodesAndTexts) {
  EXPECT_FALSE(env->RemoveFile(dir.Path("missing.txt"), &error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(env->OpenForRead(dir.Path("missing.txt"), &error), nullptr);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(env->OpenDirectory(dir.Path("missing"), &error), nullptr);
  EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(env->CreateDir(dir.path(), &error));
  EXPECT_EQ(error, ERROR_ALREADY_EXISTS);
  // A directory is not a file to read.
  EXPECT_EQ(env->OpenForRead(dir.path(), &error), nullptr);
  EXPECT_NE(error, 0);

  // FormatMessageA's own text, with the line end it carries.
  std::string notFound = env->ErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_GT(notFound.size(), 2u);
  EXPECT_EQ(notFound.substr(notFound.size() - 2), "\r\n");
  EXPECT_NE(notFound, env->ErrorText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(env->ErrorText(0x2FFFFFFF), "Unknown error 805306367");
}

// What the merge meets when it removes a work file that is still open.
TEST_F(WindowsEnvTest, AnOpenFileCannotBeDeleted) {
  testing::WriteFile(dir.Path("output_1.tmp"), "a\tb\t1\n");
  {
    auto open = env->OpenForRead(dir.Path("output_1.tmp"), &error);
    ASSERT_NE(open, nullptr);
    EXPECT_FALSE(env->RemoveFile(dir.Path("output_1.tmp"), &error));
    EXPECT_EQ(error, ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(env->ErrorText(error).empty());
  }
  EXPECT_TRUE(env->RemoveFile(dir.Path("output_1.tmp"), &error));
}

TEST_F(WindowsEnvTest, SameFileThroughAnotherSpelling) {
  ASSERT_TRUE(env->CreateDir(dir.Path("sub"), &error));
  std::string file = dir.Path("Merged.txt");
  testing::WriteFile(file, "a\tb\t1\n");
  char shortName[MAX_PATH] = {0};
  ASSERT_NE(GetShortPathNameA(file.c_str(), shortName, MAX_PATH), 0u);

  for (const std::string& spelling :
       {dir.Path("MERGED.TXT"), dir.path() + "/merged.txt", dir.path() + "\\.\\Merged.txt",
        dir.path() + "\\sub\\..\\Merged.txt", std::string(shortName)}) {
    EXPECT_TRUE(env->SameFile(file, spelling)) << spelling;
  }
  EXPECT_TRUE(env->SameFile(dir.path(), dir.path() + "\\"));
  ASSERT_TRUE(env->CopyFileOver(file, dir.Path("copy.txt"), &error));
  EXPECT_FALSE(env->SameFile(file, dir.Path("copy.txt")));
  EXPECT_FALSE(env->SameFile(file, dir.Path("missing.txt")));
}

TEST_F(WindowsEnvTest, Gb2312NamesInTheAnsiCodePage) {
  if (GetACP() != 936) GTEST_SKIP() << "needs the GB2312/GBK code page 936, not " << GetACP();
  const std::string data = JoinPath(dir.path(), "\xCA\xFD\xBE\xDD");  // directory name
  const std::string file = JoinPath(data, "\xB2\xE2\xCA\xD4\x41.txt");
  ASSERT_TRUE(env->CreateDir(data, &error)) << error;
  auto writer = env->OpenForWrite(file, false, &error);
  ASSERT_NE(writer, nullptr) << error;
  ASSERT_TRUE(writer->Write("x", 1, &error));
  ASSERT_TRUE(writer->Close(&error));

  EXPECT_EQ(ListNames(data), (std::set<std::string>{".", "..", "\xB2\xE2\xCA\xD4\x41.txt"}));
  EXPECT_TRUE(env->Exists(file));
  ASSERT_TRUE(env->CopyFileOver(file, JoinPath(data, "\xB8\xB1\xB1\xBE.txt"), &error));
  EXPECT_EQ(testing::ReadFile(JoinPath(data, "\xB8\xB1\xB1\xBE.txt")), "x");
  ASSERT_TRUE(env->RemoveFile(file, &error));
  ASSERT_TRUE(env->RemoveFile(JoinPath(data, "\xB8\xB1\xB1\xBE.txt"), &error));
  EXPECT_TRUE(env->RemoveDir(data, &error));

  // Command names: a GBK trail byte that looks like an ASCII letter is no
  // letter, and double-byte letters (full-width A, a) do not fold.
  // Octal escapes end after three digits, so a letter may follow them.
  EXPECT_TRUE(MultiByteEqualNoCase("ulo_\260\241Filtrate", "ULO_\260\241FILTRATE"));
  EXPECT_FALSE(MultiByteEqualNoCase("\201Ab", "\201aB"));
  EXPECT_FALSE(MultiByteEqualNoCase("\xA3\xC1", "\xA3\xE1"));
}

}  // namespace
}  // namespace ulo::platform
