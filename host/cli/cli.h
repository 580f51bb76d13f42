// What every ulo command shares: the global options, the exit codes, the
// failure line, the help layout, the argument checks and the loaded library.
#ifndef ULO_HOST_CLI_H_
#define ULO_HOST_CLI_H_

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/files/checks.h"
#include "engine/session/operations.h"
#include "engine/session/session.h"
#include "host/library/loader.h"

namespace ulo::host {

// ulo is a thin front-end over the engine and uses its names as they are.
using namespace ::ulo::engine;

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Options given before (or after) the command.
struct Global {
  std::string libraryPath;
  bool quiet = false;
  bool direct = false;
  bool trustInput = false;
  bool sync = false;

  // How the library's file operations check their inputs and store outputs.
  OperationOptions operations() const { return {trustInput, {sync}}; }
};

// Prints "ulo: MESSAGE" on standard error; returns kExitFailure.
int Fail(const std::string& message);
// 0 for an empty failure line; otherwise Fail(failure).
int Report(const std::string& failure);
// Prints "ulo: MESSAGE" on standard error under --quiet too: what a command
// tells of its result, which is no progress.
void Tell(const std::string& message);

// Progress lines go to standard error only while it is a terminal.
bool ShowProgress(const Global& global);

// A command status with its meaning: "-4354: ...".
std::string StatusText(int32_t status);

// The library, loaded the first time a command needs it.
class Host {
 public:
  explicit Host(const Global& global) : global(global) {}
  // The open session, or null after printing why there is none.
  Session* Open();
  const Global& options() const { return global; }

 private:
  const Global& global;
  Library library;
  engine::Exports exports;
  std::optional<Session> session;
  bool tried = false;
};

// A command's work once its arguments are parsed; returns the exit code.
using Runner = std::function<int(Host&)>;

// Help text laid out as "usage: ulo COMMAND USAGE", the description, then
// the arguments and options that CLI11 lists from their definitions.
class HelpFormatter : public CLI::Formatter {
 public:
  explicit HelpFormatter(std::string usage) : usage(std::move(usage)) {}
  std::string make_usage(const CLI::App* app, std::string name) const override;
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override;
  // A command in the list of 'ulo --help': its usage and its summary.
  std::string make_subcommand(const CLI::App* command) const override;
  // Option texts wrapped to the width of a terminal.
  std::string make_option_desc(const CLI::Option* option) const override;

 private:
  std::string usage;
};

// A subcommand of `app` whose help starts with "usage: ulo NAME USAGE".
CLI::App* AddCommand(CLI::App& app, const std::string& name, const std::string& usage,
                     const std::string& description);

// IN and OUT of the commands that turn one file into another.
struct FileArguments {
  std::string in;
  std::string out;
  int32_t number = 0;
};
void AddInOut(CLI::App& command, FileArguments* args, const char* in, const char* inHelp,
              const char* outHelp);

// Why writing `outputs`, or replacing the directory `workDir` whole (when
// not empty), would destroy one of `inputs`: "IN and OUT are the same file"
// or "IN lies inside WORK". Empty when none would.
std::string InputOverwritten(const std::vector<std::string>& inputs,
                             const std::vector<std::string>& outputs,
                             const std::string& workDir = "");

// Argument checks, run on the text before it is converted.
// A decimal whole number from `minimum` to `maximum`. Every integer option
// and argument takes it, or one below, through ->transform(): it leaves the
// text as the number it read, so that CLI11's own conversion, which takes a
// base from "0" or "0x", cannot read it otherwise (->check() would hand the
// conversion the text as typed).
CLI::Validator WholeNumber(int64_t minimum, int64_t maximum);
// A whole number within the 32-bit range, at least `minimum`.
CLI::Validator Int32AtLeast(int64_t minimum);
// A 32-bit signed integer.
CLI::Validator Int32Any();
// An encoding that iconv converts to and from.
CLI::Validator KnownEncoding();
// An encoding words can be written in (OutputEncodingProblem): for --to.
CLI::Validator WritableEncoding();

}  // namespace ulo::host

#endif  // ULO_HOST_CLI_H_
