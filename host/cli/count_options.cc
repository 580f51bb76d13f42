#include "host/cli/count_options.h"

#include <string>

#include "host/cli/cli.h"

namespace ulo::host {
namespace {

constexpr int kMaxJobs = 256;

}  // namespace

void AddCountOptions(CLI::App& command, CountOptions* options) {
  command.add_option("CORPUS", options->corpora, "corpus files, one sentence per line")
      ->type_name("FILE")
      ->required();
  command
      .add_option("--window", options->window,
                  "pair every token with the next N tokens of its line")
      ->type_name("N")
      ->check(Int32AtLeast(1))
      ->capture_default_str();
  command.add_flag("--one-way", options->oneWay,
                   "count each pair in reading order only (default: both directions)");
  command.add_flag_callback(
      "--chars", [options] { options->mode = TokenMode::kChars; },
      "every GB2312 Chinese character is a token (default: words separated by white space); "
      "punctuation and ASCII are skipped");
  command
      .add_option("--from", options->from,
                  "convert the corpora from ENCODING (for example UTF-8) to GB2312; characters "
                  "without a GB2312 form are skipped and counted")
      ->type_name("ENCODING")
      ->check(KnownEncoding());
  command
      .add_option("--jobs", options->jobs,
                  "count in N worker processes at once, each with a counting run of its own in "
                  "DIR/part-K (default: the number of processors); peak memory is N times one "
                  "run's, about 210 MB each")
      ->type_name("N")
      ->check(Int32AtLeast(1))
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            // A worker costs a process and about 210 MB: more than this is a typo.
            if (std::stoll(text) > kMaxJobs) return "must be at most " + std::to_string(kMaxJobs);
            return {};
          },
          ""));
  command.add_flag("--per-pair-commands", options->perPairCommands,
                   "hand every pair to the library as a command of its own (slow; by default "
                   "each distinct pair of a batch of lines goes once, with its count, through "
                   "the pair's export)");
  FilterOptions& filters = options->filters;
  command
      .add_option("--stopwords", filters.stopwordFiles,
                  "drop the words of FILE (one a line, in the corpora's encoding); may be "
                  "given more than once")
      ->type_name("FILE");
  command.add_flag("--default-stopwords,!--no-default-stopwords", filters.defaultStopwords,
                   std::string("drop the common Chinese and English function words of ulo's "
                               "own lists (default: ") +
                       (filters.defaultStopwords ? "on" : "off") + ")");
  command.add_flag("--drop-punctuation,!--keep-punctuation", filters.dropPunctuation,
                   std::string("drop tokens made only of punctuation, symbols or digits, ASCII "
                               "or full-width (default: ") +
                       (filters.dropPunctuation ? "on" : "off") + ")");
}

}  // namespace ulo::host
