// ulo merge: every pair-count file of a directory into one.
#include <memory>

#include "engine/session/operations.h"
#include "host/commands/commands.h"
#include "host/report/progress.h"

namespace ulo::host {

Runner AddMergeCommand(CLI::App& app) {
  auto args = std::make_shared<FileArguments>();
  CLI::App* command =
      AddCommand(app, "merge", "DIR OUT",
                 "Merge every pair-count file under DIR, at any depth, into OUT.\n"
                 "Each pair stands once in OUT with its summed count. The merge works in\n"
                 "merge_temp beside DIR and logs its failures in OUT_err.log; a failure is\n"
                 "reported with the merge's own code and the last line it logged.");
  AddInOut(*command, args.get(), "DIR", "directory of pair-count files", "merged pair-count file");
  return [args](Host& host) {
    Session* session = host.Open();
    if (session == nullptr) return kExitFailure;
    Progress progress("merge", ShowProgress(host.options()));
    return Report(
        MergeFiles(*session, args->in, args->out, &progress, host.options().operations()));
  };
}

}  // namespace ulo::host
