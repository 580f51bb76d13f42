// ulo support: confidence and support records of every pair.
#include <memory>

#include "engine/session/operations.h"
#include "host/commands/commands.h"

namespace ulo::host {

Runner AddSupportCommand(CLI::App& app) {
  auto args = std::make_shared<FileArguments>();
  CLI::App* command =
      AddCommand(app, "support", "IN OUT",
                 "Write confidence and support records for every pair.\n"
                 "For every pair of the pair-count file IN, two records with the confidence and\n"
                 "the support of the rule in both directions, in the pair file's encoding (its\n"
                 "words as they are, the labels GB2312).");
  AddInOut(*command, args.get(), "IN", "pair-count file", "support records");
  return [args](Host& host) {
    Session* session = host.Open();
    if (session == nullptr) return kExitFailure;
    return Report(WriteSupport(*session, args->in, args->out, host.options().operations()));
  };
}

}  // namespace ulo::host
