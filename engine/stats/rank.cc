#include "engine/stats/rank.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>

#include "engine/files/checks.h"
#include "engine/files/line_reading.h"
#include "engine/files/pair_parts.h"
#include "engine/session/operations.h"
#include "engine/stats/rank_parts.h"
#include "engine/text/hash.h"

namespace ulo::engine {
namespace {

int64_t SaturatingAdd(int64_t x, int64_t y) {
  int64_t sum;
  if (__builtin_add_overflow(x, y, &sum)) {
    return y > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  }
  return sum;
}

}  // namespace

int64_t MinCount(const RankOptions& options) {
  return options.minCount > 0 ? options.minCount : DefaultMinCount(options.measure);
}

bool ParsePairLine(std::string_view line, std::string_view* word1, std::string_view* word2,
                   int64_t* count) {
  size_t first = line.find('\t');
  if (first == std::string_view::npos) return false;
  size_t second = line.find('\t', first + 1);
  if (second == std::string_view::npos) return false;
  *word1 = line.substr(0, first);
  *word2 = line.substr(first + 1, second - first - 1);
  std::string_view rest = line.substr(second + 1);
  size_t i = 0;
  while (i < rest.size() && (rest[i] == ' ' || (rest[i] >= '\t' && rest[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < rest.size() && (rest[i] == '+' || rest[i] == '-')) negative = rest[i++] == '-';
  int64_t value = 0;
  for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
    int digit = rest[i] - '0';
    if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) {
      value = std::numeric_limits<int64_t>::max();  // pinned, as the library's sums are
      break;
    }
    value = value * 10 + digit;
  }
  *count = negative ? -value : value;
  return true;
}

bool ForEachPairFileLine(const std::string& path, std::string* error,
                         const std::function<void(std::string_view)>& take) {
  return ForEachLine(path, error, take);
}

std::string ChangedWhileRead(const std::string& path, const char* done) {
  return path + " changed while it was " + done + ": it holds words it did not";
}

uint32_t Ranking::Intern(std::string_view word) {
  if (!words.empty() && word == lastWord) return lastId;
  lastId = words.Intern(word);
  if (lastId == frequencies.size()) frequencies.push_back(0);
  lastWord = words.Word(lastId);
  return lastId;
}

std::optional<uint32_t> Ranking::Find(std::string_view word) const {
  return words.Find(word);
}

bool Ranking::Better(const RankedItem& x, const RankedItem& y) const {
  if (x.score != y.score) return x.score > y.score;
  return words.Word(x.other) < words.Word(y.other);
}

void Ranking::Offer(uint32_t base, const RankedItem& item) {
  if (item.score < floors[base]) return;
  if (!kept[base]) return;
  std::vector<RankedItem>& list = lists[base];
  // A full list takes nothing that ranks below its last item: not even as a
  // better score for a word it holds, whose score ranks above that item's.
  bool full = list.size() >= static_cast<size_t>(options.top);
  if (full && !Better(item, list.back())) return;
  // A pair counted in both directions stands on two lines; the word keeps
  // its better score once.
  for (RankedItem& held : list) {
    if (held.other == item.other) {
      // The second line of a pair mostly gives the same score: then the
      // first stays, and so does the order.
      if (!(item.score > held.score)) return;
      held = item;
      std::sort(list.begin(), list.end(),
                [this](const RankedItem& x, const RankedItem& y) { return Better(x, y); });
      if (full) floors[base] = list.back().score;
      return;
    }
  }
  if (full) {
    list.back() = item;
  } else {
    list.push_back(item);
  }
  for (size_t i = list.size() - 1; i > 0 && Better(list[i], list[i - 1]); --i)
    std::swap(list[i], list[i - 1]);
  if (list.size() >= static_cast<size_t>(options.top)) floors[base] = list.back().score;
}

bool Ranking::Build(const std::string& path, const RankOptions& rankOptions, std::string* error,
                    const std::vector<std::string>* bases) {
  options = rankOptions;
  if (!ReadMarginals(path, error)) return false;
  if (!CountFrequencies(path, error)) return false;
  Keep(bases);
  return Score(path, error);
}

bool Ranking::CountFrequencies(const std::string& path, std::string* error) {
  std::string_view word1, word2;
  int64_t count = 0;
  recorded.clear();
  recordedPath = path;
  recordedFirst = UINT32_MAX;
  recording = true;
  MirrorCheck check;
  // The frequencies and the total as the library's statistics sum them.
  bool read = ForEachPairFileLine(path, error, [&](std::string_view line) {
    if (!ParsePairLine(line, &word1, &word2, &count)) return;
    uint32_t id1 = Intern(word1);
    uint32_t id2 = Intern(word2);
    frequencies[id1] = SaturatingAdd(frequencies[id1], count);
    frequencies[id2] = SaturatingAdd(frequencies[id2], count);
    total = SaturatingAdd(SaturatingAdd(total, count), count);
    check.Add(id1, id2, count);
    if (recording) Record(id1, id2, count, !(word2 < word1));
  });
  if (!read) recording = false;
  mirrored = read && check.Mirrored();
  return read;
}

void MirrorCheck::Sums::Add(uint32_t id1, uint32_t id2, int64_t count) {
  uint32_t line[4] = {id1, id2, static_cast<uint32_t>(count),
                      static_cast<uint32_t>(static_cast<uint64_t>(count) >> 32)};
  XXH128_hash_t hash = XXH3_128bits(line, sizeof line);
  first += hash.low64;
  second += hash.high64;
}

namespace {

void PutVarint(uint64_t value, std::string* out) {
  while (value >= 0x80) {
    out->push_back(static_cast<char>(value | 0x80));
    value >>= 7;
  }
  out->push_back(static_cast<char>(value));
}

uint64_t GetVarint(const char** p) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    auto byte = static_cast<unsigned char>(*(*p)++);
    value |= uint64_t{byte & 0x7fu} << shift;
    if (byte < 0x80) return value;
  }
}

}  // namespace

void Ranking::Record(uint32_t id1, uint32_t id2, int64_t count, bool follows) {
  if (recorded.size() > kRecordBytes) {
    recording = false;
    std::string().swap(recorded);
    return;
  }
  bool fresh = id1 != recordedFirst;
  PutVarint(uint64_t{id2} << 2 | (follows ? 2 : 0) | (fresh ? 1 : 0), &recorded);
  if (fresh) PutVarint(id1, &recorded);
  recordedFirst = id1;
  // Counts below zero come only from files made by hand; they keep their bits.
  PutVarint(static_cast<uint64_t>(count), &recorded);
}

void Ranking::ScoreRecorded() {
  const char* p = recorded.data();
  const char* end = p + recorded.size();
  uint32_t id1 = 0;
  while (p < end) {
    uint64_t head = GetVarint(&p);
    if ((head & 1) != 0) id1 = static_cast<uint32_t>(GetVarint(&p));
    auto count = static_cast<int64_t>(GetVarint(&p));
    auto id2 = static_cast<uint32_t>(head >> 2);
    if (OneSide()) {
      ScoreMirrored(id1, id2, count, (head & 2) != 0);
    } else {
      ScorePair(id1, id2, count);
    }
  }
}

bool Ranking::ReadMarginals(const std::string& pairs, std::string* error) {
  tokens.reset();
  tokenFrequencies.clear();
  if (options.marginals != Marginals::kTokens) return true;
  std::string path = TokenCounts::PathFor(pairs);
  std::error_code code;
  if (!std::filesystem::exists(path, code)) {
    *error = "token marginals need the token counts " + path +
             ", which a count writes beside its directory and a merge beside its output";
    return false;
  }
  tokens.emplace();
  if (tokens->Read(path, error)) return true;
  tokens.reset();
  return false;
}

int64_t Ranking::Margin(uint32_t id) {
  if (!tokens) return frequencies[id];
  if (tokenFrequencies.size() <= id) tokenFrequencies.resize(words.size(), -1);
  int64_t& frequency = tokenFrequencies[id];
  if (frequency < 0) frequency = tokens->Find(words.Word(id)).value_or(0);
  return frequency;
}

void Ranking::Reserve(size_t count) {
  words.Reserve(count);
  frequencies.reserve(count);
}

uint32_t Ranking::AddFrequency(std::string_view word, int64_t frequency) {
  uint32_t id = Intern(word);
  frequencies[id] = SaturatingAdd(frequencies[id], frequency);
  return id;
}

void Ranking::AddTotal(int64_t sum) {
  total = SaturatingAdd(total, sum);
}

void Ranking::Keep(const std::vector<std::string>* bases) {
  lists.assign(words.size(), {});
  kept.assign(words.size(), bases == nullptr);
  const double inf = std::numeric_limits<double>::infinity();
  floors.assign(words.size(), bases == nullptr ? -inf : inf);
  if (bases != nullptr) {
    for (const std::string& base : *bases) {
      if (std::optional<uint32_t> id = Find(base)) {
        kept[*id] = true;
        floors[*id] = -inf;
      }
    }
  }
}

bool Ranking::Score(const std::string& path, std::string* error) {
  if (recording && path == recordedPath) {
    ScoreRecorded();
    recording = false;
    std::string().swap(recorded);
    return true;
  }
  bool known = true;
  bool read = ForEachPairFileLine(path, error, [&](std::string_view line) {
    if (known) known = ScoreLine(line);
  });
  if (read && !known) *error = ChangedWhileRead(path, "ranked");
  return read && known;
}

bool Ranking::ScoreLine(std::string_view line) {
  std::string_view word1, word2;
  int64_t count = 0;
  if (!ParsePairLine(line, &word1, &word2, &count)) return true;
  if (word1 != lastWord) {
    std::optional<uint32_t> id1 = words.Find(word1);
    if (!id1) return false;
    lastId = *id1;
    lastWord = words.Word(lastId);
  }
  std::optional<uint32_t> id2 = words.Find(word2);
  if (!id2) return false;
  if (OneSide()) {
    ScoreMirrored(lastId, *id2, count, !(word2 < word1));
  } else {
    ScorePair(lastId, *id2, count);
  }
  return true;
}

void Ranking::ScoreMirrored(uint32_t id1, uint32_t id2, int64_t count, bool follows) {
  if (count < MinCount(options) || (!options.selfPairs && id1 == id2)) return;
  if (Margin(id1) < options.minWordCount || Margin(id2) < options.minWordCount) return;
  Offer(id1, {id2, PairScore(id1, id2, count), count, follows});
}

double Ranking::PairScore(uint32_t base, uint32_t other, int64_t count) {
  // Counted in a window of W, a token heads W pairs: NLTK's finder divides
  // by W so that a pair's count and the token counts are of one kind.
  const double a = static_cast<double>(count) / (tokens ? tokens->window() : 1);
  const double n = static_cast<double>(tokens ? tokens->total() : total);
  return engine::Score(options.measure, {a, static_cast<double>(Margin(base)),
                                         static_cast<double>(Margin(other)), n});
}

void Ranking::ScorePair(uint32_t id1, uint32_t id2, int64_t count) {
  if (count < MinCount(options) || (!options.selfPairs && id1 == id2)) return;
  if (Margin(id1) < options.minWordCount || Margin(id2) < options.minWordCount) return;
  if (options.direction != Direction::kBefore)
    Offer(id1, {id2, PairScore(id1, id2, count), count, true});
  if (options.direction != Direction::kAfter)
    Offer(id2, {id1, PairScore(id2, id1, count), count, false});
}

void Ranking::OfferItem(std::string_view base, std::string_view other, double score, int64_t count,
                        bool follows) {
  uint32_t id = Intern(base);
  uint32_t otherId = Intern(other);
  if (lists.size() < words.size()) {
    lists.resize(words.size());
    kept.resize(words.size(), true);
    floors.resize(words.size(), -std::numeric_limits<double>::infinity());
  }
  Offer(id, {otherId, score, count, follows});
}

std::vector<uint32_t> Ranking::SortedIds() const {
  return words.SortedIds();
}

std::string RankedLine(const Ranking& ranking, uint32_t id, const RankedItem& item,
                       PeopleText* shown) {
  if (shown == nullptr) return RankedLine(ranking.Word(id), ranking.Word(item.other), item);
  return RankedLine(shown->Show(ranking.Word(id)), shown->Show(ranking.Word(item.other)), item);
}

std::string RankedLine(std::string_view word, std::string_view other, const RankedItem& item) {
  std::string line(word);
  line += '\t';
  line += other;
  line += '\t';
  line += FormatScore(item.score);
  line += '\t';
  line += std::to_string(item.count);
  line += item.follows ? "\tafter\n" : "\tbefore\n";
  return line;
}

bool WriteRanking(const Ranking& ranking, const std::string& path, std::string* error,
                  PeopleText* shown, const OutputOptions& output, const std::string& source) {
  StagedOutput staged(path, output);
  if (staged.path().empty()) return staged.Commit(error);
  File file(staged.Open());
  if (!file) {
    *error = "cannot write " + path + ": " + ErrorText(errno);
    return false;
  }
  // Each word converted once, however many lines it stands on.
  std::vector<std::string> names(shown != nullptr ? ranking.WordCount() : 0);
  auto name = [&](uint32_t id) -> std::string_view {
    if (shown == nullptr) return ranking.Word(id);
    if (names[id].empty()) names[id] = shown->Show(ranking.Word(id));
    return names[id];
  };
  std::string line;
  for (uint32_t id : ranking.SortedIds()) {
    for (const RankedItem& item : ranking.List(id)) {
      line = RankedLine(name(id), name(item.other), item);
      if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size()) {
        *error = "cannot write " + path + ": " + ErrorText(errno);
        return false;
      }
    }
  }
  FILE* raw = file.release();
  bool failed = std::ferror(raw) != 0;
  if (std::fclose(raw) != 0 || failed) {
    *error = "cannot write " + path + ": " + ErrorText(errno);
    return false;
  }
  if (shown != nullptr) *error = shown->ShownTextProblem(source);
  return error->empty() && staged.Commit(error);
}

std::string RankFile(const std::string& in, const std::string& out, const RankOptions& options,
                     const OperationOptions& operations, uint64_t* lossyWords) {
  if (std::string problem = OutputEncodingProblem(options.to); !problem.empty()) return problem;
  if (std::string problem = FileProblem(in, out, operations.trustInput); !problem.empty()) {
    return problem;
  }
  if (IsPartsDirectory(in)) return RankParts(in, options, out, operations.output, lossyWords);
  Ranking ranking;
  PeopleText shown;
  std::string error;
  if (!shown.Open(options.to, kPeopleEncoding, &error)) return error;
  if (!ranking.Build(in, options, &error) ||
      !WriteRanking(ranking, out, &error, &shown, operations.output, in)) {
    return error;
  }
  if (lossyWords != nullptr) *lossyWords = shown.lossyWords();
  return {};
}

}  // namespace ulo::engine
