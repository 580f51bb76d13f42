// Merges whose sources share a parent share its work directory: they take
// turns on it, within one process and across processes, and leave nothing
// behind.
#if defined(_WIN32)
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
extern char** environ;
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "merge/error_log.h"
#include "merge/file_merger.h"
#include "merge/work_dir_lock.h"
#include "platform/env.h"
#include "support/test_support.h"

namespace ulo::merge {
namespace {

using testing::FileExists;
using testing::MakeDirectory;
using testing::ReadFile;
using testing::ReadTextFile;
using testing::TempDir;
using testing::WriteFile;

// merge_worker (worker.cc), which lies beside the test program, started as a
// process of its own to merge `source` into `output` once `gate` exists;
// going, it waits for the process to end.
class MergeWorker {
 public:
  MergeWorker(const std::string& source, const std::string& output, const std::string& gate);
  ~MergeWorker() { Wait(); }
  MergeWorker(const MergeWorker&) = delete;
  MergeWorker& operator=(const MergeWorker&) = delete;

  bool started() const { return launched; }
  const std::string& error() const { return message; }
  // Waits for the process to end; its exit code, or -1000 when it did not
  // exit normally.
  int Wait() {
    if (launched && !waited) exitCode = WaitForExit();
    waited = true;
    return exitCode;
  }

 private:
  int WaitForExit();

#if defined(_WIN32)
  PROCESS_INFORMATION info = {};
#else
  pid_t pid = -1;
#endif
  bool launched = false, waited = false;
  int exitCode = -1000;
  std::string message;
};

#if defined(_WIN32)
MergeWorker::MergeWorker(const std::string& source, const std::string& output,
                         const std::string& gate) {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string program(self, length);
  program = program.substr(0, program.find_last_of("\\/") + 1) + ULO_MERGE_WORKER_NAME;
  std::string command = "\"" + program + "\"";
  for (const std::string& argument : {source, output, gate})
    command += " \"" + argument + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    message = "CreateProcessA failed: " + std::to_string(GetLastError());
    return;
  }
  CloseHandle(info.hThread);
  launched = true;
}

int MergeWorker::WaitForExit() {
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  int result = GetExitCodeProcess(info.hProcess, &code) ? static_cast<int>(code) : -1000;
  CloseHandle(info.hProcess);
  return result;
}
#else
MergeWorker::MergeWorker(const std::string& source, const std::string& output,
                         const std::string& gate) {
  std::string words[] = {ULO_MERGE_WORKER_PATH, source, output, gate};
  char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), nullptr};
  int result = posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ);
  if (result != 0) message = std::string("posix_spawn failed: ") + std::strerror(result);
  launched = result == 0;
}

int MergeWorker::WaitForExit() {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
}
#endif

// Sorted pair-count files for `files` inputs under `dir`, their keys
// overlapping from file to file; returns the merged text they must give.
std::string WriteInputs(const std::string& dir, int files, int lines, int salt) {
  MakeDirectory(dir);
  std::map<std::string, long long> expected;
  for (int f = 0; f < files; ++f) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
      char key[48];
      std::snprintf(key, sizeof key, "w%05d\tv%03d", i * 3 + f % 5, (salt * 7 + f) % 100);
      int count = 1 + (i + f + salt) % 9;
      text += key;
      text += "\t" + std::to_string(count) + "\n";
      expected[key] += count;
    }
    WriteFile(dir + platform::kPathSeparator + "temp" + std::to_string(f + 1) + ".txt", text);
  }
  std::string merged;
  for (const auto& [key, count] : expected)
    merged += key + "\t" + std::to_string(count) + "\n";
  return merged;
}

bool LogSaysItWaited(const std::string& output) {
  return ReadFile(ErrorLogPath(output)).find("Waited ") != std::string::npos;
}

TEST(WorkDirLockTest, MergeWaitsWhileAnotherHoldsTheWorkDirectoryAndSaysSo) {
  TempDir root;
  std::string source = root.Path("a");
  std::string expected = WriteInputs(source, 3, 200, 1);
  std::string workDir = root.Path(FileMerger::kWorkDirName);
  std::string output = root.Path("out.txt");

  int error = 0;
  auto other = platform::Env::Current()->LockFile(WorkDirLockPath(workDir), false, &error);
  ASSERT_TRUE(other);
  std::atomic<bool> done{false};
  int32_t result = 1;
  std::thread merge([&] {
    FileMerger merger;
    result = merger.MergeFiles(source.c_str(), output.c_str());
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(done.load()) << "the merge did not wait for the holder";
  EXPECT_FALSE(FileExists(workDir)) << "the work directory was touched while held";
  other.reset();
  merge.join();

  EXPECT_EQ(result, kMergeOk);
  EXPECT_EQ(ReadTextFile(output), expected);
  EXPECT_TRUE(LogSaysItWaited(output));
  EXPECT_FALSE(FileExists(workDir));
  EXPECT_FALSE(FileExists(WorkDirLockPath(workDir)));
}

// A tree with the lock files of merges of its subdirectories, holding bytes
// that read as pairs, and beside it no lock file, one left by a merge that was
// killed (empty, as lock files are) or a user's own file of that name:
// neither is an input, the leftover goes, the user's file stays, and a merge
// nobody held up logs nothing.
TEST(WorkDirLockTest, LockFilesAreNeverInputsAndOneLeftBehindGoes) {
  const struct {
    const char* what;
    const char* beside;  // the bytes of the file beside, if any
  } cases[] = {
      {"no lock file", nullptr},
      {"a lock file left behind", ""},
      {"a user's file of that name", "notes\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir root;
    std::string source = root.Path("runs");
    std::string expected = WriteInputs(source + platform::kPathSeparator + "a", 2, 40, 3);
    WriteFile(source + platform::kPathSeparator + std::string(kWorkDirLockName), "x\ty\t5\n");
    std::string ownLock = WorkDirLockPath(root.Path(FileMerger::kWorkDirName));
    if (c.beside) WriteFile(ownLock, c.beside);
    std::string output = root.Path("out.txt");
    FileMerger merger;
    EXPECT_EQ(merger.MergeFiles(source.c_str(), output.c_str()), kMergeOk);
    EXPECT_EQ(ReadTextFile(output), expected);
    EXPECT_FALSE(FileExists(ErrorLogPath(output)));
    bool usersOwn = c.beside && *c.beside;
    EXPECT_EQ(FileExists(ownLock), usersOwn);
    if (usersOwn) {
      EXPECT_EQ(ReadFile(ownLock), c.beside);
    }
  }
}

// Eight processes merging eight sibling directories at once: every output
// exact, no work directory and no lock file left.
TEST(WorkDirLockTest, EightProcessesMergingSiblingDirectoriesAtOnce) {
  constexpr int kMerges = 8;
  TempDir root;
  std::string gate = root.Path("go");
  std::vector<std::string> sources, outputs, expected;
  for (int m = 0; m < kMerges; ++m) {
    sources.push_back(root.Path("spill" + std::to_string(m)));
    outputs.push_back(root.Path("merged" + std::to_string(m) + ".txt"));
    // 24 files: two passes, with intermediate files in the work directory.
    expected.push_back(WriteInputs(sources.back(), 24, 3000, m));
  }
  std::vector<std::unique_ptr<MergeWorker>> workers;
  for (int m = 0; m < kMerges; ++m) {
    workers.push_back(std::make_unique<MergeWorker>(sources[m], outputs[m], gate));
    ASSERT_TRUE(workers.back()->started()) << workers.back()->error();
  }
  WriteFile(gate, "");

  int waited = 0;
  for (int m = 0; m < kMerges; ++m) {
    EXPECT_EQ(workers[m]->Wait(), 0) << "merge " << m;
    EXPECT_EQ(ReadTextFile(outputs[m]), expected[m]) << "merge " << m;
    waited += LogSaysItWaited(outputs[m]);
  }
  EXPECT_FALSE(FileExists(root.Path(FileMerger::kWorkDirName)));
  EXPECT_FALSE(FileExists(WorkDirLockPath(root.Path(FileMerger::kWorkDirName))));
  // They ran side by side: some found the work directory taken.
  EXPECT_GT(waited, 0);
}

}  // namespace
}  // namespace ulo::merge
