// ulo words: words no dictionary lists, found in unsegmented text.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "engine/count/options.h"
#include "engine/files/staging.h"
#include "engine/text/characters.h"
#include "engine/text/encoding.h"
#include "engine/words/new_words.h"
#include "host/commands/commands.h"
#include "host/report/progress.h"

namespace ulo::host {
namespace {

namespace fs = std::filesystem;

void PrintTable(const std::vector<NewWord>& words) {
  PeopleText text;
  std::string error;
  text.Open(kPeopleEncoding, TerminalEncoding(), &error);
  size_t width = 4;
  for (const NewWord& word : words)
    width = std::max(width, DisplayWidth(word.word));
  std::printf("  rank  %-*s  %8s  %9s  %8s  %7s\n", static_cast<int>(width), "word", "score",
              "frequency", "cohesion", "freedom");
  for (size_t i = 0; i < words.size(); ++i) {
    const NewWord& word = words[i];
    std::string padding(width - DisplayWidth(word.word), ' ');
    std::printf("  %4zu  %s%s  %8.4g  %9lld  %8.4g  %7.4g\n", i + 1, text.Show(word.word).c_str(),
                padding.c_str(), word.score, static_cast<long long>(word.frequency), word.cohesion,
                word.freedom());
  }
}

}  // namespace

Runner AddWordsCommand(CLI::App& app) {
  struct Arguments {
    CountSettings count;
    WordOptions options;
    std::string out;
    std::string work;
  };
  auto args = std::make_shared<Arguments>();
  CLI::App* command = AddCommand(
      app, "words", "CORPUS... [--out FILE] [--work DIR] [--max-length N] [--min-count N] ...",
      "Find new words in unsegmented text.\n"
      "Counts every string of 2 to N letters of a script written without spaces (Chinese,\n"
      "Japanese, Thai...) through the library, with the characters before and after it,\n"
      "and ranks the strings by cohesion (the smallest pmi over the string's split\n"
      "points: log2 f(s) T / (f(left) f(right)), T the letters counted) times freedom\n"
      "(the smaller entropy, in bits, of the characters before and after it) times\n"
      "ln f(s). Punctuation, digits, spaces, other scripts and line ends break strings.\n"
      "Prints a table, or with --out writes UTF-8 TSV with a header line.");
  command->add_option("CORPUS", args->count.corpora, "raw text files")
      ->type_name("FILE")
      ->required();
  command->add_option("--out", args->out, "write the ranking here as TSV instead of printing it")
      ->type_name("FILE");
  command
      ->add_option("--work", args->work,
                   "keep the counts here (DIR/spill, DIR/candidates.txt; default: a scratch "
                   "directory, removed)")
      ->type_name("DIR");
  command->add_option("--from", args->count.from, CountOptionRow("source_encoding").help)
      ->type_name("ENCODING")
      ->check(KnownEncoding());
  command->add_option("--jobs", args->count.jobs, CountOptionRow("jobs").help)
      ->type_name("N")
      ->transform(WholeNumber(0, kMaxJobs));
  for (const OptionRow& row : WordOptionTable()) {
    std::string name = row.name;
    std::string flag = "--" + name;
    std::replace(flag.begin(), flag.end(), '_', '-');
    command
        ->add_option_function<std::string>(
            flag,
            [args, name](const std::string& value) {
              std::string ignored;
              SetWordOption(&args->options, name, value, &ignored);
            },
            std::string(row.help) + " (default " + row.value + ")")
        ->type_name(name == "min_cohesion" || name == "min_freedom" ? "X" : "N")
        ->check(CLI::Validator(
            [name](std::string& value) -> std::string {
              WordOptions probe;
              std::string error;
              return SetWordOption(&probe, name, value, &error) ? "" : error;
            },
            ""));
  }
  return [args](Host& host) {
    std::vector<std::string> outputs;
    if (!args->out.empty()) outputs.push_back(args->out);
    std::string spill = args->work.empty() ? "" : (fs::path(args->work) / "spill").string();
    if (!args->work.empty()) outputs.push_back((fs::path(args->work) / "candidates.txt").string());
    if (std::string problem = InputOverwritten(args->count.corpora, outputs, spill);
        !problem.empty()) {
      return Fail("words: " + problem);
    }
    Session* session = host.Open();
    if (session == nullptr) return kExitFailure;
    ScratchDirectory scratch;
    std::string work = args->work;
    std::string error;
    if (work.empty()) {
      std::error_code code;
      fs::path base = fs::temp_directory_path(code);
      if (code) base = "/tmp";
      if (!scratch.Make((base / "ulo-words").string(), &error)) {
        return Fail("words: " + error);
      }
      work = scratch.path();
    } else {
      std::error_code made;
      if (!fs::is_directory(work, made) && !fs::create_directory(work, made) && made) {
        return Fail("words: cannot make the directory " + work + ": " + made.message());
      }
    }
    CountSettings count = args->count;
    count.direct = host.options().direct;
    std::vector<NewWord> words;
    Progress report("words", ShowProgress(host.options()));
    // The counts are outputs only when kept: a scratch directory's need no flush.
    OutputOptions kept = args->work.empty() ? OutputOptions() : host.options().operations().output;
    if (std::string failure =
            FindNewWords(session->library(), count, args->options, work, &words, &report, kept);
        !failure.empty()) {
      return Fail(failure);
    }
    report.Stop();
    if (args->out.empty()) {
      PrintTable(words);
      return 0;
    }
    if (!WriteWordTable(words, args->out, &error, host.options().operations().output)) {
      return Fail("words: " + error);
    }
    return 0;
  };
}

}  // namespace ulo::host
