#include "engine/count/shares.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ulo::engine {
namespace {

struct Corpus {
  bool regular = false;
  uint64_t size = 0;
  uint64_t start = 0;  // offset of its first byte among all regular corpora
};

// The first line start at or after `offset` (the file's size when no line
// starts there).
bool LineStartFrom(const std::string& path, uint64_t offset, uint64_t size, uint64_t* start,
                   std::string* error) {
  if (offset == 0 || offset >= size) {
    *start = std::min(offset, size);
    return true;
  }
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr || fseeko(file, static_cast<off_t>(offset - 1), SEEK_SET) != 0) {
    *error = "cannot read the corpus " + path + ": " + std::strerror(errno);
    if (file != nullptr) std::fclose(file);
    return false;
  }
  uint64_t position = offset - 1;
  int c;
  while ((c = std::getc(file)) != EOF) {
    ++position;
    if (c == '\n') break;
  }
  bool bad = std::ferror(file) != 0;
  std::fclose(file);
  if (bad) {
    *error = "cannot read the corpus " + path;
    return false;
  }
  *start = c == EOF ? size : position;
  return true;
}

}  // namespace

bool ShareCorpora(const std::vector<std::string>& corpora, int parts, std::vector<Share>* shares,
                  std::string* error) {
  shares->clear();
  parts = std::max(parts, 1);
  std::vector<Corpus> info(corpora.size());
  uint64_t total = 0;
  for (size_t i = 0; i < corpora.size(); ++i) {
    struct stat status;
    if (stat(corpora[i].c_str(), &status) != 0) {
      *error = "cannot open the corpus " + corpora[i] + ": " + std::strerror(errno);
      return false;
    }
    if (S_ISDIR(status.st_mode)) {
      *error = "cannot read the corpus " + corpora[i] + ": it is a directory";
      return false;
    }
    info[i].regular = S_ISREG(status.st_mode);
    info[i].size = info[i].regular ? static_cast<uint64_t>(status.st_size) : 0;
    info[i].start = total;
    total += info[i].size;
  }

  // Cut points among the bytes of the regular corpora, each moved on to a
  // line start; a long line may carry a cut past the next one.
  std::vector<uint64_t> cuts = {0};
  for (int k = 1; k < parts; ++k) {
    uint64_t nominal = total / static_cast<uint64_t>(parts) * static_cast<uint64_t>(k) +
                       total % static_cast<uint64_t>(parts) * static_cast<uint64_t>(k) /
                           static_cast<uint64_t>(parts);
    uint64_t cut = nominal;
    for (size_t i = 0; i < corpora.size(); ++i) {
      if (!info[i].regular || nominal < info[i].start || nominal >= info[i].start + info[i].size) {
        continue;
      }
      uint64_t start = 0;
      if (!LineStartFrom(corpora[i], nominal - info[i].start, info[i].size, &start, error)) {
        return false;
      }
      cut = info[i].start + start;
      break;
    }
    cuts.push_back(std::max(cut, cuts.back()));
  }
  cuts.push_back(total);

  shares->assign(static_cast<size_t>(parts), Share{});
  for (int k = 0; k < parts; ++k) {
    for (size_t i = 0; i < corpora.size(); ++i) {
      if (!info[i].regular) continue;
      uint64_t from = std::max(cuts[k], info[i].start);
      uint64_t to = std::min(cuts[k + 1], info[i].start + info[i].size);
      if (from < to) (*shares)[k].push_back({i, from - info[i].start, to - info[i].start, false});
    }
  }
  // Streams go whole to the shares in turn.
  size_t next = 0;
  for (size_t i = 0; i < corpora.size(); ++i) {
    if (info[i].regular) continue;
    (*shares)[next % shares->size()].push_back({i, 0, 0, true});
    ++next;
  }
  for (Share& share : *shares) {
    std::sort(share.begin(), share.end(),
              [](const Segment& a, const Segment& b) { return a.corpus < b.corpus; });
  }
  shares->erase(std::remove_if(shares->begin(), shares->end(),
                               [](const Share& share) { return share.empty(); }),
                shares->end());
  if (shares->empty()) shares->emplace_back();  // no bytes at all: one empty run
  return true;
}

SegmentReader::~SegmentReader() {
  if (file != nullptr) std::fclose(file);
  std::free(buffer);
}

bool SegmentReader::Open(const std::string& path, const Segment& segment) {
  if (file != nullptr) std::fclose(file);
  file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  whole = segment.whole;
  left = segment.end - segment.begin;
  if (!whole && segment.begin > 0 && fseeko(file, static_cast<off_t>(segment.begin), SEEK_SET)) {
    return false;
  }
  return true;
}

bool SegmentReader::Next(std::string_view* line) {
  if (file == nullptr || (!whole && left == 0)) return false;
  ssize_t length = getline(&buffer, &capacity, file);
  if (length < 0) return false;
  auto size = static_cast<uint64_t>(length);
  if (!whole) {
    // A file that grew since it was cut: stop where the segment ends.
    size = std::min(size, left);
    left -= size;
  }
  *line = std::string_view(buffer, static_cast<size_t>(size));
  return true;
}

bool SegmentReader::failed() const {
  return file == nullptr || std::ferror(file) != 0;
}

std::string SegmentReader::Problem(const std::string& path) const {
  if (failed()) return "cannot read the corpus " + path;
  // Its lines were shared out by its size when the count began: a shorter
  // file leaves lines uncounted, so the count is not whole.
  if (missing() > 0) {
    return "the corpus " + path + " shrank while it was counted (" + std::to_string(missing()) +
           " bytes missing)";
  }
  return {};
}

}  // namespace ulo::engine
