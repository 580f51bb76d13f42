// ulo count: corpora into the spill files of one counting run.
#include <cstdio>
#include <memory>

#include "subcommands.h"

namespace ulo::host {

Runner AddCountCommand(CLI::App& app) {
  struct Arguments {
    CountOptions count;
    std::string workDir;
  };
  auto args = std::make_shared<Arguments>();
  CLI::App* command = AddCommand(
      app, "count", "CORPUS... --work DIR [options]",
      "Count the word pairs of corpora into spill files in DIR.\n"
      "Reads each CORPUS (one sentence per line) and feeds every pair of tokens within the\n"
      "window to a counting run whose sorted spill files temp1.txt, temp2.txt, ... go to\n"
      "DIR (created when missing; it must hold nothing else, since the merge takes every\n"
      "file in it).");
  AddCountOptions(*command, &args->count);
  command->add_option("--work", args->workDir, "directory for the spill files")
      ->type_name("DIR")
      ->required();
  return [args](Host& host) {
    std::string error;
    if (!PrepareWorkDir(args->workDir, false, &error)) return Fail("count: " + error);
    Session* session = host.Open();
    if (session == nullptr) return kExitFailure;
    CountSummary summary;
    if (int failed = CountCorpora("count", *session, args->count, args->workDir,
                                  ShowProgress(host.options()), &summary)) {
      return failed;
    }
    PrintCountSummary(summary, args->count);
    std::printf("time               %.2f s\n", summary.seconds);
    return 0;
  };
}

}  // namespace ulo::host
