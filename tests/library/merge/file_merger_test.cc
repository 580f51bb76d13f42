#include "merge/file_merger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "merge/error_log.h"
#include "platform/env.h"
#include "support/fault_env.h"
#include "support/test_support.h"
#include "vorn_ulo.h"

namespace ulo::merge {
namespace {

using platform::kPathSeparator;
const std::string kSep(1, kPathSeparator);
// A log entry's "\r\n" as a text stream writes it.
const std::string kEntryEnd = platform::kTextModeWritesCrLf ? "\r\r\n" : "\r\n";

using testing::FaultEnv;

// Records what the progress hooks see, and lets a test look at the work
// directory when a pass starts.
class ProbeMerger : public FileMerger {
 public:
  void OnPassStart(int pass, int passCount) override {
    passes.emplace_back(pass, passCount);
    if (atPassStart) atPassStart(pass);
  }
  void OnGroupProgress(int inputsInGroup, int groupsDone) override {
    progress.emplace_back(inputsInGroup, groupsDone);
  }
  std::vector<std::pair<int, int>> passes, progress;
  std::function<void(int)> atPassStart;
};

class FileMergerTest : public ::testing::Test {
 protected:
  std::string Source(const std::string& name = "") const {
    return name.empty() ? dir.Path("spill") : dir.Path("spill") + kSep + name;
  }
  std::string Work(const std::string& name = "") const {
    return name.empty() ? dir.Path("merge_temp") : dir.Path("merge_temp") + kSep + name;
  }
  std::string Output() const { return dir.Path("out.txt"); }
  std::string Log() const { return Output() + "_err.log"; }

  // Writes an input file under the source directory, creating directories.
  void Input(const std::string& name, const std::string& content) {
    std::string path = Source(name);
    testing::MakeDirectory(path.substr(0, path.rfind(kPathSeparator)));
    testing::WriteFile(path, content);
  }
  // `files` inputs named in list order; input i holds the lines `lines(i)`.
  void Inputs(int files, const std::function<std::string(int)>& lines) {
    for (int i = 0; i < files; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "f%04d.txt", i);
      Input(name, lines(i));
    }
  }
  int32_t Merge(FileMerger& merger, const std::string& source) {
    return merger.MergeFiles(source.c_str(), Output().c_str());
  }
  int32_t Merge() {
    FileMerger merger;
    return Merge(merger, Source());
  }
  std::string Merged() const { return testing::ReadAsLf(Output()); }

  testing::TempDir dir;
};

TEST_F(FileMergerTest, RefusedArguments) {
  Input("a.txt", "a\tb\t1\n");
  testing::MakeDirectory(dir.Path("merge_temp"));
  testing::WriteFile(Work("keep.txt"), "x\ty\t1\n");
  FileMerger merger;
  EXPECT_EQ(merger.MergeFiles(nullptr, Output().c_str()), kBadArgument);
  EXPECT_EQ(merger.MergeFiles(Source().c_str(), nullptr), kBadArgument);
  EXPECT_EQ(merger.MergeFiles("", Output().c_str()), kBadArgument);
  EXPECT_EQ(merger.MergeFiles(Source().c_str(), ""), kBadArgument);
  EXPECT_EQ(Merge(merger, kSep), kOnlySeparators);
  EXPECT_EQ(Merge(merger, kSep + kSep + kSep), kOnlySeparators);
  // No directory, or the work directory itself: refused, nothing deleted.
  for (const std::string& source : {dir.Path("missing"), Source("a.txt"), Work(), Work() + kSep})
    EXPECT_EQ(Merge(merger, source), kNotADirectory) << source;
  EXPECT_EQ(testing::ReadFile(Work("keep.txt")), "x\ty\t1\n");
  EXPECT_FALSE(testing::FileExists(Output()));
  EXPECT_FALSE(testing::FileExists(Log()));

  EXPECT_EQ(ULO_MulMergeFile(nullptr, Output().c_str()), -1);
  EXPECT_EQ(ULO_MulMergeFile(Source().c_str(), nullptr), -1);
  EXPECT_EQ(ULO_MulMergeFile("", Output().c_str()), kBadArgument);
}

TEST_F(FileMergerTest, EmptySourceLeavesNoWorkDirectory) {
  testing::MakeDirectory(Source("empty" + kSep + "deeper"));
  EXPECT_EQ(Merge(), kNoFiles);
  EXPECT_FALSE(testing::FileExists(Work()));
  EXPECT_FALSE(testing::FileExists(Output()));
}

TEST_F(FileMergerTest, SingleFileIsCopiedByteForByte) {
  // Unsorted, with blank lines and CR LF: copied, never parsed or summed.
  std::string bytes = "z\ty\t1\r\n\nz\ty\t2\na\tb\tx\n";
  Input("only" + kSep + "one.txt", bytes);
  testing::WriteFile(Output(), std::string(500, 'o'));
  // A second merge in the same process lists and copies the same way.
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(ULO_MulMergeFile(Source().c_str(), Output().c_str()), kMergeOk);
    EXPECT_EQ(testing::ReadFile(Output()), bytes);
    EXPECT_FALSE(testing::FileExists(Work()));
  }
}

TEST_F(FileMergerTest, FewFilesMergeInOnePassBesideTheSourceHoweverSpelled) {
  // A user's own directory of that name inside the source is an input: the
  // work directory lies beside the directory the source names, "." and ".."
  // resolved, never in it.
  const std::string userFile = Source("merge_temp" + kSep + "user.txt");
  const std::string beside = kSep + ".." + kSep + "merge_temp" + kSep + "filename.tmp";
  const struct {
    int files;  // with the user's file: one pass either way
    std::string source, list;
    bool fromSource = false;  // relative to the source as the current directory
  } cases[] = {
      {2, Source() + kSep + kSep, Work("filename.tmp")},
      {19, Source() + kSep + "." + kSep, Work("filename.tmp")},
      {2, Source("sub") + kSep + "..", Source("sub") + kSep + ".." + beside},
      {19, ".", "." + beside, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    testing::RemoveAll(Source());
    testing::MakeDirectory(Source("sub"));
    Inputs(c.files, [](int i) {
      return "a\tb\t" + std::to_string(i + 1) + "\nk" + std::to_string(i % 2) + "\tv\t1\n";
    });
    Input("merge_temp" + kSep + "user.txt", "u\tv\t1\n");
    FaultEnv env;
    ProbeMerger merger;
    const std::filesystem::path elsewhere = std::filesystem::current_path();
    if (c.fromSource) std::filesystem::current_path(Source());
    int32_t result = Merge(merger, c.source);
    std::filesystem::current_path(elsewhere);
    ASSERT_EQ(result, kMergeOk);
    int sum = c.files * (c.files + 1) / 2;
    EXPECT_EQ(Merged(), "a\tb\t" + std::to_string(sum) + "\nk0\tv\t" +
                            std::to_string((c.files + 1) / 2) + "\nk1\tv\t" +
                            std::to_string(c.files / 2) + "\nu\tv\t1\n");
    EXPECT_EQ(merger.passes, (std::vector<std::pair<int, int>>{{0, 1}}));
    EXPECT_EQ(env.openedForWrite, (std::vector<std::string>{c.list, Output()}));
    EXPECT_FALSE(testing::FileExists(Work()));
    EXPECT_EQ(testing::ReadFile(userFile), "u\tv\t1\n");
  }
}

TEST_F(FileMergerTest, TwentyOneFilesFormGroupsOfTwentyAndOne) {
  Inputs(21, [](int) { return "w\tz\t2\n"; });
  ProbeMerger merger;
  std::string groupOutputs, nextList;
  merger.atPassStart = [&](int pass) {
    if (pass == 0) {
      // Key "both" goes to the first and the last listed file, so into the
      // two groups: each group's output has it once, the next pass sums it.
      std::string list = testing::ReadAsLf(Work("filename.tmp"));
      std::string first = list.substr(0, list.find('\n'));
      std::string last = list.substr(list.rfind('\n') + 1);
      ASSERT_EQ(std::count(list.begin(), list.end(), '\n'), 20);
      testing::WriteFile(first, "both\tx\t5\nw\tz\t2\n");
      testing::WriteFile(last, "both\tx\t25\nw\tz\t2\n");
    } else {
      nextList = testing::ReadAsLf(Work("namefile_0.tmp"));
      groupOutputs =
          testing::ReadAsLf(Work("output_0.tmp")) + "|" + testing::ReadAsLf(Work("output_1.tmp"));
    }
  };
  ASSERT_EQ(Merge(merger, Source()), kMergeOk);
  EXPECT_EQ(Merged(), "both\tx\t30\nw\tz\t42\n");
  EXPECT_EQ(nextList, Work("output_0.tmp") + "\n" + Work("output_1.tmp"));
  EXPECT_EQ(groupOutputs, "both\tx\t5\nw\tz\t40\n|both\tx\t25\nw\tz\t2\n");
  EXPECT_EQ(merger.passes, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}}));
  std::vector<std::pair<int, int>> progress;
  for (int i = 1; i < 20; ++i)
    progress.emplace_back(i, 0);
  progress.insert(progress.end(), {{0, 1}, {0, 2}, {1, 0}, {0, 1}});
  EXPECT_EQ(merger.progress, progress);
  EXPECT_FALSE(testing::FileExists(Work()));
}

TEST_F(FileMergerTest, FourHundredAndOneFilesTakeThreePasses) {
  Inputs(401, [](int i) {
    return "k\tv\t" + std::to_string(i) + "\nu" + std::to_string(i) + "\tv\t1\n";
  });
  ProbeMerger merger;
  ASSERT_EQ(Merge(merger, Source()), kMergeOk);
  EXPECT_EQ(merger.passes, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}}));
  std::string merged = Merged();
  EXPECT_EQ(merged.substr(0, merged.find('\n')), "k\tv\t80200");
  EXPECT_EQ(std::count(merged.begin(), merged.end(), '\n'), 402);
  EXPECT_NE(merged.find("\nu400\tv\t1\n"), std::string::npos);
  EXPECT_FALSE(testing::FileExists(Work()));
}

TEST_F(FileMergerTest, MergedOutputs) {
  const std::string longWord(5000, '\xC4');
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> inputs;
    std::string merged;
  } cases[] = {
      // ASCII before GB2312 bytes, a word before its extensions, word1 first.
      {"order and line shapes",
       {{"1.txt", "ab\t\xB0\xA1\t1\nab\xB0\t\t\tb\t1\n\xB0\xA1\ta\t1\n"},
        {"2.txt", "\ta\tz\t1\nab\t\xB0\xA1\t2\textra\n\nab\tb\n\xB0\xA1\xB0\xA1\ta\t4\n"},
        {"3.txt", ""},
        {"sub" + kSep + "4.txt", "ab\ta\t-3\r\nab\ta\t2147483647\r\n"}},
       "a\tz\t1\nab\ta\t2147483644\nab\t\xB0\xA1\t3\nab\xB0\tb\t1\n\xB0\xA1\ta\t1\n"
       "\xB0\xA1\xB0\xA1\ta\t4\n"},
      {"blank lines, long lines, large counts",
       {{"1.txt", "a\tb\t2147483647\n\n\nc\td\t1\n" + longWord + "\tx\t1\n"},
        {"2.txt", "a\tb\t2147483647\n\r\n" + longWord + "\tx\t4294967296\n"}},
       "a\tb\t4294967294\nc\td\t1\n" + longWord + "\tx\t4294967297\n"},
      {"empty inputs", {{"1.txt", ""}, {"2.txt", "\n\n"}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::RemoveAll(Source());
    for (const auto& [name, bytes] : c.inputs)
      Input(name, bytes);
    // A stale work directory goes first; the old output is replaced; a
    // directory's attribute word may carry more than the directory bit.
    testing::MakeDirectory(Work("old" + kSep + "deeper"));
    testing::WriteFile(Work("output_0.tmp"), "stale\tline\t9\n");
    testing::WriteFile(Work("old" + kSep + "deeper" + kSep + "x"), "x");
    testing::WriteFile(Output(), "old");
    FaultEnv env;
    env.extraDirectoryBits = platform::kAttributeReadOnly | platform::kAttributeHidden;
    ASSERT_EQ(Merge(), kMergeOk);
    EXPECT_EQ(Merged(), c.merged);
    EXPECT_FALSE(testing::FileExists(Work()));
  }
}

TEST_F(FileMergerTest, OutputInsideTheSourceTreeIsNoInput) {
  Input("1.txt", "a\tb\t1\n");
  Input("2.txt", "a\tb\t2\n");
  std::string output = Source("result.txt");
  for (int run = 0; run < 2; ++run) {
    testing::WriteFile(output, "a\tb\t100\n");
    ASSERT_EQ(ULO_MulMergeFile(Source().c_str(), output.c_str()), kMergeOk);
    EXPECT_EQ(testing::CrLfAsLf(testing::ReadFile(output)), "a\tb\t3\n");
  }
  // An output inside the work directory would be removed with it, one named
  // as the work directory's lock as the lock is let go.
  EXPECT_EQ(ULO_MulMergeFile(Source().c_str(), Work("result.txt").c_str()), kWorkDirFailed);
  EXPECT_FALSE(testing::FileExists(Work()));
  const std::string lock = Work() + ".lock";
  EXPECT_EQ(ULO_MulMergeFile(Source().c_str(), lock.c_str()), kOutputNotWritable);
  EXPECT_FALSE(testing::FileExists(Work()));
  EXPECT_FALSE(testing::FileExists(lock));
  EXPECT_FALSE(testing::FileExists(lock + "_err.log"));
}

TEST_F(FileMergerTest, LinkBackToAnAncestorIsNotFollowed) {
  Input("1.txt", "a\tb\t1\n");
  Input("sub" + kSep + "2.txt", "a\tb\t2\n");
  std::error_code error;
  std::filesystem::create_directory_symlink(Source(), Source("sub" + kSep + "up"), error);
  if (error) GTEST_SKIP() << "no directory links here: " << error.message();
  ASSERT_EQ(Merge(), kMergeOk);
  EXPECT_EQ(Merged(), "a\tb\t3\n");
}

TEST_F(FileMergerTest, WorkDirectoryLinksAreNeverFollowed) {
  Input("1.txt", "a\tb\t1\n");
  Input("2.txt", "a\tb\t2\n");
  const std::string elsewhere = dir.Path("important");
  const struct {
    const char* what;
    std::string link;
    int32_t code;
  } cases[] = {
      // Someone's link, not a work directory of ours: refused, left as it is.
      {"work directory is a link", Work(), kWorkDirFailed},
      // A stale work directory goes, its link as a link.
      {"stale work directory holds a link", Work("link"), kMergeOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Work());  // a link goes as a link
    testing::MakeDirectory(elsewhere + kSep + "deeper");
    testing::WriteFile(elsewhere + kSep + "notes.txt", "x");
    testing::WriteFile(elsewhere + kSep + "deeper" + kSep + "more.txt", "y");
    if (c.link != Work()) testing::MakeDirectory(Work());
    std::error_code error;
    std::filesystem::create_directory_symlink(elsewhere, c.link, error);
    if (error) GTEST_SKIP() << "no directory links here: " << error.message();
    EXPECT_EQ(Merge(), c.code);
    EXPECT_EQ(testing::ReadFile(elsewhere + kSep + "notes.txt"), "x");
    EXPECT_EQ(testing::ReadFile(elsewhere + kSep + "deeper" + kSep + "more.txt"), "y");
    EXPECT_EQ(std::filesystem::is_symlink(c.link), c.code != kMergeOk);
  }
  std::filesystem::remove_all(Work());
}

#if !defined(_WIN32)  // no CR or LF in a Windows file name
TEST_F(FileMergerTest, NamesWithLineEndsAreRefused) {
  // The list file holds a path a line: CR LF would read as LF, and an LF
  // would cut the name in two, its halves taken for other files.
  const struct {
    std::string source;
    std::vector<std::string> files;
    std::string named;  // in the log, CR and LF written as \r and \n
  } cases[] = {
      {"spill", {"p\r", "p"}, "spill" + kSep + "p\\r"},
      {"spill", {"x\ny", "x"}, "spill" + kSep + "x\\ny"},
      {"spill", {"d\r\n" + kSep + "1.txt", "2.txt"}, "spill" + kSep + "d\\r\\n"},
      {"a\nb", {"1.txt", "2.txt"}, "a\\nb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    testing::RemoveAll(dir.Path(c.source));
    testing::RemoveAll(Log());
    for (const std::string& name : c.files) {
      std::string path = dir.Path(c.source) + kSep + name;
      testing::MakeDirectory(path.substr(0, path.rfind(kPathSeparator)));
      testing::WriteFile(path, "a\tb\t1\n");
    }
    FileMerger merger;
    EXPECT_EQ(Merge(merger, dir.Path(c.source)), kNoFiles);
    EXPECT_FALSE(testing::FileExists(Output()));
    EXPECT_FALSE(testing::FileExists(Work()));
    EXPECT_NE(testing::ReadFile(Log()).find(std::string(kLineEndInNamePrefix) + dir.Path(c.named) +
                                            kEntryEnd),
              std::string::npos);
  }
}

#endif

#if !defined(_WIN32)  // on Windows an input held open without sharing (Windows tests)
TEST_F(FileMergerTest, UnreadableInputIsLogged) {
  if (testing::RunningAsRoot()) GTEST_SKIP() << "permissions do not bind root";
  Input("1.txt", "a\tb\t1\n");
  Input("2.txt", "a\tb\t2\n");
  std::filesystem::permissions(Source("2.txt"), std::filesystem::perms::none);
  EXPECT_EQ(Merge(), kInputNotReadable);
  EXPECT_NE(
      testing::ReadFile(Log()).find(std::string(kOpenFailedPrefix) + Source("2.txt") + kEntryEnd),
      std::string::npos);
  EXPECT_FALSE(testing::FileExists(Work()));
}
#endif

TEST_F(FileMergerTest, FailuresReturnTheirCodesAndCloseEveryStream) {
  Inputs(21, [](int i) { return "k\tv\t" + std::to_string(i) + "\n"; });
  Input("sub" + kSep + "f0021.txt", "k\tv\t21\n");
  const std::string single = dir.Path("one");  // a sole input is copied
  testing::MakeDirectory(single);
  testing::WriteFile(single + kSep + "one.txt", "a\tb\t1\n");
  // A fault at the paths ending in `tail`.
  auto fail = [](FaultEnv::Match FaultEnv::*fault, const std::string& tail) {
    return [=](FaultEnv& e) { e.*fault = FaultEnv::EndsWith(tail); };
  };
  const std::string unopened(kOpenFailedPrefix);
  struct Case {
    const char* what;
    std::function<void(FaultEnv&)> inject;
    int32_t code;
    std::string logged = "";
    bool workDirStays = false;
    bool sole = false;
  } cases[] = {
      {"input not opened", fail(&FaultEnv::failOpenRead, "f0020.txt"), kInputNotReadable,
       unopened + Source("f0020.txt")},
      {"input read fails", fail(&FaultEnv::failRead, "f0003.txt"), kInputNotReadable,
       unopened + Source("f0003.txt")},
      {"list not opened", fail(&FaultEnv::failOpenRead, "namefile_0.tmp"), kListNotReadable},
      {"first output not created", fail(&FaultEnv::failOpenWrite, "output_0.tmp"),
       kOutputNotWritable},
      {"further output not created", fail(&FaultEnv::failOpenWrite, "output_1.tmp"), kMergeFailed},
      {"intermediate not written", fail(&FaultEnv::failWrite, "output_0.tmp"), kMergeFailed},
      {"next list not written", fail(&FaultEnv::failOpenWrite, "namefile_0.tmp"), kMergeFailed},
      {"output not written", fail(&FaultEnv::failWrite, "out.txt"), kOutputNotWritable},
      {"exception",
       [&](FaultEnv& e) {
         e.beforeOpenRead = [](const std::string& path) {
           if (FaultEnv::EndsWith("f0007.txt")(path)) throw std::bad_alloc();
         };
       },
       kMergeFailed, "Exception occur!", true},
      {"listing fails", fail(&FaultEnv::failListing, "spill"), kNoFiles, unopened + Source()},
      {"subdirectory not opened", fail(&FaultEnv::failOpenDirectory, "sub"), kNoFiles,
       unopened + Source("sub")},
      {"list not created", fail(&FaultEnv::failOpenWrite, "filename.tmp"), kNoFiles},
      {"work directory not created", [](FaultEnv& e) { e.failCreateDir = FaultEnv::Always(); },
       kWorkDirFailed},
      // The stale directory cannot go, so it cannot be made afresh either.
      {"stale file not deleted",
       [&](FaultEnv& e) {
         testing::MakeDirectory(Work());
         testing::WriteFile(Work("held.tmp"), "x");
         e.failRemoveFile = FaultEnv::EndsWith("held.tmp");
       },
       kWorkDirFailed,
       std::string(kDeleteFailedPrefix) + Work("held.tmp") + std::string(kDeleteFailedReason) +
           "injected ",
       true},
      {"sole input: list not opened", fail(&FaultEnv::failOpenRead, "filename.tmp"),
       kListNotReadable, "", false, true},
      {"sole input not copied", [](FaultEnv& e) { e.failCopy = FaultEnv::Always(); },
       kOutputNotWritable, "", false, true},
      // The file went between listing and copying.
      {"sole input vanished", [](FaultEnv& e) { e.reportMissing = true; }, kSingleFileVanished, "",
       true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::RemoveAll(Log());
    testing::RemoveAll(Work());
    FaultEnv env;
    c.inject(env);
    FileMerger merger;
    EXPECT_EQ(Merge(merger, c.sole ? single : Source()), c.code);
    EXPECT_EQ(env.openFiles.load(), 0);
    EXPECT_EQ(testing::FileExists(Work()), c.workDirStays);
    std::string log = testing::ReadFile(Log());
    if (c.logged.empty()) {
      EXPECT_EQ(log, "");
    } else {
      EXPECT_NE(log.find("  " + c.logged + kEntryEnd), std::string::npos) << log;
    }
  }
}

// The log entries' time stamps, made known.
class FixedClockEnv : public platform::EnvWrapper {
 public:
  FixedClockEnv() : EnvWrapper(platform::Env::Default()) {}
  platform::LocalTime Now() override { return {2026, 2, 1, 9, 5, 3}; }
};

// The merger's log below shows the rest of an entry's form.
TEST(ErrorLogTest, YearIsZeroPadded) {
  EXPECT_EQ(FormatLogEntry({999, 12, 31, 23, 59, 60}, ""), "0999-12-31  23:59:60  \r\n");
}

TEST(ErrorLogTest, MergerAppendsTimestampedEntriesBesideTheOutput) {
  testing::TempDir dir;
  FixedClockEnv clock;
  platform::ScopedEnvOverride use(&clock);
  FileMerger merger;
  // A source that is no directory is refused before anything is logged,
  // but it makes the merger note its output path.
  ASSERT_EQ(merger.MergeFiles(dir.Path("missing").c_str(), dir.Path("merged.txt").c_str()),
            kNotADirectory);
  EXPECT_FALSE(testing::FileExists(dir.Path("merged.txt_err.log")));

  std::string longPath = dir.Path(std::string(1200, 'q') + "%s%n");
  merger.LogError(std::string(kOpenFailedPrefix) + longPath);
  merger.LogError(kExceptionMessage);
  std::string log = testing::ReadFile(dir.Path("merged.txt_err.log"));
  std::string stamp = "2026-02-01  09:05:03  ";
  std::string first = stamp + std::string(kOpenFailedPrefix) + longPath;
  first.resize(kMaxLogEntry);
  EXPECT_EQ(log, first + kEntryEnd + stamp + "Exception occur!" + kEntryEnd);

  // A path that asks for formatting is written as it is.
  testing::RemoveAll(dir.Path("merged.txt_err.log"));
  merger.LogError(std::string(kOpenFailedPrefix) + "C:\\100%s\\%d.txt");
  EXPECT_EQ(testing::ReadFile(dir.Path("merged.txt_err.log")),
            stamp + "\xB4\xF2\xBF\xAA\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC\xA3\xA1" +
                "C:\\100%s\\%d.txt" + kEntryEnd);
}

}  // namespace
}  // namespace ulo::merge
