#include "engine/query/word_frequencies.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <system_error>
#include <vector>

#include "engine/files/checks.h"
#include "engine/files/pair_check.h"
#include "engine/files/pair_parts.h"
#include "engine/query/sorted_lines.h"
#include "engine/stats/rank.h"

namespace ulo::engine {
namespace {

namespace fs = std::filesystem;

constexpr char kMagic[] = "ulo-frequencies 3";

// Size and modification time of the pair file (summed over a directory's
// parts and index), as the sidecar records them.
std::string Stamp(const std::string& pairs) {
  std::vector<std::string> files;
  std::string error;
  if (!PairFileParts(pairs, &files, &error)) return {};
  if (IsPartsDirectory(pairs)) files.push_back((fs::path(pairs) / kPartsIndex).string());
  uint64_t size = 0, time = 0;
  for (const std::string& file : files) {
    std::error_code code;
    size += fs::file_size(file, code);
    auto written = fs::last_write_time(file, code);
    if (code) return {};
    // Summed: any part that changes changes the stamp.
    time += static_cast<uint64_t>(written.time_since_epoch().count());
  }
  return std::to_string(size) + " " + std::to_string(time);
}

// Whether every line of a sidecar's body is "word TAB frequency", the words
// in byte order: a body cut or edited since it was made is made again, not
// searched or read as numbers.
bool SoundBody(std::string_view body) {
  std::string_view last;
  for (bool first = true; !body.empty(); first = false) {
    size_t end = body.find('\n');
    size_t tab = body.substr(0, end).find('\t');
    if (end == std::string_view::npos || tab == 0 || tab == std::string_view::npos) return false;
    std::string_view word = body.substr(0, tab), number = body.substr(tab + 1, end - tab - 1);
    int64_t frequency = 0;
    const char* stop = number.data() + number.size();
    auto [at, problem] = std::from_chars(number.data(), stop, frequency);
    if (number.empty() || problem != std::errc() || at != stop) return false;
    if (!first && !(last < word)) return false;
    last = word;
    body.remove_prefix(end + 1);
  }
  return true;
}

}  // namespace

std::string WordFrequencies::BesidePath(const std::string& pairs, const std::string& suffix) {
  std::string path = WithoutTrailingSlashes(pairs);
  // "." or "DIR/.." names a directory by a name of its own inside it: what
  // lies beside the directory must not land in it.
  std::string last = std::filesystem::path(path).filename().string();
  if (last == "." || last == "..") {
    std::error_code code;
    std::filesystem::path absolute = std::filesystem::absolute(path, code).lexically_normal();
    if (!code) path = WithoutTrailingSlashes(absolute.string());
  }
  return path + suffix;
}

std::string WordFrequencies::PathFor(const std::string& pairs) {
  return BesidePath(pairs, ".freq");
}

bool WordFrequencies::Open(const std::string& pairs, bool trustInput, std::string* error,
                           const OutputOptions& output) {
  std::string stamp = Stamp(pairs);
  std::string path = PathFor(pairs);
  // A sidecar made under --trust-input vouches only for runs that trust too.
  if (!stamp.empty() && Read(path, stamp) && (checked || trustInput)) return true;
  checked = !trustInput;
  if (checked) {
    if (std::string problem = PairFileOrPartsProblem(pairs, kMergedPairs); !problem.empty()) {
      *error = problem;
      return false;
    }
  }
  if (!Make(pairs, stamp, error)) return false;
  // Kept only in memory when the sidecar cannot be written (a read-only
  // directory): the answer is the same, only slower next time.
  StagedOutput staged(path, output);
  if (staged.path().empty()) return true;
  std::ofstream out(staged.path(), std::ios::binary);
  out << text;
  out.close();
  std::string ignored;
  if (out) staged.Commit(&ignored);
  return true;
}

bool WordFrequencies::Read(const std::string& path, const std::string& stamp) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  if (!in) return false;
  text = all.str();
  size_t end = text.find('\n');
  if (end == std::string::npos) return false;
  std::istringstream head(text.substr(0, end));
  std::string magic, version, size, time;
  int mirrored = 0, made = 0;
  head >> magic >> version >> size >> time >> mirrored >> sum >> made;
  if (!head || magic + " " + version != kMagic || size + " " + time != stamp) return false;
  if (!SoundBody(std::string_view(text).substr(end + 1))) return false;
  mirror = mirrored == 1;
  checked = made == 1;
  words = end + 1;
  return true;
}

bool WordFrequencies::Make(const std::string& pairs, const std::string& stamp, std::string* error) {
  // The frequencies as the ranking's first pass sums them, and the mirror
  // check, in one pass.
  Ranking counted;
  MirrorCheck check;
  std::string_view word1, word2;
  int64_t count = 0;
  std::vector<std::string> files;
  if (!PairFileParts(pairs, &files, error)) return false;
  for (const std::string& file : files) {
    bool read = ForEachPairFileLine(file, error, [&](std::string_view line) {
      if (!ParsePairLine(line, &word1, &word2, &count)) return;
      uint32_t id1 = counted.AddFrequency(word1, count);
      uint32_t id2 = counted.AddFrequency(word2, count);
      counted.AddTotal(count);
      counted.AddTotal(count);
      check.Add(id1, id2, count);
    });
    if (!read) return false;
  }
  sum = counted.Total();
  mirror = check.Mirrored();
  text = std::string(kMagic) + " " + (stamp.empty() ? "0 0" : stamp) + " " + (mirror ? "1" : "0") +
         " " + std::to_string(sum) + " " + (checked ? "1" : "0") + "\n";
  words = text.size();
  for (uint32_t id : counted.SortedIds()) {
    text += counted.Word(id);
    text += '\t';
    text += std::to_string(counted.Frequency(id));
    text += '\n';
  }
  return true;
}

std::optional<int64_t> WordFrequencies::Find(std::string_view word) const {
  std::vector<std::string_view> lines = KeyLinesInText(std::string_view(text).substr(words), word);
  if (lines.empty()) return std::nullopt;
  return std::stoll(std::string(lines[0].substr(word.size() + 1)));
}

std::optional<int64_t> WordFrequencies::Walk::Find(std::string_view word) {
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    std::string_view key = line.substr(0, line.find('\t'));
    if (key == word) return std::stoll(std::string(line.substr(key.size() + 1)));
    if (word < key) return std::nullopt;
    at = end + 1;
  }
  return std::nullopt;
}

}  // namespace ulo::engine
