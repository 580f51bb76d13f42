// ulo rank: every word's best associated words by a measure of choice.
#include <memory>

#include "engine/session/operations.h"
#include "engine/stats/rank.h"
#include "host/commands/commands.h"

namespace ulo::host {

CLI::Option* AddMeasureOption(CLI::App& command, Measure* measure) {
  return command
      .add_option_function<std::string>(
          "--measure", [measure](const std::string& name) { *measure = *ParseMeasure(name); },
          "the measure to rank by: confidence and support as the library computes them "
          "(percent), pmi, npmi, llr (log-likelihood ratio), t (t-score), chi2, dice, "
          "jaccard or lift. A score is 0 where its formula is undefined (chi2 of a word "
          "that fills the whole table) and, but for confidence and support, where the "
          "table has a negative cell (a word paired with itself that fills most of the "
          "file)")
      ->type_name("M")
      ->check(CLI::IsMember(MeasureNames()));
}

Runner AddRankCommand(CLI::App& app) {
  struct Arguments {
    FileArguments files;
    RankOptions rank;
  };
  auto args = std::make_shared<Arguments>();
  CLI::App* command = AddCommand(
      app, "rank", "PAIRS OUT [--measure M] [--top N] [--min-count C] [--to ENCODING]",
      "Rank every word's associated words by a measure.\n"
      "Writes 'word TAB other TAB score TAB count' for the N best associated words of\n"
      "every word of the pair-count file PAIRS (words in byte order; equal scores in\n"
      "the byte order of the other word). Frequencies and the total are the library's:\n"
      "a word's frequency sums the counts of the lines it stands in, the total is twice\n"
      "the sum of all counts. Scores are the shortest decimals that read back exactly.\n"
      "The ranking is for people: its words are UTF-8 (or --to).");
  command->add_option("PAIRS", args->files.in, "a merged pair-count file")->required();
  command->add_option("OUT", args->files.out, "the ranking")->required();
  AddMeasureOption(*command, &args->rank.measure);
  command->add_option("--top", args->rank.top, "associated words per word (default 10)")
      ->type_name("N")
      ->check(Int32AtLeast(1));
  command
      ->add_option("--min-count", args->rank.minCount,
                   "leave out the pairs counted fewer than C times (default 1)")
      ->type_name("C")
      ->check(Int32AtLeast(1));
  command->add_option("--to", args->rank.to, "the encoding of the ranking's words")
      ->type_name("ENCODING")
      ->check(KnownEncoding())
      ->capture_default_str();
  return [args](Host&) {
    std::string failure = RankFile(args->files.in, args->files.out, args->rank);
    return failure.empty() ? 0 : Fail("rank: " + failure);
  };
}

}  // namespace ulo::host
