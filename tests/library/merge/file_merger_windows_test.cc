// The merge on Windows, against the real system (under Wine in CI): paths
// with backslashes, forward slashes and trailing separators, the work
// directory beside the source, directories whose attribute word carries more
// than the directory bit, CR LF text written by the spill and the merge and
// read back, and the error log's entries through a text-mode stream.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "merge/error_log.h"
#include "merge/file_merger.h"
#include "support/test_support.h"
#include "vorn_ulo.h"

namespace ulo::merge {
namespace {

std::string Slashed(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// The bytes a text-mode stream writes for `text`: CR LF for every LF.
std::string TextMode(const std::string& text) {
  std::string bytes;
  for (char c : text) {
    if (c == '\n') bytes.push_back('\r');
    bytes.push_back(c);
  }
  return bytes;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class ProbeMerger : public FileMerger {
 public:
  void OnPassStart(int pass, int) override {
    if (atPassStart) atPassStart(pass);
  }
  std::function<void(int)> atPassStart;
};

// A file held open as another program would hold it: shared for reading
// only (so it cannot be deleted) or not at all (so it cannot be opened).
class HeldFile {
 public:
  HeldFile(const std::string& path, DWORD share)
      : handle(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldFile() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const { return handle != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle;
};

class WindowsMergeTest : public ::testing::Test {
 protected:
  std::string Data(const std::string& name = "") const {
    return name.empty() ? dir.Path("data") : dir.Path("data") + "\\" + name;
  }
  std::string Source(const std::string& name = "") const {
    return name.empty() ? Data("spill") : Data("spill\\" + name);
  }
  std::string Work(const std::string& name = "") const {
    return name.empty() ? Data("merge_temp") : Data("merge_temp\\" + name);
  }
  std::string Output() const { return Data("out.txt"); }
  std::string Log() const { return Output() + "_err.log"; }

  void Input(const std::string& name, const std::string& bytes) {
    std::string path = Source(name);
    testing::MakeDirectory(path.substr(0, path.rfind('\\')));
    testing::WriteFile(path, bytes);
  }

  testing::TempDir dir;
};

TEST_F(WindowsMergeTest, SourceSpellingsAndTheWorkDirectoryBesideIt) {
  Input("1.txt", "a\tb\t1\r\nc\td\t1\r\n");
  Input("sub\\2.txt", "a\tb\t2\r\n");
  // Relative spellings are taken from the data directory, the others from
  // elsewhere, where a work directory must not land.
  char elsewhere[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, elsewhere), 0u);
  ASSERT_NE(dir.path(), elsewhere);
  const struct {
    std::string source;
    bool relative;
  } spellings[] = {
      {Source(), false},          {Source() + "\\", false},   {Source() + "\\\\\\", false},
      {Slashed(Source()), false}, {Source() + "/\\/", false}, {"spill", true},
      {"spill\\\\", true},        {Source() + "\\.", false},  {"spill\\sub\\..", true},
  };
  for (const auto& spelling : spellings) {
    const std::string& source = spelling.source;
    SCOPED_TRACE(source);
    testing::RemoveAll(Output());
    ProbeMerger merger;
    std::string list;
    merger.atPassStart = [&](int) { list = testing::ReadFile(Work("filename.tmp")); };
    ASSERT_TRUE(SetCurrentDirectoryA(spelling.relative ? Data().c_str() : elsewhere));
    int32_t result = merger.MergeFiles(source.c_str(), Output().c_str());
    SetCurrentDirectoryA(elsewhere);
    ASSERT_EQ(result, kMergeOk);
    EXPECT_EQ(testing::ReadFile(Output()), "a\tb\t3\r\nc\td\t1\r\n");
    // The listing joins the names to the source, without its trailing
    // separators, with backslashes: one path a line, no line end after the
    // last.
    std::string root = source;
    while (root.back() == '\\' || root.back() == '/')
      root.pop_back();
    const std::string first = root + "\\1.txt", second = root + "\\sub\\2.txt";
    EXPECT_TRUE(list == first + "\r\n" + second || list == second + "\r\n" + first) << list;
    EXPECT_FALSE(testing::FileExists(Work()));
    EXPECT_FALSE(testing::FileExists(Source("merge_temp")));
  }

  FileMerger merger;
  for (const char* separators : {"\\", "\\\\\\\\"}) {
    EXPECT_EQ(merger.MergeFiles(separators, Output().c_str()), kOnlySeparators) << separators;
  }
  EXPECT_EQ(ULO_MulMergeFile((Source() + "\\1.txt\\").c_str(), Output().c_str()), kNotADirectory);
}

TEST_F(WindowsMergeTest, HiddenAndReadOnlyDirectoriesAreMergedAsDirectories) {
  Input("sub\\deeper\\1.txt", "a\tb\t1\n");
  Input("sub\\2.txt", "a\tb\t2\n");
  // A stale work directory with a hidden subdirectory goes before the merge.
  testing::MakeDirectory(Work("old"));
  testing::WriteFile(Work("old\\stale.tmp"), "x");
  const DWORD bits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  const std::string marked[] = {Source(), Source("sub"), Source("sub\\deeper"), Work("old")};
  for (const std::string& path : marked)
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), bits)) << path;
  // Wine keeps no read-only bit on a directory; the hidden bit it keeps, so
  // the attribute word is more than the directory bit either way.
  DWORD attributes = GetFileAttributesA(Source("sub").c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  ASSERT_NE(attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  ASSERT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

  ASSERT_EQ(ULO_MulMergeFile(Source().c_str(), Output().c_str()), kMergeOk);
  EXPECT_EQ(testing::ReadTextFile(Output()), "a\tb\t3\n");
  EXPECT_FALSE(testing::FileExists(Work()));
  EXPECT_FALSE(testing::FileExists(Log()));
  for (const std::string& path : marked)
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsMergeTest, CrLfFromTheSpillThroughTwoPasses) {
  // Two counting runs leave their spill files in two directories.
  for (const char* run : {"one", "two"}) {
    testing::MakeDirectory(Source(run));
    ASSERT_EQ(ULO_Stat_AssociatedFreq_Begin(Source(run).c_str()), 1);
    EXPECT_EQ(ULO_Stat_AssociatedFreq("\xD4\xC2", "\xC3\xF7", 2, 0), 1);
    EXPECT_EQ(ULO_Stat_AssociatedFreq("\xD4\xC2", "\xC9\xBD", 1, 1), 1);
    ASSERT_EQ(ULO_Stat_AssociatedFreq_End(), 1);
    EXPECT_EQ(testing::ReadFile(Source(std::string(run) + "\\temp1.txt")),
              "\xC3\xF7\t\xD4\xC2\t2\r\n\xD4\xC2\t\xC3\xF7\t2\r\n\xD4\xC2\t\xC9\xBD\t1\r\n");
  }
  // 19 more files make 21: two passes, so the first pass's outputs are
  // written in text mode and read back by the second.
  for (int i = 0; i < 19; ++i)
    Input("more\\" + std::to_string(100 + i) + ".txt", "z\tz\t1\r\n\r\n\xD4\xC2\t\xC9\xBD\t10\r\n");

  ProbeMerger merger;
  std::vector<std::string> firstPass;
  merger.atPassStart = [&](int pass) {
    if (pass != 1) return;
    for (const char* name : {"namefile_0.tmp", "output_0.tmp", "output_1.tmp"})
      firstPass.push_back(testing::ReadFile(Work(name)));
  };
  ASSERT_EQ(merger.MergeFiles(Source().c_str(), Output().c_str()), kMergeOk);
  ASSERT_EQ(firstPass.size(), 3u);
  EXPECT_EQ(firstPass[0], Work("output_0.tmp") + "\r\n" + Work("output_1.tmp"));
  for (const std::string& output : {firstPass[1], firstPass[2]}) {
    // Pair lines, each ending in one CR LF.
    EXPECT_FALSE(output.empty());
    EXPECT_EQ(output, TextMode(testing::CrLfAsLf(output)));
    EXPECT_EQ(output.find("\r\r"), std::string::npos) << output;
  }
  EXPECT_EQ(testing::ReadFile(Output()),
            "z\tz\t19\r\n\xC3\xF7\t\xD4\xC2\t4\r\n\xD4\xC2\t\xC3\xF7\t4\r\n"
            "\xD4\xC2\t\xC9\xBD\t192\r\n");
}

TEST_F(WindowsMergeTest, FileHeldOpenIsLoggedWithTheSystemsText) {
  Input("1.txt", "a\tb\t1\n");
  Input("2.txt", "a\tb\t2\n");
  testing::MakeDirectory(Work());
  testing::WriteFile(Work("held.tmp"), "x");
  {
    HeldFile held(Work("held.tmp"), FILE_SHARE_READ);
    ASSERT_TRUE(held.held());
    // The stale work directory cannot go, so it cannot be made afresh.
    EXPECT_EQ(ULO_MulMergeFile(Source().c_str(), Output().c_str()), kWorkDirFailed);
  }
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, ERROR_SHARING_VIOLATION, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(&text), 0, nullptr);
  ASSERT_GT(length, 0u);
  std::string reason(text, length);
  LocalFree(text);
  ASSERT_EQ(reason.substr(reason.size() - 2), "\r\n");

  // "YYYY-MM-DD  hh:mm:ss  ", the message with the system's text (its own
  // CR LF inside), a blank and "\r\n", every LF written as CR LF.
  const std::string log = testing::ReadFile(Log());
  const std::string message = std::string(kDeleteFailedPrefix) + Work("held.tmp") +
                              std::string(kDeleteFailedReason) + reason + " \r\n";
  ASSERT_EQ(log.size(), 22 + TextMode(message).size()) << log;
  EXPECT_EQ(log.substr(22), TextMode(message));
  EXPECT_TRUE(EndsWith(log, "\r\r\n \r\r\n"));
  for (size_t at : {4, 7})
    EXPECT_EQ(log[at], '-') << at;
  for (size_t at : {10, 11, 20, 21})
    EXPECT_EQ(log[at], ' ') << at;
  for (size_t at : {14, 17})
    EXPECT_EQ(log[at], ':') << at;

  // Let go, the next run clears the work directory and adds nothing to the log.
  ASSERT_EQ(ULO_MulMergeFile(Source().c_str(), Output().c_str()), kMergeOk);
  EXPECT_EQ(testing::ReadTextFile(Output()), "a\tb\t3\n");
  EXPECT_EQ(testing::ReadFile(Log()), log);
}

TEST_F(WindowsMergeTest, InputHeldOpenWithoutSharingIsLogged) {
  Input("1.txt", "a\tb\t1\n");
  Input("2.txt", "a\tb\t2\n");
  HeldFile held(Source("2.txt"), 0);
  ASSERT_TRUE(held.held());
  EXPECT_EQ(ULO_MulMergeFile(Source().c_str(), Output().c_str()), kInputNotReadable);
  const std::string log = testing::ReadFile(Log());
  EXPECT_EQ(log.substr(22), std::string(kOpenFailedPrefix) + Source("2.txt") + "\r\r\n");
  EXPECT_FALSE(testing::FileExists(Work()));
}

}  // namespace
}  // namespace ulo::merge
