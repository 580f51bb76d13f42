#include "engine/words/new_words.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "engine/count/jobs.h"
#include "engine/files/checks.h"
#include "engine/files/line_reading.h"
#include "engine/session/operations.h"
#include "engine/stats/measures.h"
#include "engine/stats/rank.h"
#include "engine/text/encoding.h"
#include "engine/words/candidates.h"

namespace ulo::engine {
namespace {

// Frequencies of strings met in byte order, kept in one block of bytes and
// found by binary search: a few bytes a string, no allocation each.
class SortedFrequencies {
 public:
  void Add(std::string_view text, int64_t frequency) {
    entries.push_back({bytes.size(), text.size(), frequency});
    bytes.append(text);
  }
  std::optional<int64_t> Find(std::string_view text) const {
    auto at = std::lower_bound(
        entries.begin(), entries.end(), text,
        [this](const Entry& entry, std::string_view key) { return View(entry) < key; });
    if (at == entries.end() || View(*at) != text) return std::nullopt;
    return at->frequency;
  }

 private:
  struct Entry {
    size_t offset;
    size_t length;
    int64_t frequency;
  };
  std::string_view View(const Entry& entry) const {
    return std::string_view(bytes).substr(entry.offset, entry.length);
  }
  std::string bytes;
  std::vector<Entry> entries;
};

// Entropy in bits of counts that sum to `total`, summed smallest first: the
// same counts in another order (other neighbours) give the same bits, so
// that equal scores tie and fall to frequency and byte order.
double Entropy(std::vector<int64_t>& counts, int64_t total) {
  std::sort(counts.begin(), counts.end());
  double entropy = 0;
  for (int64_t count : counts) {
    double share = static_cast<double>(count) / static_cast<double>(total);
    entropy -= share * std::log2(share);
  }
  return entropy + 0.0;  // no negative zero
}

// One string's lines of the merged file, gathered as they are read.
struct Group {
  std::string text;
  int64_t self = 0;  // its "=" count: a single letter
  int64_t afterTotal = 0;
  std::vector<int64_t> before;
  std::vector<int64_t> after;

  void Reset(std::string_view word) {
    text.assign(word);
    self = afterTotal = 0;
    before.clear();
    after.clear();
  }
};

class Scorer {
 public:
  explicit Scorer(const WordOptions& options) : options(options) {}

  void Take(std::string_view line) {
    std::string_view word, other;
    int64_t count = 0;
    if (!ParsePairLine(line, &word, &other, &count) || other.empty() || count <= 0) return;
    if (word != group.text) {
      Close();
      group.Reset(word);
    }
    if (other[0] == kSelfMark) {
      group.self += count;
    } else if (other[0] == kBeforeMark) {
      group.before.push_back(count);
    } else if (other[0] == kAfterMark) {
      group.after.push_back(count);
      group.afterTotal += count;
    }
  }

  // Ends the last group and scores every candidate kept.
  void Finish(std::vector<NewWord>* words) {
    Close();
    for (NewWord& word : candidates) {
      if (!Cohere(&word)) continue;
      if (word.cohesion < options.minCohesion) continue;
      word.score = word.cohesion * word.freedom() * std::log(static_cast<double>(word.frequency));
      words->push_back(std::move(word));
    }
    std::sort(words->begin(), words->end(), [](const NewWord& x, const NewWord& y) {
      if (x.score != y.score) return x.score > y.score;
      if (x.frequency != y.frequency) return x.frequency > y.frequency;
      return x.word < y.word;
    });
    if (options.top > 0 && words->size() > static_cast<size_t>(options.top))
      words->resize(static_cast<size_t>(options.top));
  }

 private:
  void Close() {
    if (group.text.empty()) return;
    size_t letters = LetterCount(group.text);
    int64_t frequency = letters == 1 ? group.self : group.afterTotal;
    if (letters == 1) letterTotal += group.self;
    if (frequency < options.minCount) return;
    // A part is shorter than the longest candidate and at least as frequent
    // as any string it is part of.
    if (letters < static_cast<size_t>(options.maxLength)) parts.Add(group.text, frequency);
    if (letters < 2 || letters > static_cast<size_t>(options.maxLength)) return;
    NewWord word{
        group.text, frequency, 0, Entropy(group.before, frequency), Entropy(group.after, frequency),
        0};
    if (word.freedom() >= options.minFreedom) candidates.push_back(std::move(word));
  }

  // The smallest pmi over the split points; false when a part is missing
  // (a file that is not one count of candidates).
  bool Cohere(NewWord* word) const {
    std::optional<double> least;
    std::string_view text = word->word;
    for (size_t cut = LetterLength(text, 0); cut < text.size(); cut += LetterLength(text, cut)) {
      std::optional<int64_t> left = parts.Find(text.substr(0, cut));
      std::optional<int64_t> right = parts.Find(text.substr(cut));
      if (!left || !right) return false;
      double pmi =
          Score(Measure::kPmi, {static_cast<double>(word->frequency), static_cast<double>(*left),
                                static_cast<double>(*right), static_cast<double>(letterTotal)});
      if (!least || pmi < *least) least = pmi;
    }
    word->cohesion = least.value_or(0);
    return least.has_value();
  }

  const WordOptions& options;
  Group group;
  SortedFrequencies parts;
  std::vector<NewWord> candidates;
  int64_t letterTotal = 0;
};

}  // namespace

bool RankNewWords(const std::string& pairs, const WordOptions& options, std::vector<NewWord>* words,
                  std::string* error) {
  Scorer scorer(options);
  if (!ForEachLine(pairs, error, [&](std::string_view line) { scorer.Take(line); })) return false;
  words->clear();
  scorer.Finish(words);
  return true;
}

bool WriteWordTable(const std::vector<NewWord>& words, const std::string& path, std::string* error,
                    const OutputOptions& output) {
  PeopleText shown;
  if (!shown.Open(kPeopleEncoding, kPeopleEncoding, error)) return false;
  std::string text = "word\tscore\tfrequency\tcohesion\tfreedom\tbefore\tafter\n";
  for (const NewWord& word : words) {
    text += shown.Show(word.word) + '\t' + FormatScore(word.score) + '\t' +
            std::to_string(word.frequency) + '\t' + FormatScore(word.cohesion) + '\t' +
            FormatScore(word.freedom()) + '\t' + FormatScore(word.before) + '\t' +
            FormatScore(word.after) + '\n';
  }
  StagedOutput staged(path, output);
  if (staged.path().empty()) return staged.Commit(error);
  File file(staged.Open());
  bool written = file && std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  FILE* raw = file.release();
  if (raw != nullptr && std::fclose(raw) != 0) written = false;
  if (!written) {
    *error = "cannot write " + path + ": " + ErrorText(errno);
    return false;
  }
  return staged.Commit(error);
}

std::string WriteNewWords(const std::string& pairs, const std::string& out,
                          const WordOptions& options, bool trustInput,
                          const OutputOptions& output) {
  if (std::string problem = FileProblem(pairs, out, trustInput); !problem.empty()) return problem;
  std::vector<NewWord> words;
  std::string error;
  if (!RankNewWords(pairs, options, &words, &error) ||
      !WriteWordTable(words, out, &error, output)) {
    return error;
  }
  return {};
}

void PrepareCandidateCount(CountSettings* count, int maxLength) {
  count->candidateLength = maxLength;
  count->oneWay = true;
  count->perPairCommands = false;
  count->filters = FilterOptions();  // every filter off: neighbours are all characters
}

std::string FindNewWords(const Exports& exports, CountSettings count, const WordOptions& options,
                         const std::string& workDir, std::vector<NewWord>* words,
                         ProgressReport* report, const OutputOptions& output) {
  namespace fs = std::filesystem;
  PrepareCandidateCount(&count, options.maxLength);
  std::string spill = (fs::path(workDir) / "spill").string();
  std::string pairs = (fs::path(workDir) / "candidates.txt").string();
  CountSummary summary;
  if (std::string failure =
          CountIntoDirectory("words", exports, count, spill, &summary, report, output);
      !failure.empty()) {
    return failure;
  }
  Session session(exports, count.direct);
  std::string error;
  if (!session.Open(&error)) return "words: " + error;
  // The library wrote every file the merge and the ranking read a moment before.
  OperationOptions trusted;
  trusted.trustInput = true;
  trusted.output = output;
  if (std::string failure = MergeFiles(session, spill, pairs, nullptr, trusted); !failure.empty()) {
    return "words: " + failure;
  }
  if (!RankNewWords(pairs, options, words, &error)) return "words: " + error;
  return {};
}

}  // namespace ulo::engine
