// ulo show: a word's associations as a table for people.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include "encoding.h"
#include "subcommands.h"

namespace ulo::host {
namespace {

// Display width of GB2312 text: a double-byte character takes two columns,
// as its two bytes do.
size_t Gb2312Width(std::string_view text) {
  return text.size();
}

}  // namespace

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
  };
  auto args = std::make_shared<Arguments>();
  CLI::App* command = AddCommand(
      app, "show", "TOPN_FILE WORD... [--to ENCODING]",
      "Print a word's top associations readably.\n"
      "Prints each WORD's top associations from a top-N file as a table. Words are\n"
      "given, and the table is printed, in ENCODING (default UTF-8), since GB2312 bytes\n"
      "are unreadable in a UTF-8 terminal.");
  command->add_option("TOPN_FILE", args->path, "a top-N file (ulo topn, or topn.txt of ulo run)")
      ->required();
  command->add_option("WORD", args->words, "the words to show")->required();
  command->add_option("--to", args->encoding, "the terminal's encoding")
      ->type_name("ENCODING")
      ->check(KnownEncoding())
      ->capture_default_str();
  return [args](Host&) { return ShowTopN(args->path, args->words, args->encoding); };
}

}  // namespace ulo::host
