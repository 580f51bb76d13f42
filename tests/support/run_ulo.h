// Running the ulo tool from a test: to the end, or in the background to be
// disturbed, with its output in files.
#ifndef ULO_TESTS_SUPPORT_RUN_ULO_H_
#define ULO_TESTS_SUPPORT_RUN_ULO_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "contains.h"
#include "test_support.h"

namespace ulo::testing {

struct UloResult {
  int exitCode;  // -1 when ended by a signal
  std::string out;
  std::string err;
};

// Starts `ulo --quiet ARGS...` with its standard output and error in
// `outPath` and `errPath`; returns its process id.
inline pid_t StartUlo(const std::vector<std::string>& args, const std::string& outPath,
                      const std::string& errPath) {
  std::vector<std::string> all = {ULO_TOOL_PATH, "--quiet"};
  all.insert(all.end(), args.begin(), args.end());
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    for (std::string& arg : all)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

inline int WaitExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline UloResult RunUlo(const TempDir& dir, const std::vector<std::string>& args) {
  std::string out = dir.Path("ulo.stdout"), err = dir.Path("ulo.stderr");
  int code = WaitExit(StartUlo(args, out, err));
  return {code, ReadFile(out), ReadFile(err)};
}

// Runs `ulo --quiet ARGUMENTS` through the shell, so that ARGUMENTS may quote
// and redirect, with its output in files of `dir`. `stdinPath` (for instance
// /dev/null), when given, is its standard input.
inline UloResult RunUloCommandLine(const TempDir& dir, const std::string& arguments,
                                   const std::string& stdinPath = "") {
  std::string command = std::string(ULO_TOOL_PATH) + " --quiet " + arguments + " >" +
                        dir.Path("stdout") + " 2>" + dir.Path("stderr");
  if (!stdinPath.empty()) command += " <" + stdinPath;
  int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir.Path("stdout")),
          ReadFile(dir.Path("stderr"))};
}

// Makes mknod and mknodat fail with EPERM in this process and every program
// it runs, as on a file system without named pipes. False when the system
// did not take the filter, or a named pipe can still be made at `probe`.
inline bool RefuseFifos(const std::string& probe) {
  constexpr uint32_t kRefuse = SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA);
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_mknodat, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, kRefuse),
#ifdef __NR_mknod
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_mknod, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, kRefuse),
#endif
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    return false;
  }
  return mkfifo(probe.c_str(), 0600) != 0 && errno == EPERM;
}

// RunUloCommandLine where no named pipe can be made; exit code 125 when
// that could not be arranged.
inline UloResult RunUloCommandLineWithoutFifos(const TempDir& dir, const std::string& arguments) {
  pid_t pid = fork();
  if (pid == 0) {
    if (!RefuseFifos(dir.Path("fifo-probe"))) _exit(125);
    int code = RunUloCommandLine(dir, arguments, "/dev/null").exitCode;
    _exit(code < 0 ? 126 : code);
  }
  int code = WaitExit(pid);
  return {code, ReadFile(dir.Path("stdout")), ReadFile(dir.Path("stderr"))};
}

// The first staging entry (NAME.ulo-partial...) or merge work directory
// under `dir`, which an interrupted ulo would leave; empty when none.
inline std::string Leftover(const std::string& dir) {
  std::error_code code;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, code)) {
    std::string name = entry.path().filename().string();
    if (name.find(".ulo-partial") != std::string::npos || name == "merge_temp")
      return entry.path().string();
  }
  return "";
}

// A scratch directory to run ulo in, through the shell. In a command line,
// {NAME} stands for the quoted path of NAME in the directory.
class UloCommandTest : public ::testing::Test {
 protected:
  std::string Expand(const std::string& line) const {
    std::string out;
    for (size_t at = 0; at < line.size();) {
      size_t open = line.find('{', at), close = line.find('}', open);
      if (open == std::string::npos || close == std::string::npos) {
        out += line.substr(at);
        break;
      }
      out += line.substr(at, open - at) + "'" + dir.Path(line.substr(open + 1, close - open - 1)) +
             "'";
      at = close + 1;
    }
    return out;
  }
  UloResult Run(const std::string& line) const {
    return RunUloCommandLine(dir, Expand(line), "/dev/null");
  }
  // Runs `line`, which must succeed.
  UloResult RunOk(const std::string& line) const {
    UloResult result = Run(line);
    EXPECT_EQ(result.exitCode, 0) << line << "\n" << result.err;
    return result;
  }
  // Runs `line`, which must fail with `code` and one line that mentions `mentions`.
  UloResult Fails(const std::string& line, const std::string& mentions, int code = 1) const {
    SCOPED_TRACE(line);
    UloResult result = Run(line);
    EXPECT_EQ(result.exitCode, code) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_TRUE(Contains(result.err, mentions));
    return result;
  }
  std::string Read(const std::string& name) const { return ReadFile(dir.Path(name)); }
  void Write(const std::string& name, const std::string& bytes) const {
    WriteFile(dir.Path(name), bytes);
  }
  bool Exists(const std::string& name) const { return FileExists(dir.Path(name)); }

  TempDir dir;
};

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_RUN_ULO_H_
