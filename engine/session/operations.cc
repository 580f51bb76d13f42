#include "engine/session/operations.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <system_error>
#include <vector>

#include "engine/files/checks.h"
#include "engine/files/pair_check.h"
#include "engine/files/pair_parts.h"
#include "engine/files/seal.h"
#include "engine/files/threads.h"
#include "engine/report/progress.h"
#include "engine/stats/rank.h"
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

}  // namespace

std::string FileProblem(const std::string& in, const std::string& out, bool trustInput) {
  if (std::string problem = PairFileProblem(in); !problem.empty()) {
    return "cannot read " + in + ": " + problem;
  }
  if (std::string problem = OutputFileProblem(out); !problem.empty()) {
    return "cannot write " + out + ": " + problem;
  }
  if (std::string problem = SameFileProblem(in, out); !problem.empty()) return problem;
  // Written among the parts, it would be read as one of them afterwards.
  if (IsPartsDirectory(in) && LiesUnder(out, in)) return out + " lies inside the parts of " + in;
  if (!trustInput) return PairFileOrPartsProblem(in, kMergedPairs);
  return {};
}

std::string OperationFailure(const std::string& in, const std::string& out, int captured) {
  if (std::string cause = ReadFailureCause(in); !cause.empty()) {
    return "cannot read " + in + " to its end: " + cause;
  }
  if (std::string cause = WriteFailureCause(out, captured); !cause.empty()) {
    return "cannot write " + out + ": " + cause;
  }
  return "the library could not write " + out + " whole, and the system shows no cause now (" + in +
         " reads to its end, and a test write beside " + out + " succeeds)";
}

bool LiesUnder(const std::string& path, const std::string& dir) {
  std::error_code code;
  fs::path file = fs::weakly_canonical(fs::absolute(path, code), code);
  fs::path root = fs::weakly_canonical(fs::absolute(dir, code), code);
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

// Why the tree `dir` cannot be merged as it is: an output inside it, or what
// a killed command left in it. Empty when it can.
std::string TreeShapeProblem(const std::string& dir, const std::string& out) {
  if (LiesUnder(out, dir)) {
    fs::path beside =
        fs::path(WithoutTrailingSlashes(dir)).parent_path() / fs::path(out).filename();
    return "the output " + out + " lies inside " + dir +
           ", the tree being merged: every file under it is an input, earlier outputs "
           "included, so this output would be merged into itself and into every later merge "
           "of the tree; write it beside the tree instead, e.g. " +
           beside.string();
  }
  if (std::string left = FindLeftover(dir); !left.empty()) {
    return dir + " holds " + left +
           ", which an interrupted ulo left (or a running one is writing): it is not data. "
           "Run the interrupted command again, which clears it, or remove it";
  }
  return {};
}

std::string TreeContentProblem(const std::string& dir, int threads) {
  std::vector<std::string> files;
  std::error_code code;
  for (auto it = fs::recursive_directory_iterator(dir, code);
       !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
    std::error_code typeCode;
    if (it->is_directory(typeCode) || it->path().filename() == "merge_temp.lock") continue;
    files.push_back(it->path().string());
  }
  // The problem reported is the one of the first file in listing order.
  std::vector<std::string> problems(files.size());
  ForEachInThreads(files.size(), threads,
                   [&](size_t i) { problems[i] = PairFileProblem(files[i], kMergedPairs); });
  for (auto& problem : problems) {
    if (!problem.empty()) return problem;
  }
  return {};
}

std::vector<bool> SealedFiles(const std::vector<std::string>& files, int threads) {
  std::vector<char> sealed(files.size());
  ForEachInThreads(files.size(), threads, [&](size_t i) { sealed[i] = Sealed(files[i]); });
  return std::vector<bool>(sealed.begin(), sealed.end());
}

std::string TreeProblem(const std::string& dir, const std::string& out, bool trustInput,
                        int threads) {
  if (std::string problem = TreeShapeProblem(dir, out); !problem.empty()) return problem;
  return trustInput ? std::string() : TreeContentProblem(dir, threads);
}

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

std::string MergeFailure(int32_t code, int captured, const std::string& dir, const std::string& out,
                         const std::string& target) {
  std::string failure = "merging " + dir + " into " + out + " failed with code " +
                        std::to_string(code) + ": " + DescribeMergeCode(code);
  if (code != -1 && code != -2) return failure;
  // The intermediate files lie in merge_temp beside `dir` (gone with the
  // failure: its file system is its parent's), the output beside its name.
  fs::path parent = fs::path(WithoutTrailingSlashes(dir)).parent_path();
  std::string workDir = ((parent.empty() ? fs::path(".") : parent) / "merge_temp").string();
  std::string cause = WriteFailureCause(code == -2 ? target : workDir, captured);
  return "cannot write " + (code == -2 ? out : workDir) + ": " +
         (cause.empty() ? "the system shows no cause now" : cause) + " (merge code " +
         std::to_string(code) + ": " + DescribeMergeCode(code) + ")";
}

std::string MergeFiles(Session& session, const std::string& dir, const std::string& out,
                       ProgressReport* report, const OperationOptions& options) {
  if (std::string problem = InputDirectoryProblem(dir); !problem.empty()) {
    return std::string("merge: cannot read the directory " + dir + ": " + problem);
  }
  if (std::string problem = OutputFileProblem(out); !problem.empty()) {
    return std::string("merge: cannot write " + out + ": " + problem);
  }
  if (std::string problem = TreeShapeProblem(dir, out); !problem.empty()) {
    return "merge: " + problem;
  }
  // The inputs are checked while the library merges them, in a thread of
  // their own: the output stays under its staging name until both are done,
  // and a failed check discards it.
  std::future<std::string> checked;
  if (!options.trustInput) checked = std::async(std::launch::async, TreeContentProblem, dir, 1);
  // The merge works in merge_temp beside the source directory.
  fs::path parent = fs::path(WithoutTrailingSlashes(dir)).parent_path();
  fs::path workDir = (parent.empty() ? fs::path(".") : parent) / "merge_temp";
  // The output is written under a staging name and appears under its own
  // once complete; its log entries join the output's log.
  StagedOutput staged(out, options.output);
  if (staged.path().empty()) return Publish(staged, "merge");
  std::string target = staged.path();
  std::string log = out + "_err.log";
  std::string targetLog = target + "_err.log";
  // The log grows across runs: only what this merge adds belongs to it.
  uint64_t logBefore = FileBytes(targetLog);
  if (report != nullptr) {
    report->PollBytes(TreeBytes(dir),
                      [target, workDir] { return FileBytes(target) + TreeBytes(workDir); });
  }
  errno = 0;
  int32_t code = session.MergeDirect(dir, target);
  int captured = errno;
  if (report != nullptr) report->Stop();
  std::string logged = LastLogLine(targetLog, logBefore);
  staged.AdoptSideFile("_err.log");
  if (checked.valid()) {
    if (std::string problem = checked.get(); !problem.empty()) return "merge: " + problem;
  }
  if (code == 0) return Publish(staged, "merge");
  std::string message = "merge: " + MergeFailure(code, captured, dir, out, target);
  if (!logged.empty()) message += "; " + log + ": " + logged;
  return message;
}

namespace {

// A failure the library reports without a status (the top-N ranking).
constexpr int32_t kNoStatus = INT32_MIN;

// The work of filter, support and topn: checks, a staged output, the
// library's call on it (`write` gets the input, the parts of a directory
// joined, and the staging path, and returns 0 or a status), the output
// published or the failure put in words.
template <typename Write>
std::string StagedOperation(const std::string& command, const std::string& in,
                            const std::string& out, const OperationOptions& options, Write write) {
  if (std::string problem = FileProblem(in, out, options.trustInput); !problem.empty()) {
    return command + ": " + problem;
  }
  JoinedPairFile input;
  if (std::string error; !input.Open(in, out, &error)) return command + ": " + error;
  StagedOutput staged(out, options.output);
  if (staged.path().empty()) return Publish(staged, command);
  errno = 0;
  int32_t status = write(input.path(), staged.path());
  if (status == 0) return Publish(staged, command);
  std::string failure = command + ": " + OperationFailure(in, out, errno);
  if (status != kNoStatus) failure += " (status " + std::to_string(status) + ")";
  return failure;
}

}  // namespace

std::string FilterPairs(Session& session, const std::string& in, const std::string& out,
                        int32_t threshold, const OperationOptions& options) {
  return StagedOperation("filter", in, out, options,
                         [&](const std::string& input, const std::string& staged) {
                           return session.Filter(input, staged, threshold);
                         });
}

std::string WriteSupport(Session& session, const std::string& in, const std::string& out,
                         const OperationOptions& options) {
  return StagedOperation("support", in, out, options,
                         [&](const std::string& input, const std::string& staged) {
                           return session.Support(input, staged);
                         });
}

namespace {

// The lines of a count's pair file the top-N ranks (see TopNInput).
bool WriteRankedLines(const std::string& in, const std::string& out, bool mirrored,
                      std::string* error) {
  std::ofstream file(out, std::ios::binary);
  std::string_view word1, word2;
  int64_t count = 0;
  bool read = ForEachPairFileLine(in, error, [&](std::string_view line) {
    if (ParsePairLine(line, &word1, &word2, &count) && word1 != word2 &&
        !(mirrored && word2 < word1)) {
      file << line << '\n';
    }
  });
  file.close();
  if (read && !file) *error = "cannot write " + out + ": " + ErrorText(errno);
  return read && file;
}

}  // namespace

std::string WriteTopN(Session& session, const std::string& in, const std::string& out, int32_t n,
                      const OperationOptions& options, TopNInput lines) {
  // The library answers false for it, which would read as a failed write.
  if (n < 1) return "topn: N must be at least 1, not " + std::to_string(n);
  return StagedOperation(
      "topn", in, out, options, [&](const std::string& input, const std::string& staged) {
        if (lines == TopNInput::kAsGiven)
          return session.TopNDirect(input, staged, n) ? 0 : kNoStatus;
        // The copy is itself staged, so a killed run leaves nothing that
        // is not swept.
        StagedOutput once(out + ".once");
        std::string error;
        bool ranked =
            !once.path().empty() &&
            WriteRankedLines(input, once.path(), lines == TopNInput::kCountedBothWays, &error) &&
            session.TopNDirect(once.path(), staged, n);
        return ranked ? 0 : kNoStatus;
      });
}

}  // namespace ulo::engine
