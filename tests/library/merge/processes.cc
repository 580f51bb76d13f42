#include "library/merge/processes.h"

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

namespace ulo::testing {
namespace {

#if defined(_WIN32)

class WindowsChild final : public ChildProcess {
 public:
  explicit WindowsChild(const std::vector<std::string>& arguments) {
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string program(self, length);
    program = program.substr(0, program.find_last_of("\\/") + 1) + ULO_MERGE_WORKER_NAME;
    std::string command = "\"" + program + "\"";
    for (const std::string& argument : arguments)
      command += " \"" + argument + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
      message = "CreateProcessA failed: " + std::to_string(GetLastError());
      return;
    }
    CloseHandle(info.hThread);
    running = true;
  }
  ~WindowsChild() override { Wait(); }

  bool started() const override { return running || finished; }
  const std::string& error() const override { return message; }
  int Wait() override {
    if (running) {
      WaitForSingleObject(info.hProcess, INFINITE);
      DWORD code = 0;
      exitCode = GetExitCodeProcess(info.hProcess, &code) ? static_cast<int>(code) : -1000;
      CloseHandle(info.hProcess);
      running = false;
      finished = true;
    }
    return exitCode;
  }

 private:
  PROCESS_INFORMATION info = {};
  bool running = false, finished = false;
  int exitCode = -1000;
  std::string message;
};

#else

class PosixChild final : public ChildProcess {
 public:
  explicit PosixChild(const std::vector<std::string>& arguments) {
    std::vector<std::string> words{ULO_MERGE_WORKER_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
      argv.push_back(word.data());
    argv.push_back(nullptr);
    int result = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (result != 0) message = std::string("posix_spawn failed: ") + std::strerror(result);
    running = result == 0;
  }
  ~PosixChild() override { Wait(); }

  bool started() const override { return running || finished; }
  const std::string& error() const override { return message; }
  int Wait() override {
    if (running) {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
      running = false;
      finished = true;
    }
    return exitCode;
  }

 private:
  pid_t pid = -1;
  bool running = false, finished = false;
  int exitCode = -1000;
  std::string message;
};

#endif

}  // namespace

std::unique_ptr<ChildProcess> StartMergeWorker(const std::vector<std::string>& arguments) {
#if defined(_WIN32)
  return std::make_unique<WindowsChild>(arguments);
#else
  return std::make_unique<PosixChild>(arguments);
#endif
}

}  // namespace ulo::testing
