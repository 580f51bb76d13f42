// ulo topn: the library's top-N ranking by confidence.
#include <memory>

#include "engine/session/operations.h"
#include "host/commands/commands.h"

namespace ulo::host {

Runner AddTopNCommand(CLI::App& app) {
  auto args = std::make_shared<FileArguments>();
  CLI::App* command =
      AddCommand(app, "topn", "IN OUT N",
                 "Write the N best associated words of every word.\n"
                 "For every word of the pair-count file IN, its N best associated words by\n"
                 "confidence: 'word TAB other TAB confidence% TAB support%'.");
  AddInOut(*command, args.get(), "IN", "pair-count file", "top-N file");
  command->add_option("N", args->number, "associated words per word")
      ->required()
      ->transform(Int32AtLeast(1));
  return [args](Host& host) {
    Session* session = host.Open();
    if (session == nullptr) return kExitFailure;
    return Report(
        WriteTopN(*session, args->in, args->out, args->number, host.options().operations()));
  };
}

}  // namespace ulo::host
