// ulo count: corpora into the spill files of counting runs in worker processes.
#include <cstdio>
#include <memory>

#include "host/commands/commands.h"
#include "host/report/progress.h"

namespace ulo::host {

Runner AddCountCommand(CLI::App& app) {
  struct Arguments {
    CountSettings count;
    std::string workDir;
  };
  auto args = std::make_shared<Arguments>();
  CLI::App* command = AddCommand(
      app, "count", "CORPUS... --work DIR [options]",
      "Count the word pairs of corpora into spill files in DIR.\n"
      "Reads each CORPUS (one sentence per line) and feeds every pair of tokens within the\n"
      "window to counting runs, one per worker, whose sorted spill files temp1.txt,\n"
      "temp2.txt, ... go to DIR/part-1, DIR/part-2, ... DIR is created when missing (its\n"
      "parent must exist); it may hold only an earlier count, which is replaced, since the\n"
      "merge takes every file in it. DIR appears only when every run has ended well (until\n"
      "then the runs write in DIR.ulo-partial). The tokens counted (what the tokenizer and\n"
      "the filters kept) go beside it to DIR.tokens, for rank --marginals tokens.");
  AddCountOptions(*command, &args->count);
  command->add_option("--work", args->workDir, "directory for the spill files")
      ->type_name("DIR")
      ->required();
  return [args](Host& host) {
    CountSettings settings = args->count;
    settings.direct = host.options().direct;
    CountSummary summary;
    Session* session = host.Open();
    if (session == nullptr) return kExitFailure;
    Progress progress("count", ShowProgress(host.options()));
    if (int failed = Report(CountIntoDirectory("count", session->library(), settings, args->workDir,
                                               &summary, &progress,
                                               host.options().operations().output))) {
      return failed;
    }
    PrintCountSummary(summary, args->count);
    std::printf("time               %.2f s\n", summary.seconds);
    return 0;
  };
}

}  // namespace ulo::host
