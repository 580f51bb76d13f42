#include "merge/file_merger.h"

#include <exception>
#include <utility>

#include "merge/error_log.h"
#include "merge/pass_plan.h"
#include "merge/work_dir_lock.h"
#include "platform/env.h"
#include "text/pair_line.h"

namespace ulo::merge {
namespace {

using platform::Env;
using platform::IsDirectory;
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

bool IsDotEntry(const std::string& name) {
  return name == "." || name == "..";
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

}  // namespace

FileMerger::FileMerger(int fanIn) : fanInValue(fanIn < 2 ? 2 : fanIn) {}

FileMerger::~FileMerger() {
  CloseStreams();
}

void FileMerger::SetFanIn(int fanIn) {
  fanInValue = fanIn < 2 ? 2 : fanIn;
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
  if (!env->GetAttributes(source, &attributes, &error) || !IsDirectory(attributes)) {
    return kNotADirectory;
  }

  // The work directory lies beside the source: /data/spill works in
  // /data/merge_temp, /spill in /merge_temp, a bare name in ./merge_temp.
  size_t cut = LastSeparator(source);
  std::string workDir =
      platform::JoinPath(cut == std::string::npos ? "." : source.substr(0, cut), kWorkDirName);
  // A source that is itself the work directory would be emptied by clearing
  // it: it is refused untouched.
  std::string_view name = std::string_view(source).substr(cut == std::string::npos ? 0 : cut + 1);
  if (name == kWorkDirName || env->SameFile(source, workDir)) return kNotADirectory;

  // Merges in other processes whose sources share this parent take turns
  // on the work directory as well.
  WorkDirLock holdWorkDir(workDir, [this](std::string_view line) { LogError(line); });
  RemoveTree(workDir);  // whatever an earlier run left there
  if (!env->CreateDir(workDir, &error)) return kWorkDirFailed;
  // An output inside the work directory would be removed with it.
  if (env->SameFile(ParentOf(outputPath), workDir)) {
    RemoveTree(workDir);
    return kWorkDirFailed;
  }

  std::string listFile = platform::JoinPath(workDir, kListFileName);
  env->RemoveFile(listFile, &error);
  int64_t files = ListFiles(source, listFile);
  if (files < 1) {
    RemoveTree(workDir);
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
      RemoveTree(workDir);
      return kListNotReadable;
    }
  }
  if (!env->Exists(path)) return kSingleFileVanished;
  // One file is already merged: it is copied byte for byte, unparsed.
  bool copied = env->CopyFileOver(path, outputPath, &error);
  RemoveTree(workDir);
  return copied ? kMergeOk : kOutputNotWritable;
}

int32_t FileMerger::RunPasses(const std::string& workDir, const std::string& listFile,
                              int64_t files) {
  PrepareTables();
  ResetInputs();

  int passes = PassCount(files, fanInValue);
  int nameCounter = 0;
  std::string list = listFile;
  for (int pass = 0; pass < passes; ++pass) {
    OnPassStart(pass, passes);
    std::string nextList =
        platform::JoinPath(workDir, "namefile_" + std::to_string(nameCounter++) + ".tmp");
    int32_t result = MergePass(list, nextList, outputPath, pass == passes - 1);
    if (result < 0) {
      RemoveTree(workDir);
      return result;
    }
    list = std::move(nextList);
  }
  RemoveTree(workDir);
  return kMergeOk;
}

int64_t FileMerger::ListFiles(const std::string& directory, const std::string& listFile) {
  std::string root = directory;
  StripTrailingSeparators(&root);
  if (root.empty()) return -1;

  listPath = listFile;
  listFirstEntry = true;
  listWriter.reset();
  // The output may lie in the source tree, for instance from an earlier
  // merge: it is no input of its own merge.
  outputExists = !outputPath.empty() && Env::Current()->Exists(outputPath);

  std::vector<std::string> path{root};
  int64_t count = ListTree(&path);
  if (listWriter) {
    if (!listWriter->Close() && count >= 0) count = -2;
    listWriter.reset();
  }
  return count;
}

int64_t FileMerger::ListTree(std::vector<std::string>* path) {
  Env* env = Env::Current();
  int error = 0;
  const std::string directory = path->back();
  auto listing = env->OpenDirectory(directory, &error);
  if (!listing) return 0;

  int64_t count = 0;
  platform::DirectoryEntry entry;
  while (listing->Next(&entry)) {
    if (IsDirectory(entry.attributes)) {
      if (IsDotEntry(entry.name)) continue;
      std::string subdirectory = platform::JoinPath(directory, entry.name);
      // A link back to a directory on the way down would list its files
      // again and again: it is not followed.
      bool cycle = false;
      for (const std::string& above : *path)
        cycle = cycle || env->SameFile(subdirectory, above);
      if (cycle) continue;
      // The subdirectory's files stand where the subdirectory is met.
      path->push_back(std::move(subdirectory));
      int64_t found = ListTree(path);
      path->pop_back();
      if (found < 0) return found;
      count += found;
      continue;
    }
    if (entry.name == kWorkDirLockName) continue;  // a merge's lock, never an input
    std::string file = platform::JoinPath(directory, entry.name);
    if (outputExists && env->SameFile(file, outputPath)) continue;
    if (!listWriter) {
      listWriter = TextWriter::Open(listPath, true, &error, kListBufferSize);
      if (!listWriter) return -2;
    }
    if (!listFirstEntry) listWriter->Append('\n');
    listWriter->Append(file);
    listFirstEntry = false;
    ++count;
  }
  return listing->ErrorCode() == 0 ? count : -3;
}

void FileMerger::RemoveTree(const std::string& directory) {
  std::string dir = directory;
  if (dir.size() > 1 && IsPathSeparator(dir.back())) dir.pop_back();
  Env* env = Env::Current();
  int error = 0;
  auto listing = env->OpenDirectory(dir, &error);
  if (!listing) {
    env->RemoveDir(dir, &error);  // usually: there is no such directory
    return;
  }
  platform::DirectoryEntry entry;
  while (listing->Next(&entry)) {
    if (IsDirectory(entry.attributes)) {
      if (!IsDotEntry(entry.name)) RemoveTree(platform::JoinPath(dir, entry.name));
      continue;
    }
    std::string path = platform::JoinPath(dir, entry.name);
    if (!env->RemoveFile(path, &error)) {
      std::string message(kDeleteFailedPrefix);
      message.append(path);
      message.append(kDeleteFailedReason);
      message.append(env->ErrorText(error));
      message.push_back(' ');
      LogError(message);
    }
  }
  bool complete = listing->ErrorCode() == 0;
  listing.reset();  // the listing must be closed before its directory goes
  if (complete) env->RemoveDir(dir, &error);
}

int32_t FileMerger::MergePass(const std::string& listFile, const std::string& nextListFile,
                              const std::string& outputFile, bool lastPass) {
  // Whatever way the pass ends, no stream of it stays open.
  struct Closer {
    FileMerger* merger;
    ~Closer() { merger->CloseStreams(); }
  } closer{this};
  PrepareTables();

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
  ResetInputs();

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
      if (!AppendToFile(nextListFile, entry)) return kMergeFailed;
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

    if (position == fanInValue || more == 0) {
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

void FileMerger::ResetInputs() {
  inputs.clear();
  inputs.resize(static_cast<size_t>(fanInValue));
  inputPaths.resize(static_cast<size_t>(fanInValue));
  for (std::string& path : inputPaths)
    path.clear();
}

bool FileMerger::MergeGroup() {
  failedInput = -1;
  RunLoserTree();
  bool readAll = failedInput < 0;
  if (!readAll) failedPath = inputPaths[static_cast<size_t>(failedInput)];
  ResetInputs();
  return readAll;
}

void FileMerger::PrepareTables() {
  size_t fanIn = static_cast<size_t>(fanInValue);
  if (records.size() != fanIn + 1) {
    loserTree.assign(fanIn, 0);
    records.assign(fanIn + 1, MergeRecord());
  }
  if (inputs.size() != fanIn) inputs.resize(fanIn);
  if (inputPaths.size() != fanIn) inputPaths.resize(fanIn);
}

void FileMerger::CloseStreams() {
  inputs.clear();
  output.reset();
  listWriter.reset();
}

void FileMerger::LogError(std::string_view message) {
  if (outputPath.empty()) return;  // no merge yet: no log to write to
  AppendToFile(ErrorLogPath(outputPath), FormatLogEntry(Env::Current()->Now(), message));
}

bool FileMerger::AppendToFile(const std::string& path, std::string_view text) {
  return AppendTextToFile(path, text);
}

}  // namespace ulo::merge
