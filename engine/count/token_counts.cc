#include "engine/count/token_counts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "engine/files/checks.h"
#include "engine/files/mapped_file.h"
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
    if (!mapped.Open(path, error)) return false;
    text = mapped.text();
    std::string_view head = NextLine();
    size_t blank = head.rfind(' ');
    int64_t span = 0;
    if (head.rfind(std::string(kMagic) + ' ', 0) != 0 || blank == std::string_view::npos ||
        blank <= sizeof kMagic ||
        !ParseNumber(head.substr(sizeof kMagic, blank - sizeof kMagic), total) ||
        !ParseNumber(head.substr(blank + 1), &span) || span < 1 || span > INT32_MAX) {
      return Bad("its first line is not \"" + std::string(kMagic) + " TOTAL WINDOW\"", error);
    }
    *window = static_cast<int>(span);
    return Next(error);
  }
  // Moves to the next line; at the end, done() turns true.
  bool Next(std::string* error) {
    if (at == text.size()) {
      finished = true;
      return true;
    }
    std::string_view line = NextLine();
    size_t tab = line.rfind('\t');
    if (tab == std::string_view::npos || !ParseNumber(line.substr(tab + 1), &tally))
      return Bad("a line is not word TAB count", error);
    word = line.substr(0, tab);
    return true;
  }
  bool done() const { return finished; }
  std::string_view current() const { return word; }
  int64_t count() const { return tally; }

 private:
  // The line at `at`, without its line end (the last may have none).
  std::string_view NextLine() {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end == text.size() ? end : end + 1;
    return line;
  }
  bool Bad(const std::string& what, std::string* error) {
    *error = path + " is no token-count file (" + what + ")";
    return false;
  }
  std::string path;
  MappedFile mapped;
  std::string_view text;
  size_t at = 0;
  std::string_view word;
  int64_t tally = 0;
  bool finished = false;
};

// Lines "word TAB count" gathered and written in large pieces.
class CountWriter {
 public:
  explicit CountWriter(std::FILE* file) : file(file) { buffer.reserve(kPiece + 4096); }
  void Line(std::string_view word, int64_t count) {
    buffer.append(word);
    char digits[24];
    digits[0] = '\t';
    char* end = std::to_chars(digits + 1, digits + sizeof digits - 1, count).ptr;
    *end++ = '\n';
    buffer.append(digits, static_cast<size_t>(end - digits));
    if (buffer.size() >= kPiece) Flush();
  }
  void Text(std::string_view text) { buffer.append(text); }
  // False when a write failed, now or before.
  bool Flush() {
    if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), file) != buffer.size())
      failed = true;
    buffer.clear();
    return !failed;
  }

 private:
  static constexpr size_t kPiece = size_t{1} << 20;
  std::FILE* file;
  std::string buffer;
  bool failed = false;
};

std::string Header(int64_t total, int window) {
  return std::string(kMagic) + ' ' + std::to_string(total) + ' ' + std::to_string(window) + '\n';
}

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
  std::FILE* file = staged.Open();
  bool written = file != nullptr;
  if (written) {
    CountWriter out(file);
    out.Text(Header(sum, span));
    for (uint32_t id : words.SortedIds())
      out.Line(words.Word(id), tallies[id]);
    written = out.Flush();
    written = std::fclose(file) == 0 && written;
  }
  if (!written) {
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
    // A hidden one is a run's that was stopped before it was put in place.
    std::string name = entry.path().filename().string();
    if (name[0] != '.' && entry.path().extension() == ".tokens" && entry.is_regular_file(code))
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
  // Not truncated when empty (a staging file): ext4 writes a truncated file
  // out whole when it is closed.
  int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  struct stat status;
  std::FILE* file =
      fd >= 0 && fstat(fd, &status) == 0 && (status.st_size == 0 || ftruncate(fd, 0) == 0)
          ? fdopen(fd, "wb")
          : nullptr;
  if (file == nullptr) {
    if (fd >= 0) close(fd);
    *error = "cannot write " + to + ": " + ErrorText(errno);
    return false;
  }
  CountWriter out(file);
  out.Text(Header(total, window));
  for (;;) {
    const TokenFileReader* least = nullptr;
    for (const TokenFileReader& reader : readers) {
      if (!reader.done() && (least == nullptr || reader.current() < least->current()))
        least = &reader;
    }
    if (least == nullptr) break;
    std::string_view word = least->current();
    int64_t count = 0;
    for (TokenFileReader& reader : readers) {
      if (reader.done() || reader.current() != word) continue;
      count += reader.count();
      // The word stays readable: the files stay mapped.
      if (!reader.Next(error)) {
        std::fclose(file);
        return false;
      }
    }
    out.Line(word, count);
  }
  bool written = out.Flush();
  if (std::fclose(file) != 0 || !written) {
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
