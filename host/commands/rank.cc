// ulo rank: every word's best associated words by a measure of choice.
#include <cstdint>
#include <memory>

#include "engine/count/options.h"
#include "engine/session/operations.h"
#include "engine/stats/rank.h"
#include "host/commands/commands.h"

namespace ulo::host {

CLI::Option* AddMeasureOption(CLI::App& command, Measure* measure) {
  return command
      .add_option_function<std::string>(
          "--measure", [measure](const std::string& name) { *measure = *ParseMeasure(name); },
          "the measure to rank by (default llr), one of:\n" + DescribeMeasures() +
              "O is the pair's count, E = f(word) f(other) / N its count by chance. A score is "
              "0 where its formula is undefined (a word that fills the whole table) and, but "
              "for confidence and support, where the table has a negative cell (a word paired "
              "with itself that fills most of the file)")
      ->type_name("M")
      ->check(CLI::IsMember(MeasureNames()));
}

void AddRankOptions(CLI::App& command, RankOptions* rank, const std::string& topHelp,
                    CLI::Option* needs) {
  auto take = [needs](CLI::Option* option) {
    if (needs != nullptr) option->needs(needs);
  };
  take(command.add_option("--top", rank->top, topHelp)->type_name("N")->transform(Int32AtLeast(1)));
  take(command.add_option("--min-count", rank->minCount, RankOptionRow("min_count").help)
           ->type_name("C")
           ->transform(WholeNumber(0, INT64_MAX)));
  take(command
           .add_option("--min-word-count", rank->minWordCount, RankOptionRow("min_word_count").help)
           ->type_name("F")
           ->transform(WholeNumber(1, INT64_MAX)));
  take(command.add_flag("--self-pairs", rank->selfPairs, RankOptionRow("self_pairs").help));
  // Options of a few named values, taken as the engine's table takes them.
  auto choice = [&](const std::string& name, const std::vector<std::string>& values) {
    std::string flag = "--" + name;
    std::string typeName = values[0];
    for (size_t i = 1; i < values.size(); ++i)
      typeName += "|" + values[i];
    take(command
             .add_option_function<std::string>(
                 flag,
                 [rank, name](const std::string& value) {
                   std::string error;
                   SetRankOption(rank, name, value, &error);
                 },
                 RankOptionRow(name).help)
             ->type_name(typeName)
             ->check(CLI::IsMember(values)));
  };
  choice("direction", {"after", "before", "both"});
  choice("marginals", {"pairs", "tokens"});
}

Runner AddRankCommand(CLI::App& app) {
  struct Arguments {
    FileArguments files;
    RankOptions rank;
  };
  auto args = std::make_shared<Arguments>();
  CLI::App* command = AddCommand(
      app, "rank", "PAIRS OUT [--measure M] [--top N] [--min-count C] [--to ENCODING] ...",
      "Rank every word's associated words by a measure.\n"
      "Writes 'word TAB other TAB score TAB count TAB after|before' for the N best\n"
      "associated words of every word of the pair-count file PAIRS (words in byte order;\n"
      "equal scores in the byte order of the other word); the last field says whether\n"
      "the other word followed or preceded the word on the line that gave the score.\n"
      "Frequencies and the total are the library's by default: a word's frequency sums\n"
      "the counts of the lines it stands in, the total is twice the sum of all counts\n"
      "(--marginals tokens takes the token counts of PAIRS.tokens instead). Scores are\n"
      "the shortest decimals that read back exactly. The ranking is for people: its\n"
      "words are UTF-8 (or --to).");
  command->add_option("PAIRS", args->files.in, "a merged pair-count file")->required();
  command->add_option("OUT", args->files.out, "the ranking")->required();
  AddMeasureOption(*command, &args->rank.measure);
  AddRankOptions(*command, &args->rank, "associated words per word (default 10)", nullptr);
  command->add_option("--to", args->rank.to, "the encoding of the ranking's words")
      ->type_name("ENCODING")
      ->check(WritableEncoding())
      ->capture_default_str();
  return [args](Host& host) {
    uint64_t lossy = 0;
    std::string failure =
        RankFile(args->files.in, args->files.out, args->rank, host.options().operations(), &lossy);
    if (!failure.empty()) return Fail("rank: " + failure);
    if (lossy > 0) Tell("rank: " + LossyWordsNote(lossy, args->rank.to));
    return 0;
  };
}

}  // namespace ulo::host
