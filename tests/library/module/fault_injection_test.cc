// Every operation on a failing file system: each write in turn made to fail,
// a real full disk (/dev/full and a small tmpfs of its own), a directory that
// cannot be written. Each failure must come back through the operation's
// result, and no file may be left behind that looks complete while it is not.
#include <errno.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "library/module/fake_exports.h"
#include "merge/file_merger.h"
#include "module/extension_module.h"
#include "pairstat/pair_accumulator.h"
#include "platform/env.h"
#include "support/fault_env.h"
#include "support/small_disk.h"
#include "support/test_support.h"
#include "vorn_ulo.h"

namespace ulo::testing {
namespace {

namespace fs = std::filesystem;

// Every file under `root`, by its path below it, with its bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    files[fs::relative(entry.path(), root).string()] = ReadFile(entry.path().string());
  }
  return files;
}

// One operation on the files Prepare() makes, writing to the directory
// "out"; tells whether it reported success.
struct Operation {
  const char* name;
  std::function<bool(const TempDir&)> run;
  int writes;           // in a run without faults
  bool spills = false;  // writes spill files, each to be whole or absent
};

std::string Lines(int n, const std::function<std::string(int)>& line) {
  std::string text;
  for (int i = 0; i < n; ++i)
    text += line(i);
  return text;
}

void Prepare(const TempDir& dir) {
  MakeDirectory(dir.Path("out"));
  // Pair-count lines, enough for outputs of several write blocks.
  WriteFile(dir.Path("in.txt"), Lines(12000, [](int i) {
              return "w" + std::to_string(i) + "\tv" + std::to_string(i % 7) + "\t" +
                     std::to_string(i) + "\n";
            }));
  // 25 merge inputs: two passes, intermediate files and a next list.
  MakeDirectory(dir.Path("src"));
  for (int i = 0; i < 25; ++i) {
    WriteFile(dir.Path("src/f" + std::to_string(i) + ".txt"),
              "a\tb\t1\nk" + std::to_string(i) + "\tv\t2\n");
  }
}

const Operation kOperations[] = {
    {"spills",
     [](const TempDir& dir) {
       // Spills after every third distinct pair: four files.
       pairstat::PairAccumulator accumulator(3);
       bool stored = accumulator.Start(dir.Path("out").c_str());
       for (int i = 0; i < 10; ++i)
         stored = accumulator.AddPair("a" + std::to_string(i), "b", i) && stored;
       return accumulator.Finish() && stored;
     },
     4, true},
    {"counting run",
     [](const TempDir& dir) {
       if (ULO_Stat_AssociatedFreq_Begin(dir.Path("out").c_str()) != 1) return false;
       for (int i = 0; i < 10; ++i)
         ULO_Stat_AssociatedFreq(("a" + std::to_string(i)).c_str(), "b", 1, 0);
       return ULO_Stat_AssociatedFreq_End() == 1;
     },
     1, true},
    // The list, two intermediate files, two next-list entries, the output.
    {"merge",
     [](const TempDir& dir) {
       return ULO_MulMergeFile(dir.Path("src").c_str(), dir.Path("out/m.txt").c_str()) == 0;
     },
     6},
    {"filter",
     [](const TempDir& dir) {
       return ULO_Filtrate(dir.Path("in.txt").c_str(), dir.Path("out/f.txt").c_str(), 2) == 1;
     },
     2},
    {"support records",
     [](const TempDir& dir) {
       return ULO_GetWordSupportRec(dir.Path("in.txt").c_str(), dir.Path("out/s.txt").c_str()) == 1;
     },
     2},
    {"top-N",
     [](const TempDir& dir) {
       return ULO_GetTopNWordSupportRec(dir.Path("in.txt").c_str(), dir.Path("out/t.txt").c_str(),
                                        3) == 1;
     },
     1},
};

// Each write of each operation made to fail in turn: the operation must say
// so, and where it wrote pieces of its work in separate files (the spill
// files), every file left must be whole.
TEST(FaultInjectionTest, EveryFailedWriteIsReported) {
  for (const Operation& operation : kOperations) {
    SCOPED_TRACE(operation.name);
    // A run without faults: how many writes, and what it leaves.
    TempDir clean;
    Prepare(clean);
    int writes;
    {
      FaultEnv counter;
      ASSERT_TRUE(operation.run(clean));
      writes = counter.writes;
    }
    ASSERT_EQ(writes, operation.writes);
    const auto expected = Tree(clean.Path("out"));

    for (bool onward : {false, true}) {
      for (int n = 1; n <= writes; ++n) {
        SCOPED_TRACE("write " + std::to_string(n) + (onward ? " and all after it fail" : " fails"));
        TempDir dir;
        Prepare(dir);
        FaultEnv env;
        env.failWrite = FaultEnv::Nth(n, onward);
        const bool succeeded = operation.run(dir);
        ASSERT_GT(env.faults.load(), 0);
        EXPECT_FALSE(succeeded);
        EXPECT_FALSE(FileExists(dir.Path("merge_temp")));
        if (operation.spills) {
          // Spill files that failed are gone; those left are whole.
          for (const auto& [name, bytes] : Tree(dir.Path("out"))) {
            ASSERT_TRUE(expected.count(name)) << name;
            EXPECT_EQ(bytes, expected.at(name)) << name;
          }
        }
      }
    }
  }
}

// Words long enough to fill the small disk quickly.
std::string LongWord(int i) {
  return "word" + std::string(40, 'x') + std::to_string(i);
}

class FullDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disk = std::make_unique<SmallDisk>(dir.Path("small"), "size=256k");
    if (!disk->mounted) GTEST_SKIP() << disk->reason;
  }
  std::string Small(const std::string& name) { return dir.Path("small") + "/" + name; }

  int32_t Send(const CommandBuffer& command) { return command.SendTo(module.get()); }

  TempDir dir;
  std::unique_ptr<SmallDisk> disk;
  ModulePtr module{new module::ExtensionModuleImpl()};
};

TEST_F(FullDiskTest, CountingRunWhoseLastSpillDoesNotFit) {
  MakeDirectory(Small("run"));
  ASSERT_EQ(Send(commands::Begin(Small("run"))), 0);
  // About 1 MB of spill file, four times the disk.
  for (int i = 0; i < 20000; ++i) {
    ASSERT_EQ(Send(commands::AddPair(LongWord(i), "v", 1)), 0);
  }
  EXPECT_EQ(Send(commands::End()), module::kStatusEndFailed);
  // The cut spill file is gone: the disk is empty again.
  EXPECT_TRUE(Tree(Small("run")).empty());
  // And a run that fits goes through on the same disk.
  ASSERT_EQ(Send(commands::Begin(Small("run"))), 0);
  ASSERT_EQ(Send(commands::AddPair("a", "b", 2)), 0);
  EXPECT_EQ(Send(commands::End()), 0);
  EXPECT_EQ(ReadFile(Small("run/temp1.txt")), "a\tb\t2\n");
}

TEST_F(FullDiskTest, MergeWhoseWorkOrOutputDoesNotFit) {
  // 21 inputs of 8 KiB on the small disk: the first pass's intermediate
  // files do not fit beside them.
  auto input = [](int i) {
    return Lines(160, [i](int j) { return LongWord(j) + "\tv" + std::to_string(i) + "\t1\n"; });
  };
  MakeDirectory(Small("src"));
  for (int i = 0; i < 21; ++i)
    WriteFile(Small("src/f" + std::to_string(i) + ".txt"), input(i));
  EXPECT_EQ(Send(commands::Merge(Small("src"), dir.Path("m.txt"))), module::kStatusMergeFailed);
  EXPECT_EQ(ULO_MulMergeFile(Small("src").c_str(), dir.Path("m.txt").c_str()), merge::kMergeFailed);
  EXPECT_FALSE(FileExists(Small("merge_temp")));

  // 41 inputs elsewhere, the output (over 300 KiB) on the small disk.
  MakeDirectory(dir.Path("src"));
  for (int i = 0; i < 41; ++i)
    WriteFile(dir.Path("src/f" + std::to_string(i) + ".txt"), input(i));
  EXPECT_EQ(ULO_MulMergeFile(dir.Path("src").c_str(), Small("m.txt").c_str()),
            merge::kOutputNotWritable);
  EXPECT_FALSE(FileExists(dir.Path("merge_temp")));
  // A single input is copied: that fails alike.
  MakeDirectory(dir.Path("one"));
  WriteFile(dir.Path("one/f.txt"), Lines(40, input));
  EXPECT_EQ(ULO_MulMergeFile(dir.Path("one").c_str(), Small("m.txt").c_str()),
            merge::kOutputNotWritable);
}

// The first `count` of the merge inputs a.txt (a b 1) and b.txt (a b 2).
void WriteSmallInputs(const std::string& src, int count) {
  MakeDirectory(src);
  for (int i = 0; i < count; ++i)
    WriteFile(src + "/" + char('a' + i) + ".txt", "a\tb\t" + std::to_string(i + 1) + "\n");
}

TEST(DevFullTest, MergeOutputOnAFullDevice) {
  TempDir dir;
  WriteSmallInputs(dir.Path("src"), 1);
  // One input is copied, two are merged: both onto the full device.
  EXPECT_EQ(ULO_MulMergeFile(dir.Path("src").c_str(), "/dev/full"), merge::kOutputNotWritable);
  WriteSmallInputs(dir.Path("src"), 2);
  EXPECT_EQ(ULO_MulMergeFile(dir.Path("src").c_str(), "/dev/full"), merge::kOutputNotWritable);
  EXPECT_FALSE(FileExists(dir.Path("merge_temp")));
}

// A directory nothing can be written in: read-only by its mode where the
// tests run unprivileged, a read-only mount where they run as root. It holds
// a merge's inputs, so that the merge cannot make its work directory there.
TEST(UnwritableDirectoryTest, EveryOperationReportsIt) {
  TempDir dir;
  std::string locked = dir.Path("locked");
  std::unique_ptr<SmallDisk> disk;
  if (RunningAsRoot()) {
    disk = std::make_unique<SmallDisk>(locked, "size=64k");
    if (!disk->mounted) GTEST_SKIP() << disk->reason;
    WriteSmallInputs(locked + "/src", 2);
    ASSERT_EQ(::mount("tmpfs", locked.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << ::strerror(errno);
  } else {
    WriteSmallInputs(locked + "/src", 2);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  }
  const auto before = Tree(locked);
  ModulePtr module(new module::ExtensionModuleImpl());
  auto send = [&](const CommandBuffer& command) { return command.SendTo(module.get()); };

  // The counting run: Begin takes the directory, End cannot write to it.
  ASSERT_EQ(send(commands::Begin(locked)), 0);
  EXPECT_EQ(send(commands::AddPair("a", "b", 1, 0)), 0);
  EXPECT_EQ(send(commands::End()), module::kStatusEndFailed);

  // The merge: no work directory beside its inputs, no output file.
  EXPECT_EQ(send(commands::Merge(locked + "/src", dir.Path("m"))), module::kStatusMergeFailed);
  EXPECT_EQ(ULO_MulMergeFile((locked + "/src").c_str(), dir.Path("m").c_str()),
            merge::kWorkDirFailed);
  WriteSmallInputs(dir.Path("src"), 2);
  EXPECT_EQ(ULO_MulMergeFile(dir.Path("src").c_str(), (locked + "/m").c_str()),
            merge::kOutputNotWritable);

  const std::string in = dir.Path("src/a.txt");
  EXPECT_EQ(send(commands::Filter(in, locked + "/f", 0)), module::kStatusFilterFailed);
  EXPECT_EQ(send(commands::Support(in, locked + "/s")), module::kStatusSupportFailed);
  EXPECT_EQ(ULO_GetTopNWordSupportRec(in.c_str(), (locked + "/t").c_str(), 2), 0);
  EXPECT_EQ(Tree(locked), before);
  if (!disk) fs::permissions(locked, fs::perms::owner_all);
}

}  // namespace
}  // namespace ulo::testing
