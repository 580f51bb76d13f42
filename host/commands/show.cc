// ulo show: a word's associations as a table for people.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>

#include "engine/files/pair_check.h"
#include "engine/text/encoding.h"
#include "host/commands/commands.h"

namespace ulo::host {
namespace {

// Display width of GB2312 text: a double-byte character takes two columns,
// as its two bytes do.
size_t Gb2312Width(std::string_view text) {
  return text.size();
}

// Converts between the terminal's encoding and GB2312.
struct Terminal {
  Converter toGb, fromGb;
  bool Open(const std::string& encoding, std::string* error) {
    return toGb.Open(encoding, "GB2312", error) && fromGb.Open("GB2312", encoding, error);
  }
  std::string In(const std::string& typed) {
    std::string gb;
    toGb.Convert(typed, &gb);
    return gb;
  }
  std::string Out(const std::string& gb) {
    std::string shown;
    fromGb.Convert(gb, &shown);
    return shown;
  }
};

}  // namespace

int ShowRanked(const std::string& path, const std::vector<std::string>& words,
               const std::string& encoding, const RankOptions& options, bool trustInput) {
  Terminal terminal;
  std::string error;
  if (!terminal.Open(encoding, &error)) return Fail("show: " + error);
  std::vector<std::string> wanted;
  for (const std::string& typed : words)
    wanted.push_back(terminal.In(typed));
  if (std::string problem = InputFileProblem(path); !problem.empty()) {
    return Fail("show: cannot read the pair-count file " + path + ": " + problem);
  }
  if (std::string problem = trustInput ? "" : PairFileProblem(path, kMergedPairs);
      !problem.empty()) {
    return Fail("show: " + problem);
  }
  Ranking ranking;
  if (!ranking.Build(path, options, &error, &wanted)) return Fail("show: " + error);
  int missing = 0;
  std::vector<std::string> shown;
  for (const std::string& word : wanted) {
    if (std::find(shown.begin(), shown.end(), word) != shown.end()) continue;
    shown.push_back(word);
    std::optional<uint32_t> id = ranking.Find(word);
    if (!id || ranking.List(*id).empty()) {
      std::fprintf(stderr, "ulo: show: '%s' has no associations in %s\n",
                   terminal.Out(word).c_str(), path.c_str());
      ++missing;
      continue;
    }
    const std::vector<RankedItem>& items = ranking.List(*id);
    size_t width = 4, scoreWidth = 5;
    std::vector<std::string> scores;
    for (const RankedItem& item : items) {
      width = std::max(width, Gb2312Width(ranking.Word(item.other)));
      char text[32];
      std::snprintf(text, sizeof text, "%.4g", item.score);
      scores.push_back(text);
      scoreWidth = std::max(scoreWidth, scores.back().size());
    }
    std::printf("%s (frequency %lld)\n  rank  %-*s  %*s  count\n", terminal.Out(word).c_str(),
                static_cast<long long>(ranking.Frequency(*id)), static_cast<int>(width), "word",
                static_cast<int>(scoreWidth), MeasureName(options.measure).c_str());
    for (size_t i = 0; i < items.size(); ++i) {
      const std::string& other = ranking.Word(items[i].other);
      std::string padding(width - Gb2312Width(other), ' ');
      std::printf("  %4zu  %s%s  %*s  %5lld\n", i + 1, terminal.Out(other).c_str(), padding.c_str(),
                  static_cast<int>(scoreWidth), scores[i].c_str(),
                  static_cast<long long>(items[i].count));
    }
    std::printf("\n");
  }
  return missing == 0 ? 0 : kExitFailure;
}

int ShowTopN(const std::string& path, const std::vector<std::string>& words,
             const std::string& encoding) {
  Converter toGb, fromGb;
  std::string error;
  if (!toGb.Open(encoding, "GB2312", &error) || !fromGb.Open("GB2312", encoding, &error)) {
    return Fail("show: " + error);
  }
  std::map<std::string, std::vector<std::vector<std::string>>> wanted;
  std::vector<std::string> order;
  for (const std::string& typed : words) {
    std::string word;
    toGb.Convert(typed, &word);
    if (wanted.emplace(word, std::vector<std::vector<std::string>>{}).second) order.push_back(word);
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
    if (found == wanted.end()) continue;
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
  auto print = [&](const std::string& gb) {
    std::string converted;
    fromGb.Convert(gb, &converted);
    return converted;
  };
  for (const std::string& word : order) {
    const auto& rows = wanted[word];
    if (rows.empty()) {
      std::fprintf(stderr, "ulo: show: '%s' has no associations in %s\n", print(word).c_str(),
                   path.c_str());
      ++missing;
      continue;
    }
    size_t width = 4;
    for (const auto& row : rows)
      width = std::max(width, Gb2312Width(row[0]));
    std::printf("%s\n  rank  %-*s  confidence  support\n", print(word).c_str(),
                static_cast<int>(width), "word");
    // A pair counted in both directions stands on two lines of the merged
    // file, and each line offers the association: show each word once.
    int rank = 0;
    std::vector<std::string> shown;
    for (const auto& row : rows) {
      if (std::find(shown.begin(), shown.end(), row[0]) != shown.end()) continue;
      shown.push_back(row[0]);
      std::string padding(width - Gb2312Width(row[0]), ' ');
      std::printf("  %4d  %s%s  %9s%%  %6s%%\n", ++rank, print(row[0]).c_str(), padding.c_str(),
                  row[1].c_str(), row[2].c_str());
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
      app, "show", "FILE WORD... [--measure M [--top N] [--min-count C]] [--to ENCODING]",
      "Print a word's top associations readably.\n"
      "Prints each WORD's top associations as a table: from a top-N file (ulo topn, or\n"
      "topn.txt of ulo run) with confidence and support, or with --measure ranked from\n"
      "a pair-count file (pairs.txt of ulo run) with the score and the count. Words are\n"
      "given, and the table is printed, in ENCODING (default UTF-8), since GB2312 bytes\n"
      "are unreadable in a UTF-8 terminal.");
  command->add_option("FILE", args->path, "a top-N file, or with --measure a pair-count file")
      ->required();
  command->add_option("WORD", args->words, "the words to show")->required();
  command->add_option("--to", args->encoding, "the terminal's encoding")
      ->type_name("ENCODING")
      ->check(KnownEncoding())
      ->capture_default_str();
  CLI::Option* measure = AddMeasureOption(*command, &args->rank.measure);
  command->add_option("--top", args->rank.top, "associated words per word (default 10)")
      ->type_name("N")
      ->check(Int32AtLeast(1))
      ->needs(measure);
  command
      ->add_option("--min-count", args->rank.minCount,
                   "leave out the pairs counted fewer than C times (default 1)")
      ->type_name("C")
      ->check(Int32AtLeast(1))
      ->needs(measure);
  return [args, measure](Host& host) {
    if (measure->count() > 0) {
      return ShowRanked(args->path, args->words, args->encoding, args->rank,
                        host.options().trustInput);
    }
    return ShowTopN(args->path, args->words, args->encoding);
  };
}

}  // namespace ulo::host
