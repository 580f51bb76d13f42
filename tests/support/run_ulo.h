// Running the ulo tool from a test: to the end, or in the background to be
// disturbed, with its output in files.
#ifndef ULO_TESTS_SUPPORT_RUN_ULO_H_
#define ULO_TESTS_SUPPORT_RUN_ULO_H_

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

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

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_RUN_ULO_H_
