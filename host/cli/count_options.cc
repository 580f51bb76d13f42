#include "host/cli/count_options.h"

#include <cstdio>
#include <string>

#include "engine/count/options.h"
#include "engine/text/encoding.h"
#include "host/cli/cli.h"
#include "host/report/progress.h"

namespace ulo::host {
namespace {

// The table's help for `name`, with its default as the command line spells it.
std::string Help(const char* name, const std::string& shownDefault = "") {
  const OptionRow& row = CountOptionRow(name);
  std::string text = row.help;
  if (!shownDefault.empty()) text += " (default: " + shownDefault + ")";
  return text;
}

std::string OnOff(bool value) {
  return value ? "on" : "off";
}

}  // namespace

void AddCountOptions(CLI::App& command, CountSettings* settings) {
  command.add_option("CORPUS", settings->corpora, "corpus files, one sentence per line")
      ->type_name("FILE")
      ->required();
  command.add_option("--window", settings->window, Help("window"))
      ->type_name("N")
      ->transform(Int32AtLeast(1))
      ->capture_default_str();
  command.add_flag("--one-way", settings->oneWay, Help("one_way", OnOff(settings->oneWay)));
  command.add_flag_callback(
      "--chars", [settings] { settings->mode = TokenMode::kChars; },
      "tokenizer chars: every letter or ideograph, of any script, is a token; punctuation, "
      "symbols and digits are skipped (default: tokenizer " +
          std::string(CountOptionRow("tokenizer").value) + ", words separated by white space)");
  command.add_option("--from", settings->from, Help("source_encoding"))
      ->type_name("ENCODING")
      ->check(CLI::Validator([](std::string& name) { return SourceEncodingProblem(name); }, ""));
  command
      .add_option_function<std::string>(
          "--encoding",
          [settings](const std::string& name) {
            std::string ignored;
            SetCountOption(settings, "encoding", name, &ignored);
          },
          Help("encoding", CountOptionRow("encoding").value))
      ->type_name("ENCODING")
      ->check(CLI::Validator(
          [](std::string& name) -> std::string {
            CountSettings probe;
            std::string error;
            return SetCountOption(&probe, "encoding", name, &error) ? "" : error;
          },
          ""));
  command
      .add_option("--jobs", settings->jobs,
                  Help("jobs", "the number of processors") + "; each worker counts in DIR/part-K")
      ->type_name("N")
      ->transform(WholeNumber(0, kMaxJobs));
  command.add_flag("--per-pair-commands", settings->perPairCommands,
                   Help("per_pair_commands", OnOff(settings->perPairCommands)));
  FilterOptions& filters = settings->filters;
  // One FILE to each --stopwords: a vector would take the corpora after it too.
  command.add_option("--stopwords", filters.stopwordFiles, Help("stopword_file"))
      ->type_name("FILE")
      ->allow_extra_args(false);
  command.add_flag("--default-stopwords,!--no-default-stopwords", filters.defaultStopwords,
                   "drop the common Chinese and English function words of ulo's own lists "
                   "(default: " +
                       OnOff(filters.defaultStopwords) + ")");
  command.add_flag("--drop-punctuation,!--keep-punctuation", filters.dropPunctuation,
                   Help("drop_punctuation", OnOff(filters.dropPunctuation)));
}

void PrintCountSummary(const CountSummary& summary, const CountSettings& settings) {
  std::printf("lines read         %s\n", Grouped(summary.tally.lines).c_str());
  std::printf("pairs fed          %s (%s)\n", Grouped(summary.tally.pairsFed).c_str(),
              settings.oneWay ? "one way" : "both directions counted");
  std::printf(
      "library calls      %s (%s)\n", Grouped(summary.tally.libraryCalls).c_str(),
      settings.perPairCommands ? "one command per pair" : "each distinct pair of a batch once");
  std::printf("workers            %s\n", Grouped(summary.parts).c_str());
  std::printf("spill files        %s (%s lines)\n", Grouped(summary.tally.spillFiles).c_str(),
              Grouped(summary.tally.spillLines).c_str());
  const FilterOptions& filters = settings.filters;
  if (filters.defaultStopwords || !filters.stopwordFiles.empty()) {
    std::printf("stop words dropped %s\n", Grouped(summary.tally.stopwordsDropped).c_str());
  }
  if (filters.dropPunctuation) {
    std::printf("punctuation, symbols and digits dropped %s\n",
                Grouped(summary.tally.punctuationDropped).c_str());
  }
  if (filters.gb2312Only) {
    std::printf("tokens dropped whole for a character without a GB2312 form %s\n",
                Grouped(summary.tally.outsideGb2312Dropped).c_str());
  }
  // GB18030 has every character: only text that is not what --from says
  // could be lost, and such a line is refused. Shown should it ever happen.
  if (summary.tally.unrepresentable + summary.tally.invalid > 0) {
    std::printf("skipped characters %s without a GB18030 form, %s invalid bytes\n",
                Grouped(summary.tally.unrepresentable).c_str(),
                Grouped(summary.tally.invalid).c_str());
  }
}

}  // namespace ulo::host
