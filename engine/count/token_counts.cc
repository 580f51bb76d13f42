#include "engine/count/token_counts.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "engine/files/checks.h"
#include "engine/query/word_frequencies.h"

namespace ulo::engine {
namespace {

constexpr char kMagic[] = "ulo-tokens 1";

bool ParseNumber(std::string_view text, int64_t* value) {
  const char* end = text.data() + text.size();
  auto [stop, code] = std::from_chars(text.data(), end, *value);
  return code == std::errc() && stop == end && *value >= 0;
}

}  // namespace

std::string TokenCounts::PathFor(const std::string& pairs) {
  return WordFrequencies::BesidePath(pairs, ".tokens");
}

void TokenCounts::Bump(std::string_view word, int64_t count) {
  uint32_t id = words.Intern(word);
  if (id == tallies.size()) tallies.push_back(0);
  tallies[id] += count;
}

void TokenCounts::Add(std::string_view token, uint64_t count) {
  Bump(token, static_cast<int64_t>(count));
  sum += static_cast<int64_t>(count);
}

void TokenCounts::AddAll(const std::vector<std::pair<std::string_view, uint64_t>>& counted) {
  // Most of a batch's words are rare: each lookup would wait for memory in
  // turn. Their slots are asked for some words ahead, their bytes a few.
  constexpr size_t kSlotsAhead = 16, kWordsAhead = 8;
  size_t n = counted.size();
  hashes.resize(n);
  for (size_t i = 0; i < n; ++i)
    hashes[i] = WordTable::Hash(counted[i].first);
  for (size_t i = 0; i < n && i < kSlotsAhead; ++i)
    words.PrefetchSlot(hashes[i]);
  for (size_t i = 0; i < n; ++i) {
    if (i + kSlotsAhead < n) words.PrefetchSlot(hashes[i + kSlotsAhead]);
    if (i + kWordsAhead < n) words.PrefetchWord(hashes[i + kWordsAhead]);
    uint32_t id = words.Intern(counted[i].first, hashes[i]);
    if (id == tallies.size()) tallies.push_back(0);
    tallies[id] += static_cast<int64_t>(counted[i].second);
    sum += static_cast<int64_t>(counted[i].second);
  }
}

namespace {

// One token-count file read line by line, in its words' byte order.
class TokenFileReader {
 public:
  bool Open(const std::string& file, int64_t* total, int* window, std::string* error) {
    path = file;
    in.open(path, std::ios::binary);
    if (!in) {
      *error = "cannot read " + path + ": " + ErrorText(errno);
      return false;
    }
    std::string head;
    std::getline(in, head);
    std::string_view text(head);
    size_t blank = text.rfind(' ');
    int64_t span = 0;
    if (text.rfind(std::string(kMagic) + ' ', 0) != 0 || blank <= sizeof kMagic ||
        !ParseNumber(text.substr(sizeof kMagic, blank - sizeof kMagic), total) ||
        !ParseNumber(text.substr(blank + 1), &span) || span < 1 || span > INT32_MAX) {
      return Bad("its first line is not \"" + std::string(kMagic) + " TOTAL WINDOW\"", error);
    }
    *window = static_cast<int>(span);
    return Next(error);
  }
  // Moves to the next line; at the end, done() turns true.
  bool Next(std::string* error) {
    if (!std::getline(in, line)) {
      finished = true;
      if (!in.bad()) return true;
      *error = "cannot read " + path + " to its end: " + ErrorText(errno);
      return false;
    }
    size_t tab = line.rfind('\t');
    if (tab == std::string::npos || !ParseNumber(std::string_view(line).substr(tab + 1), &tally))
      return Bad("a line is not word TAB count", error);
    word = std::string_view(line).substr(0, tab);
    return true;
  }
  bool done() const { return finished; }
  std::string_view current() const { return word; }
  int64_t count() const { return tally; }

 private:
  bool Bad(const std::string& what, std::string* error) {
    *error = path + " is no token-count file (" + what + ")";
    return false;
  }
  std::string path;
  std::ifstream in;
  std::string line;
  std::string_view word;
  int64_t tally = 0;
  bool finished = false;
};

}  // namespace

bool TokenCounts::Read(const std::string& path, std::string* error) {
  TokenFileReader reader;
  words = WordTable();
  tallies.clear();
  if (!reader.Open(path, &sum, &span, error)) return false;
  while (!reader.done()) {
    Bump(reader.current(), reader.count());
    if (!reader.Next(error)) return false;
  }
  return true;
}

bool TokenCounts::Write(const std::string& path, std::string* error,
                        const OutputOptions& output) const {
  StagedOutput staged(path, output);
  if (staged.path().empty()) return staged.Commit(error);
  std::vector<std::pair<std::string_view, int64_t>> sorted;
  sorted.reserve(words.size());
  for (size_t i = 0; i < words.size(); ++i)
    sorted.emplace_back(words.Word(static_cast<uint32_t>(i)), tallies[i]);
  std::sort(sorted.begin(), sorted.end());
  std::ofstream out(staged.path(), std::ios::binary);
  out << kMagic << ' ' << sum << ' ' << span << '\n';
  for (const auto& [word, count] : sorted)
    out << word << '\t' << count << '\n';
  out.close();
  if (!out) {
    *error = "cannot write " + path + ": " + ErrorText(errno);
    return false;
  }
  return staged.Commit(error);
}

std::optional<int64_t> TokenCounts::Find(std::string_view word) const {
  std::optional<uint32_t> id = words.Find(word);
  if (!id) return std::nullopt;
  return tallies[*id];
}

bool JoinTokenCounts(const std::string& dir, const std::string& to, bool* found,
                     std::string* error) {
  namespace fs = std::filesystem;
  std::error_code code;
  std::vector<std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, code)) {
    if (entry.path().extension() == ".tokens" && entry.is_regular_file(code))
      files.push_back(entry.path().string());
  }
  if (code) {
    *error = "cannot read the directory " + dir + ": " + code.message();
    return false;
  }
  *found = !files.empty();
  if (files.empty()) return true;
  // Each file is in its words' byte order: one pass over all of them, the
  // smallest word first, its counts added up.
  std::vector<TokenFileReader> readers(files.size());
  int64_t total = 0;
  int window = 1;
  for (size_t i = 0; i < files.size(); ++i) {
    int64_t part = 0;
    if (!readers[i].Open(files[i], &part, &window, error)) return false;
    total += part;
  }
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << kMagic << ' ' << total << ' ' << window << '\n';
  std::string word;
  for (;;) {
    const TokenFileReader* least = nullptr;
    for (const TokenFileReader& reader : readers) {
      if (!reader.done() && (least == nullptr || reader.current() < least->current()))
        least = &reader;
    }
    if (least == nullptr) break;
    word.assign(least->current());
    int64_t count = 0;
    for (TokenFileReader& reader : readers) {
      if (reader.done() || reader.current() != word) continue;
      count += reader.count();
      if (!reader.Next(error)) return false;
    }
    out << word << '\t' << count << '\n';
  }
  out.close();
  if (!out) {
    *error = "cannot write " + to + ": " + ErrorText(errno);
    return false;
  }
  for (const std::string& file : files)
    fs::remove(file, code);
  return true;
}

bool GatherTokenCounts(const std::string& dir, std::string* error, const OutputOptions& output) {
  std::error_code code;
  std::filesystem::remove(TokenCounts::PathFor(dir), code);
  StagedOutput staged(TokenCounts::PathFor(dir), output);
  if (staged.path().empty()) return staged.Commit(error);
  bool found = false;
  if (!JoinTokenCounts(dir, staged.path(), &found, error)) return false;
  return !found || staged.Commit(error);
}

}  // namespace ulo::engine
