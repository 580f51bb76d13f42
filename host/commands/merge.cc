// ulo merge: every pair-count file of a directory into one.
#include <memory>

#include "engine/count/jobs.h"
#include "engine/count/options.h"
#include "engine/merge/partition.h"
#include "host/commands/commands.h"
#include "host/report/progress.h"

namespace ulo::host {

Runner AddMergeCommand(CLI::App& app) {
  struct Arguments {
    FileArguments files;
    RangeMergeOptions merge;
  };
  auto args = std::make_shared<Arguments>();
  args->merge.jobs = DefaultJobs();
  CLI::App* command =
      AddCommand(app, "merge", "DIR OUT [--jobs N] [--parts]",
                 "Merge every pair-count file under DIR, at any depth, into OUT.\n"
                 "Each pair stands once in OUT with its summed count. The merge works in\n"
                 "merge_temp beside DIR and logs its failures in OUT_err.log; a failure is\n"
                 "reported with the merge's own code and the last line it logged.\n"
                 "With --jobs N the sorted inputs are cut into N ranges of first words, merged\n"
                 "at once and joined: the same bytes as one merge. Inputs that are not sorted\n"
                 "(not spill files or merge results) are merged in one process.\n"
                 "The token counts DIR.tokens beside DIR, when there, are copied to OUT.tokens.");
  AddInOut(*command, &args->files, "DIR", "directory of pair-count files",
           "merged pair-count file (with --parts, a directory)");
  command
      ->add_option("--jobs", args->merge.jobs,
                   "merge N key ranges at once, each in a process of its own (default: the "
                   "number of processors); the slices of the inputs take their size again on "
                   "disk while they are merged")
      ->type_name("N")
      ->transform(WholeNumber(1, kMaxJobs));
  command->add_flag("--parts", args->merge.parts,
                    "leave OUT as a directory of sorted parts, one a range, with their index "
                    "(index.txt); every ulo command reads it as one pair-count file");
  return [args](Host& host) {
    Session* session = host.Open();
    if (session == nullptr) return kExitFailure;
    RangeMergeOptions options = args->merge;
    Progress report("merge", ShowProgress(host.options()));
    options.report = &report;
    options.operations = host.options().operations();
    return Report(MergeInRanges(*session, args->files.in, args->files.out, options));
  };
}

}  // namespace ulo::host
