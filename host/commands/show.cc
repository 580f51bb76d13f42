// ulo show: a word's associations as a table for people.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>

#include "engine/files/file_kind.h"
#include "engine/files/pair_check.h"
#include "engine/files/pair_parts.h"
#include "engine/query/word_query.h"
#include "engine/text/absent.h"
#include "engine/text/characters.h"
#include "engine/text/encoding.h"
#include "host/commands/commands.h"

namespace ulo::host {
namespace {

// The typed words in the library's encoding, each once, in their order;
// false after saying which word is not valid in the terminal's encoding.
bool TakeWords(PeopleText& text, const std::vector<std::string>& typed,
               std::vector<std::string>* words) {
  for (const std::string& word : typed) {
    std::string taken;
    if (!text.Take(word, &taken)) {
      Fail("show: '" + word + "' is not valid " + TerminalEncoding() +
           " text (the terminal's encoding)");
      return false;
    }
    if (std::find(words->begin(), words->end(), taken) == words->end()) words->push_back(taken);
  }
  return true;
}

}  // namespace

std::string AbsentFromRanking(PeopleText& text, const Ranking& ranking, const std::string& word,
                              const std::string& path) {
  PrefixNeighbours neighbours(word);
  for (uint32_t other = 0; other < ranking.WordCount(); ++other)
    neighbours.Offer(ranking.Word(other), ranking.Frequency(other));
  return AbsentWordMessage(text, word, path, neighbours);
}

// People's text for a table in `encoding` of words typed in `typed`.
bool OpenText(PeopleText* text, const std::string& encoding, const std::string& typed) {
  std::string error;
  if (text->Open(encoding, typed.empty() ? TerminalEncoding() : typed, &error)) return true;
  Fail("show: " + error);
  return false;
}

int ShowRanked(const std::string& path, const std::vector<std::string>& words,
               const std::string& encoding, const std::string& typed, const RankOptions& options,
               bool trustInput) {
  PeopleText text;
  std::string error;
  if (!OpenText(&text, encoding, typed)) return kExitFailure;
  std::vector<std::string> wanted;
  if (!TakeWords(text, words, &wanted)) return kExitFailure;
  if (std::string problem = PairFileProblem(path); !problem.empty()) {
    return Fail("show: cannot read the pair-count file " + path + ": " + problem);
  }
  // The file is checked whole when its frequency sidecar is made; a sidecar
  // that matches it says it was.
  WordFrequencies frequencies;
  if (!frequencies.Open(path, trustInput, &error)) return Fail("show: " + error);
  int missing = 0;
  for (const std::string& word : wanted) {
    Ranking ranking;
    if (!RankWord(path, frequencies, word, options, &ranking, &error)) {
      return Fail("show: " + error);
    }
    std::optional<uint32_t> id = ranking.Find(word);
    if (!id) {
      PrefixNeighbours neighbours(word);
      frequencies.ForEach(
          [&](std::string_view other, int64_t frequency) { neighbours.Offer(other, frequency); });
      Fail("show: " + AbsentWordMessage(text, word, path, neighbours));
      ++missing;
      continue;
    }
    if (ranking.List(*id).empty()) {
      Fail("show: '" + text.Show(word) + "' has no associations in " + path +
           " (none passed the filters: --min-count, --min-word-count, --direction)");
      ++missing;
      continue;
    }
    const std::vector<RankedItem>& items = ranking.List(*id);
    // Shown only when every word is text: a byte no character has would
    // otherwise be dropped, and two words shown as one.
    std::string shownWord = text.Show(word);
    std::vector<std::string> shownOthers;
    for (const RankedItem& item : items)
      shownOthers.push_back(text.Show(ranking.Word(item.other)));
    if (std::string problem = text.ShownTextProblem(path); !problem.empty())
      return Fail("show: " + problem);
    size_t width = 4, scoreWidth = 5;
    std::vector<std::string> scores;
    for (const RankedItem& item : items) {
      width = std::max(width, DisplayWidth(ranking.Word(item.other)));
      char text[32];
      std::snprintf(text, sizeof text, "%.4g", item.score);
      scores.push_back(text);
      scoreWidth = std::max(scoreWidth, scores.back().size());
    }
    // The frequency the scores take: the pairs' or, with --marginals tokens, the tokens'.
    std::printf("%s (frequency %lld)\n  rank  %-*s  %*s  count  stands\n", shownWord.c_str(),
                static_cast<long long>(ranking.Margin(*id)), static_cast<int>(width), "word",
                static_cast<int>(scoreWidth), MeasureName(options.measure).c_str());
    for (size_t i = 0; i < items.size(); ++i) {
      const std::string& other = ranking.Word(items[i].other);
      std::string padding(width - DisplayWidth(other), ' ');
      std::printf("  %4zu  %s%s  %*s  %5lld  %s\n", i + 1, shownOthers[i].c_str(), padding.c_str(),
                  static_cast<int>(scoreWidth), scores[i].c_str(),
                  static_cast<long long>(items[i].count), items[i].follows ? "after" : "before");
    }
    std::printf("\n");
  }
  return missing == 0 ? 0 : kExitFailure;
}

int ShowTopN(const std::string& path, const std::vector<std::string>& words,
             const std::string& encoding, const std::string& typed, int32_t top) {
  PeopleText text;
  if (!OpenText(&text, encoding, typed)) return kExitFailure;
  std::vector<std::string> order;
  if (!TakeWords(text, words, &order)) return kExitFailure;
  std::map<std::string, std::vector<std::vector<std::string>>> wanted;
  std::vector<PrefixNeighbours> neighbours;
  for (const std::string& word : order) {
    wanted[word];
    neighbours.emplace_back(word);
  }
  if (std::string problem = InputFileProblem(path); !problem.empty()) {
    return Fail("show: cannot read the top-N file " + path + ": " + problem);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail("show: cannot read the top-N file " + path + ": " + std::strerror(errno));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    auto found = wanted.find(line.substr(0, tab));
    if (found == wanted.end()) {
      for (PrefixNeighbours& near : neighbours)
        near.Offer(std::string_view(line).substr(0, tab), 0);
      continue;
    }
    std::vector<std::string> fields;
    size_t start = tab + 1;
    for (;;) {
      size_t next = line.find('\t', start);
      fields.push_back(line.substr(start, next == std::string::npos ? next : next - start));
      if (next == std::string::npos) break;
      start = next + 1;
    }
    if (fields.size() >= 3) found->second.push_back(fields);
  }
  int missing = 0;
  // As a ranking is shown: only when every word shown is text.
  for (const auto& [word, rows] : wanted) {
    for (const auto& row : rows)
      text.Show(row[0]);
  }
  if (std::string problem = text.ShownTextProblem(path); !problem.empty())
    return Fail("show: " + problem);
  auto print = [&](const std::string& word) { return text.Show(word); };
  for (size_t k = 0; k < order.size(); ++k) {
    const std::string& word = order[k];
    const auto& rows = wanted[word];
    if (rows.empty()) {
      Fail("show: " + AbsentWordMessage(text, word, path, neighbours[k]));
      ++missing;
      continue;
    }
    size_t width = 4;
    for (const auto& row : rows)
      width = std::max(width, DisplayWidth(row[0]));
    std::printf("%s\n  rank  %-*s  confidence  support\n", print(word).c_str(),
                static_cast<int>(width), "word");
    // A top-N file made by hand from a count of both directions lists each
    // pair twice (each line offers it): show each word once.
    int rank = 0;
    std::vector<std::string> shown;
    for (const auto& row : rows) {
      if (top > 0 && rank == top) break;
      if (std::find(shown.begin(), shown.end(), row[0]) != shown.end()) continue;
      shown.push_back(row[0]);
      std::string padding(width - DisplayWidth(row[0]), ' ');
      // Two decimals of a percentage: a rarer pair's support is below them.
      std::string support = row[2] == "0.00" ? "<0.01" : row[2];
      std::printf("  %4d  %s%s  %9s%%  %6s%%\n", ++rank, print(row[0]).c_str(), padding.c_str(),
                  row[1].c_str(), support.c_str());
    }
    std::printf("\n");
  }
  return missing == 0 ? 0 : kExitFailure;
}

Runner AddShowCommand(CLI::App& app) {
  struct Arguments {
    std::string path;
    std::vector<std::string> words;
    std::string encoding = "UTF-8";
    RankOptions rank;
  };
  auto args = std::make_shared<Arguments>();
  CLI::App* command = AddCommand(
      app, "show", "FILE WORD... [--measure M] [--top N] [--min-count C] ... [--to ENCODING]",
      "Print a word's top associations readably.\n"
      "Prints each WORD's top associations as a table: ranked by a measure (--measure,\n"
      "default llr) from a pair-count file (pairs.txt of ulo run) with the score and the\n"
      "count, or from a top-N file (ulo topn, or topn.txt of ulo run --topn) with\n"
      "confidence and support. A word's lines are found by binary search in the sorted\n"
      "pair-count file, with the frequencies of its sidecar PAIRS.freq (made on first\n"
      "use, remade when the file changes). Words are taken in the terminal's encoding\n"
      "and the table is printed in UTF-8 (or --to); a word the file does not hold is\n"
      "said to be absent, with the words that begin like it. Any other kind of file is\n"
      "refused.");
  command->add_option("FILE", args->path, "a pair-count file, or a top-N file")->required();
  command->add_option("WORD", args->words, "the words to show")->required();
  command->add_option("--to", args->encoding, "the encoding of the table")
      ->type_name("ENCODING")
      ->check(WritableEncoding())
      ->capture_default_str();
  CLI::Option* measure = AddMeasureOption(*command, &args->rank.measure);
  AddRankOptions(*command, &args->rank, "associated words per word (default 10)", nullptr);
  return [args, measure, command](Host& host) {
    FileKind kind = KindOfFile(args->path);
    if (kind == FileKind::kTopN && measure->count() == 0) {
      // Its lists are the library's, ranked by confidence: the filters of
      // a ranking have nothing to filter there.
      for (const CLI::Option* option : command->get_options()) {
        const std::string name = option->get_name();
        if (option->count() == 0 || option->get_positional() || name == "--to" || name == "--top")
          continue;
        return Fail("show: " + name + " applies to a ranking from a pair-count file; " +
                    args->path + " is " + KindName(kind) + ", whose lists show takes as they are " +
                    "(with --top and --to)");
      }
      return ShowTopN(args->path, args->words, args->encoding, "",
                      command->get_option("--top")->count() > 0 ? args->rank.top : 0);
    }
    if (kind == FileKind::kTopN || kind == FileKind::kSupport || kind == FileKind::kRanked) {
      return Fail("show: " + args->path + " is " + KindName(kind) +
                  ", not the pair-count file (pairs.txt of ulo run) that show ranks from" +
                  (kind == FileKind::kTopN ? " with --measure" : "") +
                  "; it shows a top-N file too, without --measure");
    }
    return ShowRanked(args->path, args->words, args->encoding, "", args->rank,
                      host.options().trustInput);
  };
}

}  // namespace ulo::host
