// ulo: the command-line host of the Vorn_ULO library. It loads the library at
// run time, turns corpora into word pairs and drives the counting run, the
// merge, the filter and the statistics, as any plug-in host would.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/cli/cli.h"
#include "host/commands/commands.h"

namespace ulo::host {
namespace {

// One line on standard error, exit code 2.
int UsageError(CLI::App& app, const CLI::ParseError& error) {
  std::vector<CLI::App*> parsed = app.get_subcommands();
  std::string message = error.what();
  // An unknown option or word, left over while something else was checked,
  // is the first thing wrong.
  std::vector<std::string> extras = app.remaining(true);
  if (!extras.empty() && extras.front().size() > 1 && extras.front()[0] == '-') {
    message = "unknown option '" + extras.front() + "'";
  }
  if (parsed.empty()) {
    // CLI11 takes a word that names no command for an extra argument.
    if (!extras.empty() && !extras.front().empty() && extras.front()[0] != '-') {
      message = "unknown command '" + extras.front() + "'";
    }
    std::fprintf(stderr, "ulo: %s (see 'ulo --help')\n", message.c_str());
  } else {
    const std::string& name = parsed.front()->get_name();
    std::fprintf(stderr, "ulo: %s: %s (see 'ulo %s --help')\n", name.c_str(), message.c_str(),
                 name.c_str());
  }
  return kExitUsage;
}

int Main(int argc, char** argv) {
  Global global;
  global.libraryPath = DefaultLibraryPath(argv[0]);

  CLI::App app("Word-pair association statistics with the Vorn_ULO library.", "ulo");
  app.formatter(
      std::make_shared<HelpFormatter>("[--library PATH] [--quiet] [--direct] [--trust-input] "
                                      "[--sync] COMMAND [ARGS]"));
  app.get_formatter()->column_width(34);
  // Global options may follow the command too.
  app.fallthrough();
  app.option_defaults()->always_capture_default(false);
  app.add_option("--library", global.libraryPath,
                 "the Vorn_ULO library to load (default: the one built with ulo)")
      ->type_name("PATH");
  app.add_flag("--quiet", global.quiet, "no progress lines on standard error");
  app.add_flag("--direct", global.direct,
               "call the exported functions instead of the extension object's commands");
  app.add_flag("--trust-input", global.trustInput,
               "skip the check that each pair-count input is one (every line word TAB word TAB "
               "count, in byte order, each pair once): for files the library itself wrote. A "
               "file that is not what it claims then gives wrong numbers");
  app.add_flag("--sync", global.sync,
               "flush every output and its directory to the disk before and after it takes its "
               "name, so that it survives a power loss (slower)");
  app.add_flag_callback(
      "--version",
      [] {
        std::printf("ulo %s\n", ULO_VERSION);  // the project's VERSION file
        throw CLI::Success();
      },
      "print the version");
  app.footer("'ulo COMMAND --help' describes a command.");

  std::vector<std::pair<CLI::App*, Runner>> commands;
  auto add = [&](Runner (*define)(CLI::App&)) {
    Runner runner = define(app);
    commands.emplace_back(app.get_subcommands({}).back(), std::move(runner));
  };
  add(AddCountCommand);
  add(AddMergeCommand);
  add(AddFilterCommand);
  add(AddSupportCommand);
  add(AddTopNCommand);
  add(AddRankCommand);
  add(AddGraphCommand);
  add(AddExportCommand);
  add(AddRunCommand);
  add(AddShowCommand);
  add(AddWordsCommand);
  add(AddDemoCommand);

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {  // --help and --version
    return app.exit(done);
  } catch (const CLI::ParseError& error) {
    return UsageError(app, error);
  }
  for (auto& [command, run] : commands) {
    if (command->parsed()) {
      Host host(global);
      int code = run(host);
      // What a command printed must have reached its reader (a full disk, a
      // closed pipe), or the run failed.
      if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return Fail(command->get_name() +
                    ": cannot write the standard output: " + std::strerror(errno));
      }
      return code;
    }
  }
  std::fputs(app.help().c_str(), stderr);
  return kExitUsage;
}

}  // namespace
}  // namespace ulo::host

int main(int argc, char** argv) {
  return ulo::host::Main(argc, argv);
}
