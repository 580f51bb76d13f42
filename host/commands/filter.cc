// ulo filter: the pairs whose count reaches a threshold.
#include <memory>

#include "engine/session/operations.h"
#include "host/commands/commands.h"

namespace ulo::host {

Runner AddFilterCommand(CLI::App& app) {
  auto args = std::make_shared<FileArguments>();
  CLI::App* command = AddCommand(app, "filter", "IN OUT THRESHOLD",
                                 "Write the pairs of IN whose count reaches THRESHOLD.\n"
                                 "Each line of OUT is 'count TAB word1 TAB word2'.");
  AddInOut(*command, args.get(), "IN", "pair-count file", "filtered pairs");
  command->add_option("THRESHOLD", args->number, "the least count kept (a 32-bit integer)")
      ->required()
      ->transform(Int32Any());
  return [args](Host& host) {
    Session* session = host.Open();
    if (session == nullptr) return kExitFailure;
    return Report(FilterPairs(*session, args->in, args->out, args->number,
                              host.options().operations()));
  };
}

}  // namespace ulo::host
