#include "merge/file_merger.h"

#include <exception>
#include <utility>

#include "merge/error_log.h"
#include "merge/file_tree.h"
#include "merge/pass_plan.h"
#include "merge/pending_line.h"
#include "merge/work_dir_lock.h"
#include "platform/env.h"
#include "text/line_reader.h"

namespace ulo::merge {
namespace {

using platform::Env;
using platform::IsPathSeparator;
using text::LineReader;
using text::TextWriter;

// List files hold a few paths per group: small buffers do.
constexpr size_t kListBufferSize = size_t{64} << 10;
// Input blocks are read in turns across the group: small blocks keep the
// bytes being merged in the cache and reuse heap memory from file to file.
constexpr size_t kInputBlockSize = size_t{64} << 10;
constexpr size_t kOutputBufferSize = size_t{256} << 10;

void StripTrailingSeparators(std::string* path) {
  while (!path->empty() && IsPathSeparator(path->back()))
    path->pop_back();
}

// Where the last separator of `path` stands, or npos.
size_t LastSeparator(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i - 1;
  }
  return std::string::npos;
}

// The directory part of `path`: everything before its last separator; "."
// for a bare name, the separator itself for a name right under the root.
std::string ParentOf(const std::string& path) {
  size_t cut = LastSeparator(path);
  if (cut == std::string::npos) return ".";
  if (cut == 0) return std::string(1, path[0]);
  return path.substr(0, cut);
}

// The directory that holds the directory `source` names (no trailing
// separators), for what lies beside it: /data/spill gives /data, /spill the
// root (""), a bare name ".". "spill/." names spill and gives what spill
// gives; "." and a path ending in ".." name a directory whose parent is
// reached through "..", resolved by the system as the source itself is.
std::string HoldingDirectory(std::string source) {
  for (;;) {
    size_t cut = LastSeparator(source);
    std::string_view name = std::string_view(source).substr(cut == std::string::npos ? 0 : cut + 1);
    if (name != "." && name != "..") return cut == std::string::npos ? "." : source.substr(0, cut);
    std::string before = cut == std::string::npos ? "" : source.substr(0, cut);
    StripTrailingSeparators(&before);
    // Not the root's "/." nor a drive's "C:\.": those have no name to stand for.
    if (name == "." && !before.empty() && before.back() != ':') {
      source = std::move(before);
      continue;
    }
    return platform::JoinPath(source, "..");
  }
}

// The next non-blank line of a list file, without its line end, in `*path`.
// 1 for a path, 0 at the end of the list, -1 when the list cannot be read.
int NextListedPath(LineReader* list, std::string* path) {
  std::string_view line;
  for (;;) {
    switch (list->Next(&line)) {
      case LineReader::Status::kEnd:
        return 0;
      case LineReader::Status::kError:
        return -1;
      case LineReader::Status::kTooLong:
        continue;
      case LineReader::Status::kLine:
        break;
    }
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (line.empty()) continue;
    path->assign(line);
    return 1;
  }
}

// The leaves of the tree that merges a group of `used` inputs. In a tree of
// 20 leaves, leaves 0 to 7 meet in the matches of a tree of 2, 4 or 8, in
// the same order, the other leaves being empty inputs that lose every match
// (byes): the small tree plays the same matches, and so gives the same lines
// in the same order, without climbing past the byes for every record.
int GroupLeaves(int used, int fanIn) {
  if (fanIn != FileMerger::kDefaultFanIn) return fanIn;
  for (int leaves : {2, 4, 8}) {
    if (used <= leaves) return leaves;
  }
  return fanIn;
}

}  // namespace

FileMerger::FileMerger(int fanIn)
    : fanIn(fanIn < 2 ? 2 : fanIn),
      tree(this->fanIn),
      inputs(static_cast<size_t>(this->fanIn)),
      inputPaths(static_cast<size_t>(this->fanIn)) {}

FileMerger::~FileMerger() {
  CloseStreams();
}

void FileMerger::OnPassStart(int, int) {}

void FileMerger::OnGroupProgress(int, int) {}

int32_t FileMerger::MergeFiles(const char* sourceDir, const char* outputFile) {
  if (sourceDir == nullptr || outputFile == nullptr || *sourceDir == '\0' || *outputFile == '\0') {
    return kBadArgument;
  }
  // Merges whose sources share a parent share its work directory, where
  // each would clear and list over the other's files: in one process they
  // run one after another.
  static platform::RecursiveLock mergeLock;
  platform::ScopedLock hold(mergeLock);
  std::string source(sourceDir);
  outputPath = outputFile;
  StripTrailingSeparators(&source);
  if (source.empty()) return kOnlySeparators;

  Env* env = Env::Current();
  int error = 0;
  uint32_t attributes = 0;
  // A directory with further attribute bits (read-only, hidden) is still a
  // directory, here as in the listing and the removal.
  if (!env->GetAttributes(source, &attributes, &error) || !platform::IsDirectory(attributes)) {
    return kNotADirectory;
  }

  // The work directory lies beside the directory the source names, never in
  // the tree: /data/spill and /data/spill/. work in /data/merge_temp, /spill
  // in /merge_temp, a bare name in ./merge_temp, "." in ./../merge_temp.
  std::string workDir = platform::JoinPath(HoldingDirectory(source), kWorkDirName);
  // A source that is itself the work directory would be emptied by clearing
  // it: it is refused untouched.
  size_t cut = LastSeparator(source);
  std::string_view name = std::string_view(source).substr(cut == std::string::npos ? 0 : cut + 1);
  if (name == kWorkDirName || env->SameFile(source, workDir)) return kNotADirectory;

  // Merges in other processes whose sources share this parent take turns
  // on the work directory as well.
  WorkDirLock holdWorkDir(workDir, [this](std::string_view line) { LogError(line); });
  // An output named as the lock would go with it as the merge lets go.
  if (env->SameFile(outputPath, WorkDirLockPath(workDir))) return kOutputNotWritable;
  RemoveWorkDir(workDir);  // whatever an earlier run left there
  if (!env->CreateDir(workDir, &error)) return kWorkDirFailed;
  // An output inside the work directory would be removed with it.
  if (env->SameFile(ParentOf(outputPath), workDir)) {
    RemoveWorkDir(workDir);
    return kWorkDirFailed;
  }

  std::string listFile = platform::JoinPath(workDir, kListFileName);
  env->RemoveFile(listFile, &error);
  int64_t files =
      ListFiles(source, listFile, outputPath, [this](std::string_view line) { LogError(line); });
  if (files < 1) {
    RemoveWorkDir(workDir);
    return kNoFiles;
  }
  if (files == 1) return CopySingleFile(workDir, listFile);

  try {
    return RunPasses(workDir, listFile, files);
  } catch (const std::exception&) {
    CloseStreams();
    LogError(kExceptionMessage);
    return kMergeFailed;
  }
}

int32_t FileMerger::CopySingleFile(const std::string& workDir, const std::string& listFile) {
  Env* env = Env::Current();
  int error = 0;
  std::string path;
  {
    auto list = LineReader::Open(listFile, &error, kListBufferSize);
    if (!list || NextListedPath(list.get(), &path) != 1) {
      list.reset();
      RemoveWorkDir(workDir);
      return kListNotReadable;
    }
  }
  if (!env->Exists(path)) return kSingleFileVanished;
  // One file is already merged: it is copied byte for byte, unparsed.
  bool copied = env->CopyFileOver(path, outputPath, &error);
  RemoveWorkDir(workDir);
  return copied ? kMergeOk : kOutputNotWritable;
}

int32_t FileMerger::RunPasses(const std::string& workDir, const std::string& listFile,
                              int64_t files) {
  int passes = PassCount(files, fanIn);
  int nameCounter = 0;
  std::string list = listFile;
  for (int pass = 0; pass < passes; ++pass) {
    OnPassStart(pass, passes);
    std::string nextList =
        platform::JoinPath(workDir, "namefile_" + std::to_string(nameCounter++) + ".tmp");
    int32_t result = MergePass(list, nextList, outputPath, pass == passes - 1);
    if (result < 0) {
      RemoveWorkDir(workDir);
      return result;
    }
    list = std::move(nextList);
  }
  RemoveWorkDir(workDir);
  return kMergeOk;
}

void FileMerger::RemoveWorkDir(const std::string& workDir) {
  RemoveTree(workDir, [this](std::string_view line) { LogError(line); });
}

int32_t FileMerger::MergePass(const std::string& listFile, const std::string& nextListFile,
                              const std::string& outputFile, bool lastPass) {
  // Whatever way the pass ends, no stream of it stays open.
  struct Closer {
    FileMerger* merger;
    ~Closer() { merger->CloseStreams(); }
  } closer{this};
  std::string listDir = ParentOf(listFile);
  int error = 0;
  auto list = LineReader::Open(listFile, &error, kListBufferSize);
  if (!list) return kListNotReadable;

  auto nextOutputName = [&] {
    return platform::JoinPath(listDir, "output_" + std::to_string(intermediateCounter++) + ".tmp");
  };
  std::string current = lastPass ? outputFile : nextOutputName();
  output = TextWriter::Open(current, false, &error, kOutputBufferSize);
  if (!output) return kOutputNotWritable;
  ClearInputs();

  bool nextListFirst = true;
  // Merges the current group into the open output, closes that and names
  // it in the next list.
  auto finishGroup = [&]() -> int32_t {
    bool readAll = MergeGroup();
    bool written = output->Close();
    output.reset();
    if (!readAll) {
      std::string message(kOpenFailedPrefix);
      message.append(failedPath);
      LogError(message);
      return kInputNotReadable;
    }
    if (!written) return lastPass ? kOutputNotWritable : kMergeFailed;
    if (!lastPass) {
      std::string entry = nextListFirst ? current : "\n" + current;
      if (!AppendTextToFile(nextListFile, entry)) return kMergeFailed;
      nextListFirst = false;
    }
    return kMergeOk;
  };

  int position = 0;
  int groupsDone = 0;
  std::string path, nextPath;
  // One path is read ahead, so that the last group is known to be complete.
  int more = NextListedPath(list.get(), &nextPath);
  while (more == 1) {
    path.swap(nextPath);
    more = NextListedPath(list.get(), &nextPath);
    if (more < 0) break;

    auto input = RecordReader::Open(path, &error, kInputBlockSize);
    if (!input) {
      std::string message(kOpenFailedPrefix);
      message.append(path);
      LogError(message);
      return kInputNotReadable;
    }
    inputs[static_cast<size_t>(position)] = std::move(input);
    inputPaths[static_cast<size_t>(position)] = path;
    ++position;

    if (position == fanIn || more == 0) {
      ++groupsDone;
      position = 0;
      int32_t result = finishGroup();
      if (result != kMergeOk) return result;
      if (more == 1) {
        current = nextOutputName();
        output = TextWriter::Open(current, false, &error, kOutputBufferSize);
        if (!output) return kMergeFailed;
      }
    }
    OnGroupProgress(position, groupsDone);
  }
  if (more < 0) return kListNotReadable;
  // A list without any path still gives its (empty) output.
  if (output) return finishGroup();
  return kMergeOk;
}

void FileMerger::ClearInputs() {
  inputs.clear();
  inputs.resize(static_cast<size_t>(fanIn));
  for (std::string& path : inputPaths)
    path.clear();
}

bool FileMerger::MergeGroup() {
  failedInput = -1;
  PendingLine pending(output.get());
  int used = 0;
  while (used < fanIn && inputs[static_cast<size_t>(used)])
    ++used;
  int leaves = GroupLeaves(used, fanIn);
  if (tree.leaves() != leaves) tree = LoserTree(leaves);
  tree.Clear();
  for (int i = 0; i < leaves; ++i)
    ReadNextRecord(i);
  tree.Build();
  for (;;) {
    int winner = tree.winner();
    if (tree.record(winner).state == MergeRecord::kExhausted) break;
    pending.Offer(tree.record(winner));
    ReadNextRecord(winner);
    tree.Replay(winner);
  }
  pending.Flush();  // the next group starts with nothing pending
  bool readAll = failedInput < 0;
  if (!readAll) failedPath = inputPaths[static_cast<size_t>(failedInput)];
  ClearInputs();
  return readAll;
}

void FileMerger::ReadNextRecord(int input) {
  MergeRecord& record = tree.record(input);
  RecordReader* reader = inputs[static_cast<size_t>(input)].get();
  if (reader == nullptr) {
    MarkExhausted(&record);
    return;
  }
  RecordReader::Status status = reader->Next(&record);
  if (status == RecordReader::Status::kRecord) return;
  if (status == RecordReader::Status::kError && failedInput < 0) failedInput = input;
  MarkExhausted(&record);
}

void FileMerger::CloseStreams() {
  inputs.clear();
  output.reset();
}

void FileMerger::LogError(std::string_view message) {
  if (outputPath.empty()) return;  // no merge yet: no log to write to
  AppendTextToFile(ErrorLogPath(outputPath), FormatLogEntry(Env::Current()->Now(), message));
}

}  // namespace ulo::merge
