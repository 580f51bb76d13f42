#include "engine/stats/rank_parts.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "engine/files/checks.h"
#include "engine/files/pair_parts.h"
#include "engine/files/staging.h"
#include "engine/merge/processes.h"

namespace ulo::engine {
namespace {

namespace fs = std::filesystem;

std::string Named(const fs::path& work, const std::string& name, size_t k, size_t d = 0) {
  return (work / (name + "-" + std::to_string(k) + "-" + std::to_string(d))).string();
}

// Closes `out` and says whether all of it was written.
std::string Finish(std::ofstream& out, const std::string& path) {
  out.close();
  return out ? "" : "cannot write " + path;
}

// Part k's frequencies: its total on the first line, then "word TAB
// frequency" lines.
std::string CountPart(const std::vector<std::string>& files, const fs::path& work, size_t k) {
  Ranking part;
  std::string error;
  if (!part.CountFrequencies(files[k], &error)) return error;
  std::string path = Named(work, "frequencies", k);
  std::ofstream out(path, std::ios::binary);
  out << part.Total() << '\n';
  for (uint32_t id = 0; id < part.WordCount(); ++id)
    out << part.Word(id) << '\t' << part.Frequency(id) << '\n';
  return Finish(out, path);
}

bool SumFrequencies(size_t parts, const fs::path& work, Ranking* ranking, std::string* error) {
  for (size_t j = 0; j < parts; ++j) {
    std::string path = Named(work, "frequencies", j);
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!std::getline(in, line)) {
      *error = "cannot read " + path;
      return false;
    }
    ranking->AddTotal(std::stoll(line));
    while (std::getline(in, line)) {
      size_t tab = line.rfind('\t');
      ranking->AddFrequency(std::string_view(line).substr(0, tab),
                            std::stoll(line.substr(tab + 1)));
    }
  }
  return true;
}

// Part k scored against the sums; each word's best items go to the file of
// the range its word falls in.
std::string ScorePart(const std::string& dir, const std::vector<std::string>& files,
                      const std::vector<std::string>& keys, const RankOptions& options,
                      const fs::path& work, size_t k) {
  Ranking part;
  part.SetOptions(options);
  std::string error;
  if (!SumFrequencies(files.size(), work, &part, &error) || !part.ReadMarginals(dir, &error))
    return error;
  part.Keep(nullptr);
  if (!part.Score(files[k], &error)) return error;
  size_t range = 0;
  std::string path = Named(work, "lists", k, range);
  std::ofstream out(path, std::ios::binary);
  for (uint32_t id : part.SortedIds()) {
    while (range < keys.size() && !(part.Word(id) < keys[range])) {
      if (std::string failure = Finish(out, path); !failure.empty()) return failure;
      path = Named(work, "lists", k, ++range);
      out.open(path, std::ios::binary);
    }
    for (const RankedItem& item : part.List(id)) {
      out << part.Word(id) << '\t' << part.Word(item.other) << '\t' << FormatScore(item.score)
          << '\t' << item.count << '\t' << (item.follows ? '1' : '0') << '\n';
    }
  }
  return Finish(out, path);
}

// Range d's lists from every part, offered in file order, ranked; the
// words written with '?' listed in "lossy-d", one a line: a word may stand
// in the lists of several ranges, and is one word all the same.
std::string JoinLists(const std::string& dir, size_t parts, const RankOptions& options,
                      const fs::path& work, size_t d) {
  Ranking joined;
  joined.SetOptions(options);
  for (size_t j = 0; j < parts; ++j) {
    std::ifstream in(Named(work, "lists", j, d), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1),
             tab3 = line.find('\t', tab2 + 1), tab4 = line.find('\t', tab3 + 1);
      double score = 0;
      std::from_chars(line.data() + tab2 + 1, line.data() + tab3, score);
      std::string_view text(line);
      joined.OfferItem(text.substr(0, tab1), text.substr(tab1 + 1, tab2 - tab1 - 1), score,
                       std::stoll(line.substr(tab3 + 1, tab4 - tab3 - 1)), line[tab4 + 1] == '1');
    }
  }
  // Converted for people here, as one ranking is, so that the joined
  // pieces are its bytes.
  PeopleText shown;
  std::string error;
  if (!shown.Open(options.to, kPeopleEncoding, &error) ||
      !WriteRanking(joined, Named(work, "ranked", d), &error, &shown, {}, dir)) {
    return error;
  }
  std::string path = Named(work, "lossy", d);
  std::ofstream out(path, std::ios::binary);
  if (shown.lossyWords() > 0) {
    std::vector<bool> written(joined.WordCount());
    for (uint32_t id = 0; id < joined.WordCount(); ++id) {
      for (const RankedItem& item : joined.List(id))
        written[id] = written[item.other] = true;
    }
    PeopleText probe;
    probe.Open(options.to, kPeopleEncoding, &error);
    for (uint32_t id = 0; id < joined.WordCount(); ++id) {
      if (!written[id]) continue;
      uint64_t before = probe.lossyWords();
      probe.Show(joined.Word(id));
      if (probe.lossyWords() > before) out << joined.Word(id) << '\n';
    }
  }
  return Finish(out, path);
}

}  // namespace

std::string RankParts(const std::string& dir, const RankOptions& options, const std::string& out,
                      const OutputOptions& output, uint64_t* lossyWords) {
  std::vector<std::string> files, keys;
  std::string error;
  if (!PairFileParts(dir, &files, &error, &keys)) return error;
  size_t parts = files.size();
  // Beside the output, with room for what is ranked.
  ScratchDirectory scratch;
  if (!scratch.Make(out, &error)) return error;
  fs::path work = scratch.path();
  std::string failure =
      ForEachInProcesses(parts, [&](size_t k) { return CountPart(files, work, k); });
  if (failure.empty()) {
    failure = ForEachInProcesses(
        parts, [&](size_t k) { return ScorePart(dir, files, keys, options, work, k); });
  }
  if (failure.empty()) {
    failure = ForEachInProcesses(parts,
                                 [&](size_t d) { return JoinLists(dir, parts, options, work, d); });
  }
  if (failure.empty()) {
    std::vector<std::string> ranked;
    std::unordered_set<std::string> lossy;
    for (size_t d = 0; d < parts; ++d) {
      ranked.push_back(Named(work, "ranked", d));
      std::ifstream words(Named(work, "lossy", d), std::ios::binary);
      for (std::string word; std::getline(words, word);)
        lossy.insert(word);
    }
    if (lossyWords != nullptr) *lossyWords = lossy.size();
    // Into the staged file itself: its descriptor is what is synced and
    // what keeps the entry from being swept.
    StagedOutput staged(out, output);
    if (!AppendParts(ranked, staged.path(), &failure) || !staged.Commit(&failure)) {
      if (failure.empty()) failure = "cannot write " + out;
    }
  }
  return failure;
}

}  // namespace ulo::engine
