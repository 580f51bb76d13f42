#include "engine/session/operations.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "engine/files/checks.h"
#include "engine/files/pair_parts.h"
#include "engine/report/progress.h"
#include "engine/text/encoding.h"

namespace ulo::engine {
namespace {

namespace fs = std::filesystem;

uint64_t TreeBytes(const fs::path& root) {
  std::error_code code;
  uint64_t total = 0;
  if (fs::is_regular_file(root, code)) return fs::file_size(root, code);
  for (auto it = fs::recursive_directory_iterator(root, code);
       !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
    std::error_code sizeCode;
    if (it->is_regular_file(sizeCode)) total += it->file_size(sizeCode);
  }
  return total;
}

uint64_t FileBytes(const std::string& path) {
  std::error_code code;
  uint64_t size = fs::file_size(path, code);
  return code ? 0 : size;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code code;
  return fs::equivalent(a, b, code) && !code;
}

}  // namespace

// The failure line of a file operation whose input or output is unusable;
// empty when both look fine.
std::string FileProblem(const std::string& in, const std::string& out) {
  if (std::string problem = PairFileProblem(in); !problem.empty()) {
    return "cannot read " + in + ": " + problem;
  }
  if (std::string problem = OutputFileProblem(out); !problem.empty()) {
    return "cannot write " + out + ": " + problem;
  }
  if (SameFile(in, out)) return in + " and " + out + " are the same file";
  return {};
}

bool LiesUnder(const std::string& path, const std::string& dir) {
  std::error_code code;
  fs::path file = fs::weakly_canonical(path, code);
  fs::path root = fs::weakly_canonical(dir, code);
  if (code) return false;
  auto [rootEnd, fileAt] = std::mismatch(root.begin(), root.end(), file.begin(), file.end());
  return rootEnd == root.end() && fileAt != file.end();
}

namespace {

// Puts the finished output under its final name; 0, or the failure line.
std::string Publish(StagedOutput& staged, const std::string& command) {
  std::string error;
  if (staged.Commit(&error)) return {};
  return std::string(command + ": " + error);
}

}  // namespace

std::string LastLogLine(const std::string& log, uint64_t from) {
  std::ifstream in(log, std::ios::binary);
  if (!in) return {};
  in.seekg(static_cast<std::streamoff>(from));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  size_t start = text.find_last_of('\n');
  std::string line = start == std::string::npos ? text : text.substr(start + 1);
  line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
  PeopleText people;
  std::string error;
  if (!people.Open(kPeopleEncoding, kPeopleEncoding, &error)) return line;
  return people.Show(line);
}

std::string MergeFiles(Session& session, const std::string& dir, const std::string& out,
                       ProgressReport* report) {
  if (std::string problem = InputDirectoryProblem(dir); !problem.empty()) {
    return std::string("merge: cannot read the directory " + dir + ": " + problem);
  }
  if (std::string problem = OutputFileProblem(out); !problem.empty()) {
    return std::string("merge: cannot write " + out + ": " + problem);
  }
  // The merge works in merge_temp beside the source directory.
  std::string source = dir;
  while (source.size() > 1 && source.back() == '/')
    source.pop_back();
  fs::path parent = fs::path(source).parent_path();
  fs::path workDir = (parent.empty() ? fs::path(".") : parent) / "merge_temp";
  // The output is written under a temporary name and appears under its own
  // once complete; its log entries join the output's log. An output inside
  // the source tree is written in place: the merge leaves out only its own
  // output, so a finished one under a temporary name would take the old
  // output for an input.
  std::optional<StagedOutput> staged;
  if (!LiesUnder(out, dir)) staged.emplace(out);
  std::string target = staged ? staged->path() : out;
  std::string log = out + "_err.log";
  std::string targetLog = target + "_err.log";
  // The log grows across runs: only what this merge adds belongs to it.
  uint64_t logBefore = FileBytes(targetLog);
  if (report != nullptr) {
    report->PollBytes(TreeBytes(dir),
                      [target, workDir] { return FileBytes(target) + TreeBytes(workDir); });
  }
  int32_t code = session.MergeDirect(dir, target);
  if (report != nullptr) report->Stop();
  std::string logged = LastLogLine(targetLog, logBefore);
  if (staged) staged->AdoptSideFile("_err.log");
  if (code == 0) return staged ? Publish(*staged, "merge") : std::string();
  std::string message = "merge: merging " + dir + " into " + out + " failed with code " +
                        std::to_string(code) + ": " + DescribeMergeCode(code);
  if (!logged.empty()) message += "; " + log + ": " + logged;
  return std::string(message);
}

std::string FilterPairs(Session& session, const std::string& in, const std::string& out,
                        int32_t threshold) {
  if (std::string problem = FileProblem(in, out); !problem.empty()) {
    return std::string("filter: " + problem);
  }
  JoinedPairFile input;
  if (std::string error; !input.Open(in, out, &error)) return "filter: " + error;
  StagedOutput staged(out);
  int32_t status = session.Filter(input.path(), staged.path(), threshold);
  if (status == 0) return Publish(staged, "filter");
  return std::string("filter: filtering " + in + " into " + out + " failed (status " +
                     std::to_string(status) + "): the library could not read " + in +
                     " to its end or write " + out + " whole");
}

std::string WriteSupport(Session& session, const std::string& in, const std::string& out) {
  if (std::string problem = FileProblem(in, out); !problem.empty()) {
    return std::string("support: " + problem);
  }
  JoinedPairFile input;
  if (std::string error; !input.Open(in, out, &error)) return "support: " + error;
  StagedOutput staged(out);
  int32_t status = session.Support(input.path(), staged.path());
  if (status == 0) return Publish(staged, "support");
  return std::string("support: writing the records of " + in + " to " + out + " failed (status " +
                     std::to_string(status) + "): the library could not read " + in +
                     " to its end or write " + out + " whole");
}

std::string WriteTopN(Session& session, const std::string& in, const std::string& out, int32_t n) {
  if (std::string problem = FileProblem(in, out); !problem.empty()) {
    return std::string("topn: " + problem);
  }
  JoinedPairFile input;
  if (std::string error; !input.Open(in, out, &error)) return "topn: " + error;
  StagedOutput staged(out);
  if (session.TopNDirect(input.path(), staged.path(), n)) return Publish(staged, "topn");
  return std::string("topn: ranking " + in + " into " + out +
                     " failed: the library could not read " + in + " to its end or write " + out +
                     " whole");
}

}  // namespace ulo::engine
