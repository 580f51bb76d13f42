#include "engine/query/sorted_lines.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "engine/files/checks.h"
#include "engine/files/pair_parts.h"

namespace ulo::engine {
namespace {

std::string_view FirstField(std::string_view line) {
  return line.substr(0, line.find('\t'));
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Text read by offset: bytes in memory, or a file read in blocks.
class Source {
 public:
  virtual ~Source() = default;
  virtual uint64_t size() const = 0;
  // The line that begins at `offset`, its line end kept; empty at the end.
  virtual std::string_view LineAt(uint64_t offset) = 0;
  // Where the first line at or after `offset` begins.
  uint64_t NextLineStart(uint64_t offset) {
    if (offset == 0) return 0;
    std::string_view rest = LineAt(offset - 1);
    return offset - 1 + rest.size();
  }
};

class TextSource : public Source {
 public:
  explicit TextSource(std::string_view text) : text(text) {}
  uint64_t size() const override { return text.size(); }
  std::string_view LineAt(uint64_t offset) override {
    std::string_view rest = text.substr(std::min<uint64_t>(offset, text.size()));
    size_t end = rest.find('\n');
    return end == std::string_view::npos ? rest : rest.substr(0, end + 1);
  }

 private:
  std::string_view text;
};

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

class FileSource : public Source {
 public:
  bool Open(const std::string& path) {
    file.reset(std::fopen(path.c_str(), "rb"));
    if (!file || fseeko(file.get(), 0, SEEK_END) != 0) return false;
    bytes = static_cast<uint64_t>(ftello(file.get()));
    return true;
  }
  uint64_t size() const override { return bytes; }
  bool failed() const { return readFailed; }
  // From the block held when it has the whole line (the scan of a word's
  // lines reads on), else from a block read at `offset`, grown to the line.
  std::string_view LineAt(uint64_t offset) override {
    if (offset >= bytes) return {};
    if (offset < start || offset >= start + block.size() || !Whole(offset)) {
      block.clear();
      start = offset;
      size_t want = kBlock;
      while (start + block.size() < bytes && !Whole(offset)) {
        if (!Append(want)) return {};
        want *= 2;
      }
    }
    std::string_view rest = std::string_view(block).substr(offset - start);
    size_t end = rest.find('\n');
    return end == std::string_view::npos ? rest : rest.substr(0, end + 1);
  }

 private:
  static constexpr size_t kBlock = 1 << 16;

  bool Whole(uint64_t offset) const {
    return block.find('\n', offset - start) != std::string::npos || start + block.size() == bytes;
  }
  bool Append(size_t want) {
    size_t held = block.size();
    block.resize(held + want);
    if (fseeko(file.get(), static_cast<off_t>(start + held), SEEK_SET) != 0) return Failed();
    size_t got = std::fread(&block[held], 1, want, file.get());
    block.resize(held + got);
    return got > 0 || Failed();
  }
  bool Failed() {
    readFailed = true;
    block.clear();
    return false;
  }

  std::unique_ptr<FILE, FileCloser> file;
  uint64_t bytes = 0;
  uint64_t start = 0;  // where `block` begins in the file
  std::string block;
  bool readFailed = false;
};

// Calls take(line) for each line whose first field is `key`, in order.
template <typename Take>
void ForEachKeyLine(Source& source, std::string_view key, Take take) {
  // The smallest offset whose next line has a first field not below `key`.
  uint64_t low = 0, high = source.size();
  while (low < high) {
    uint64_t middle = low + (high - low) / 2;
    uint64_t start = source.NextLineStart(middle);
    if (start >= source.size() || !(FirstField(source.LineAt(start)) < key)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  for (uint64_t at = source.NextLineStart(low); at < source.size();) {
    std::string_view line = source.LineAt(at);
    if (line.empty() || FirstField(line) != key) return;
    at += line.size();
    take(WithoutLineEnd(line));
  }
}

}  // namespace

std::vector<std::string_view> KeyLinesInText(std::string_view text, std::string_view key) {
  TextSource source(text);
  std::vector<std::string_view> lines;
  ForEachKeyLine(source, key, [&](std::string_view line) { lines.push_back(line); });
  return lines;
}

bool KeyLinesInFile(const std::string& path, std::string_view key, std::vector<std::string>* lines,
                    std::string* error) {
  std::vector<std::string> files, keys;
  if (!PairFileParts(path, &files, error, &keys)) return false;
  // Part k holds the first words from keys[k - 1] up to keys[k].
  size_t part = static_cast<size_t>(std::upper_bound(keys.begin(), keys.end(), key) - keys.begin());
  const std::string& file = files[std::min(part, files.size() - 1)];
  FileSource source;
  if (!source.Open(file)) {
    *error = "cannot read " + file + ": " + ErrorText(errno);
    return false;
  }
  ForEachKeyLine(source, key, [&](std::string_view line) { lines->emplace_back(line); });
  if (source.failed()) {
    *error = "cannot read " + file + " to its end: " + ErrorText(errno);
    return false;
  }
  return true;
}

}  // namespace ulo::engine
