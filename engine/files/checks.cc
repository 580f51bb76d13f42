#include "engine/files/checks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

#include "engine/text/characters.h"

namespace ulo::engine {

std::string ErrorText(int error) {
  std::string text = std::strerror(error);
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' &&
      !(text.size() > 1 && text[1] >= 'A' && text[1] <= 'Z')) {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

namespace {

namespace fs = std::filesystem;

std::string Hex(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// Where a GB18030 byte sequence (GB2312, GBK and four-byte characters)
// goes wrong in `line`, or npos. A four-byte one of the right shape may
// still map to nothing: as words, its bytes would be refused downstream.
size_t BadCharacter(std::string_view line) {
  for (size_t i = 0; i < line.size();) {
    size_t length = CharacterLength(line, i);
    if (static_cast<unsigned char>(line[i]) >= 0x80 &&
        (length == 1 || (length == 4 && !IsMappedCharacter(line.substr(i, length))))) {
      return i;
    }
    i += length;
  }
  return std::string_view::npos;
}

}  // namespace

std::string ContentProblem(const std::string& path, InputKind kind, bool sniffBinary) {
  std::error_code code;
  fs::file_status status = fs::status(path, code);
  if (!fs::is_regular_file(status)) {
    if (kind == InputKind::kCorpus) return "";  // a pipe is read once, as it comes
    if (kind == InputKind::kStopwords) {
      return "is not a regular file (every counting run of a count reads its stop words)";
    }
    return "is not a regular file (the library reads its inputs more than once)";
  }
  if (fs::file_size(path, code) == 0 && !code) return "is empty";
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::strerror(errno);
  std::vector<char> head(kSniffBytes);
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  size_t got = static_cast<size_t>(in.gcount());
  if (in.bad()) return "a read error";
  const char* nul =
      sniffBinary ? static_cast<const char*>(std::memchr(head.data(), '\0', got)) : nullptr;
  if (nul != nullptr) {
    return "is binary, not text (a NUL byte at offset " + std::to_string(nul - head.data()) + ")";
  }
  if (kind == InputKind::kPairCount && got == head.size() &&
      std::memchr(head.data(), '\n', got) == nullptr) {
    // A count's own first line may be as long as two words of a corpus line.
    head.resize(kMaxPairLine);
    in.read(head.data() + got, static_cast<std::streamsize>(head.size() - got));
    got += static_cast<size_t>(in.gcount());
    if (in.bad()) return "a read error";
    if (got == head.size() && std::memchr(head.data(), '\n', got) == nullptr) {
      return "is not a pair-count file (no line end in its first " +
             std::to_string(kMaxPairLine >> 10) + " KiB)";
    }
  }
  return "";
}

std::string LongLineProblem() {
  return "a line longer than " + std::to_string(kMaxCorpusLine >> 20) +
         " MiB (one sentence a line is expected)";
}

std::string CorpusLineProblem(std::string_view line, bool checkGb) {
  // Measured without its line end: a line ending in CR LF is as long as the
  // same line ending in LF.
  std::string_view text = line;
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (text.size() > kMaxCorpusLine) return LongLineProblem();
  size_t nul = line.find('\0');
  if (nul != std::string_view::npos) {
    return "a NUL byte at column " + std::to_string(nul + 1) + " (binary data, not text)";
  }
  if (checkGb) {
    size_t bad = BadCharacter(line);
    if (bad != std::string_view::npos) {
      return "byte " + Hex(static_cast<unsigned char>(line[bad])) + " at column " +
             std::to_string(bad + 1) +
             " starts no GB18030 character (is it another encoding? see --from)";
    }
  }
  return "";
}

std::string ExistingOutputProblem(const std::string& path) {
  std::error_code code;
  fs::file_status status = fs::symlink_status(path, code);
  if (code || !fs::exists(status) || fs::is_regular_file(status)) return "";
  if (fs::is_symlink(status)) {
    status = fs::status(path, code);
    if (code || !fs::exists(status) || fs::is_regular_file(status)) return "";
  }
  if (fs::is_directory(status)) return "is a directory";
  return "exists and is not a regular file";
}

std::string WriteFailureCause(const std::string& path, int captured) {
  for (int cause : {ENOSPC, EDQUOT, EFBIG, EROFS, EIO}) {
    if (captured == cause) return ErrorText(cause);
  }
  // The failed output still takes its room: a test write meets what it met.
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".ulo-partial-%08x",
                static_cast<unsigned>(std::random_device{}()));
  std::string probe = path + suffix;
  Descriptor file(open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!file) return ErrorText(errno);
  std::vector<char> block(size_t{1} << 20, 'x');
  int error = 0;
  if (write(file.get(), block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
    error = errno != 0 ? errno : ENOSPC;  // a short write: the room ran out
  }
  unlink(probe.c_str());
  return error != 0 ? ErrorText(error) : std::string();
}

std::string ReadFailureCause(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return ErrorText(errno);
  std::vector<char> block(size_t{1} << 20);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
  }
  if (in.bad()) return ErrorText(errno != 0 ? errno : EIO);
  return {};
}

std::string InputFileProblem(const std::string& path, InputKind kind, bool sniffBinary) {
  std::error_code code;
  fs::file_status status = fs::status(path, code);
  if (status.type() == fs::file_type::not_found) return "no such file";
  if (status.type() == fs::file_type::directory) return "is a directory";
  if (access(path.c_str(), R_OK) != 0) return ErrorText(errno);
  return ContentProblem(path, kind, sniffBinary);
}

std::string InputDirectoryProblem(const std::string& path) {
  std::error_code code;
  fs::file_status status = fs::status(path, code);
  if (status.type() == fs::file_type::not_found) return "no such directory";
  if (status.type() != fs::file_type::directory) return "not a directory";
  if (access(path.c_str(), R_OK | X_OK) != 0) return ErrorText(errno);
  return {};
}

std::string OutputFileProblem(const std::string& path) {
  std::error_code code;
  if (std::string problem = ExistingOutputProblem(path); !problem.empty()) return problem;
  fs::path parent = fs::path(path).parent_path();
  if (parent.empty()) parent = ".";
  fs::file_status status = fs::status(parent, code);
  if (status.type() == fs::file_type::not_found) return "its directory does not exist";
  if (status.type() != fs::file_type::directory) return parent.string() + " is not a directory";
  if (access(parent.c_str(), W_OK | X_OK) != 0) return "its directory: " + ErrorText(errno);
  return {};
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

std::string SameFileProblem(const std::string& in, const std::string& out) {
  std::error_code code;
  if (fs::equivalent(in, out, code) && !code) return in + " and " + out + " are the same file";
  return {};
}

}  // namespace ulo::engine
