#include "engine/files/pair_parts.h"

#include "engine/files/checks.h"
#include "engine/files/staging.h"
#include "engine/files/threads.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace ulo::engine {
namespace {

namespace fs = std::filesystem;

constexpr char kIndexHeader[] =
    "# sorted pair-count parts: name TAB first words from TAB first words below\n";

std::string Failed(const std::string& what, const std::string& path) {
  std::string cause = std::strerror(errno);
  // In the lower case of the rest of a failure line, as every other cause.
  if (cause.size() > 1 && std::isupper(static_cast<unsigned char>(cause[0])) &&
      !std::isupper(static_cast<unsigned char>(cause[1]))) {
    cause[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(cause[0])));
  }
  return "cannot " + what + " " + path + ": " + cause;
}

// The first and the last line of `path`, without line ends; the last is
// read back from the end, a block at a time.
void EndLines(const std::string& path, std::string* first, std::string* last) {
  std::ifstream in(path, std::ios::binary);
  std::getline(in, *first);
  in.clear();
  in.seekg(0, std::ios::end);
  std::string tail;
  for (std::streamoff at = in.tellg(); at > 0;) {
    std::streamoff step = std::min<std::streamoff>(at, 1 << 16);
    at -= step;
    std::string block(static_cast<size_t>(step), '\0');
    in.seekg(at);
    in.read(&block[0], step);
    tail.insert(0, block);
    size_t end = tail.size() - (tail.back() == '\n' ? 1 : 0);
    size_t start = end == 0 ? std::string::npos : tail.rfind('\n', end - 1);
    if (start != std::string::npos || at == 0) {
      start = start == std::string::npos ? 0 : start + 1;
      *last = tail.substr(start, end - start);
      return;
    }
  }
}

}  // namespace

std::string PartName(size_t k) {
  char name[32];
  std::snprintf(name, sizeof name, "part-%05zu.txt", k);
  return name;
}

bool IsPartsDirectory(const std::string& path) {
  std::error_code code;
  return fs::is_directory(path, code) && fs::is_regular_file(fs::path(path) / kPartsIndex, code);
}

std::string PairFileProblem(const std::string& path) {
  return IsPartsDirectory(path) ? "" : InputFileProblem(path);
}

std::string PairFileOrPartsProblem(const std::string& dir, PairNeeds needs) {
  if (!IsPartsDirectory(dir)) return PairFileProblem(dir, needs);
  std::vector<std::string> files, keys;
  std::string error;
  if (!PairFileParts(dir, &files, &error, &keys)) return error;
  for (size_t k = 0; k < files.size(); ++k) {
    if (std::string problem = PairFileProblem(files[k], needs); !problem.empty()) return problem;
    if (!needs.order && !needs.unique) continue;
    // Each part in order: its first line holds its least first word, its
    // last line its greatest, and both lie in its range of the index.
    std::string first, last;
    EndLines(files[k], &first, &last);
    std::string low = first.substr(0, first.find('\t')), high = last.substr(0, last.find('\t'));
    std::string outside = k > 0 && !low.empty() && low < keys[k - 1]              ? low
                          : k < keys.size() && !high.empty() && !(high < keys[k]) ? high
                                                                                  : "";
    if (!outside.empty()) {
      return files[k] + " holds the first word '" + outside + "', outside its range in " +
             (fs::path(dir) / kPartsIndex).string();
    }
  }
  return {};
}

bool PairFileParts(const std::string& path, std::vector<std::string>* files, std::string* error,
                   std::vector<std::string>* keys) {
  files->clear();
  if (keys != nullptr) keys->clear();
  if (!IsPartsDirectory(path)) {
    files->push_back(path);
    return true;
  }
  std::string index = (fs::path(path) / kPartsIndex).string();
  std::ifstream in(index, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::string name = line.substr(0, line.find('\t'));
    if (name.empty() || name.find('/') != std::string::npos || name == "..") {
      *error = index + " names no part on a line: " + line;
      return false;
    }
    std::string part = (fs::path(path) / name).string();
    std::error_code code;
    if (!fs::is_regular_file(part, code)) {
      *error = index + " names " + name + ", which is missing";
      return false;
    }
    if (keys != nullptr && !files->empty()) {
      size_t from = line.find('\t') + 1;
      keys->push_back(line.substr(from, line.find('\t', from) - from));
    }
    files->push_back(part);
  }
  if (in.bad() || files->empty()) {
    *error = "cannot read the parts index " + index;
    return false;
  }
  return true;
}

bool WritePartsIndex(const std::string& dir, size_t parts, const std::vector<std::string>& keys,
                     std::string* error) {
  std::string index = (fs::path(dir) / kPartsIndex).string();
  std::string text = kIndexHeader;
  for (size_t k = 0; k < parts; ++k) {
    text += PartName(k) + "\t" + (k > 0 ? keys[k - 1] : "") + "\t" +
            (k < keys.size() ? keys[k] : "") + "\n";
  }
  std::ofstream out(index, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    *error = "cannot write the parts index " + index;
    return false;
  }
  return true;
}

bool CopyBytes(const std::string& from, uint64_t begin, uint64_t length, const std::string& to,
               uint64_t at, std::string* error) {
  Descriptor in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    *error = Failed("read", from);
    return false;
  }
  Descriptor out(open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
  if (out.get() < 0) {
    *error = Failed("write", to);
    return false;
  }
  auto source = static_cast<loff_t>(begin);
  auto target = static_cast<loff_t>(at);
  bool inKernel = true;
  std::vector<char> buffer;
  while (length > 0) {
    ssize_t copied = -1;
    if (inKernel) {
      copied = copy_file_range(in.get(), &source, out.get(), &target, length, 0);
      // Across file systems (or where the kernel cannot), bytes go through
      // this process instead.
      if (copied < 0 &&
          (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
        inKernel = false;
        buffer.resize(size_t{1} << 20);
        continue;
      }
    } else {
      size_t want = length < buffer.size() ? static_cast<size_t>(length) : buffer.size();
      copied = pread(in.get(), buffer.data(), want, source);
      if (copied > 0) {
        ssize_t written = 0;
        while (written < copied) {
          ssize_t step = pwrite(out.get(), buffer.data() + written,
                                static_cast<size_t>(copied - written), target + written);
          if (step < 0 && errno == EINTR) continue;
          if (step <= 0) {
            *error = Failed("write", to);
            return false;
          }
          written += step;
        }
        source += copied;
        target += copied;
      }
    }
    if (copied < 0 && errno == EINTR) continue;
    if (copied <= 0) {
      if (copied == 0) errno = EIO;  // the input is shorter than it was
      *error = Failed("write", to);
      return false;
    }
    length -= static_cast<uint64_t>(copied);
  }
  return true;
}

bool CopyInto(const std::string& from, const std::string& to, uint64_t offset, std::string* error) {
  std::error_code code;
  uint64_t size = fs::file_size(from, code);
  if (code) {
    *error = "cannot read " + from + ": " + code.message();
    return false;
  }
  return CopyBytes(from, 0, size, to, offset, error);
}

bool AppendParts(const std::vector<std::string>& parts, const std::string& joined,
                 std::string* error) {
  std::error_code code;
  uint64_t at = fs::exists(joined, code) ? fs::file_size(joined, code) : 0;
  if (code) {
    *error = "cannot read " + joined + ": " + code.message();
    return false;
  }
  if (parts.empty()) return CopyBytes("/dev/null", 0, 0, joined, at, error);
  std::vector<uint64_t> sizes(parts.size()), offsets(parts.size());
  for (size_t k = 0; k < parts.size(); ++k) {
    sizes[k] = fs::file_size(parts[k], code);
    if (code) {
      *error = "cannot read " + parts[k] + ": " + code.message();
      return false;
    }
    offsets[k] = at;
    at += sizes[k];
  }
  // Copied at once, in threads: the kernel copies, each part to its place.
  std::vector<std::string> errors(parts.size());
  ForEachInThreads(
      parts.size(), static_cast<int>(std::min<size_t>(parts.size(), 8)),
      [&](size_t k) { CopyBytes(parts[k], 0, sizes[k], joined, offsets[k], &errors[k]); });
  for (const std::string& failure : errors) {
    if (!failure.empty()) {
      *error = failure;
      return false;
    }
  }
  return true;
}

bool JoinedPairFile::Open(const std::string& path, const std::string& near, std::string* error) {
  file = path;
  if (!IsPartsDirectory(path)) return true;
  std::vector<std::string> parts;
  if (!PairFileParts(path, &parts, error) || !scratch.Make(near, error)) return false;
  file = (fs::path(scratch.path()) / "joined.txt").string();
  return AppendParts(parts, file, error);
}

}  // namespace ulo::engine
