#include "merge/file_tree.h"

#include <memory>
#include <utility>
#include <vector>

#include "merge/work_dir_lock.h"
#include "platform/env.h"
#include "text/text_writer.h"

namespace ulo::merge {
namespace {

using platform::Env;
using platform::IsDirectory;
using platform::IsPathSeparator;

// List files hold a few paths per group: small buffers do.
constexpr size_t kListBufferSize = size_t{64} << 10;

bool IsDotEntry(const std::string& name) {
  return name == "." || name == "..";
}

// Whether the list file can hold `path` on a line of its own: its reader takes
// CR LF for a line end and an LF ends a line, so a path holding a CR or an LF
// would come back cut short or as other files. Such a path is logged, its CR
// and LF written as "\r" and "\n", and fails the listing.
bool Listable(const std::string& path, const LogLine& log) {
  if (path.find_first_of("\r\n") == std::string::npos) return true;
  std::string message(kLineEndInNamePrefix);
  for (char c : path)
    message.append(c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c));
  log(message);
  return false;
}

// One listing: the list file is opened with the first path it takes.
class Listing {
 public:
  Listing(std::string listFile, const std::string& leaveOut, const LogLine& log)
      : listFile(std::move(listFile)),
        leaveOut(leaveOut),
        leaveOutExists(!leaveOut.empty() && Env::Current()->Exists(leaveOut)),
        log(log) {}

  // Lists the directory last in `path`, the directories above it before it.
  int64_t List(std::vector<std::string>* path);
  // Closes the list file; false when it was not written whole.
  bool Close() { return !writer || writer->Close(); }

 private:
  bool Add(const std::string& file);

  const std::string listFile;
  const std::string& leaveOut;
  const bool leaveOutExists;
  const LogLine& log;
  std::unique_ptr<text::TextWriter> writer;
};

int64_t Listing::List(std::vector<std::string>* path) {
  Env* env = Env::Current();
  int error = 0;
  const std::string directory = path->back();
  auto listing = env->OpenDirectory(directory, &error);
  if (!listing) {
    // Its files left out, the merge would succeed without them.
    log(std::string(kOpenFailedPrefix) + directory);
    return kListingFailed;
  }

  int64_t count = 0;
  platform::DirectoryEntry entry;
  while (listing->Next(&entry)) {
    if (IsDirectory(entry.attributes) && IsDotEntry(entry.name)) continue;
    if (!Listable(platform::JoinPath(directory, entry.name), log)) return kListingFailed;
    if (IsDirectory(entry.attributes)) {
      std::string subdirectory = platform::JoinPath(directory, entry.name);
      // A link back to a directory on the way down would list its files
      // again and again: it is not followed.
      bool cycle = false;
      for (const std::string& above : *path)
        cycle = cycle || env->SameFile(subdirectory, above);
      if (cycle) continue;
      path->push_back(std::move(subdirectory));
      int64_t found = List(path);
      path->pop_back();
      if (found < 0) return found;
      count += found;
      continue;
    }
    if (entry.name == kWorkDirLockName) continue;  // a merge's lock, never an input
    std::string file = platform::JoinPath(directory, entry.name);
    if (leaveOutExists && env->SameFile(file, leaveOut)) continue;
    if (!Add(file)) return kListNotWritable;
    ++count;
  }
  if (listing->ErrorCode() != 0) {
    log(std::string(kOpenFailedPrefix) + directory);  // read in part, as good as unopened
    return kListingFailed;
  }
  return count;
}

bool Listing::Add(const std::string& file) {
  if (writer) {
    writer->Append('\n');
  } else {
    int error = 0;
    writer = text::TextWriter::Open(listFile, true, &error, kListBufferSize);
    if (!writer) return false;
  }
  writer->Append(file);
  return true;
}

}  // namespace

int64_t ListFiles(const std::string& directory, const std::string& listFile,
                  const std::string& leaveOut, const LogLine& log) {
  std::string root = directory;
  while (!root.empty() && IsPathSeparator(root.back()))
    root.pop_back();
  if (root.empty()) return kListOnlySeparators;
  if (!Listable(root, log)) return kListingFailed;

  Listing listing(listFile, leaveOut, log);
  std::vector<std::string> path{root};
  int64_t count = listing.List(&path);
  if (!listing.Close() && count >= 0) count = kListNotWritable;
  return count;
}

void RemoveTree(const std::string& directory, const LogLine& log) {
  std::string dir = directory;
  if (dir.size() > 1 && IsPathSeparator(dir.back())) dir.pop_back();
  Env* env = Env::Current();
  int error = 0;
  uint32_t attributes = 0;
  // A link is no directory to empty: what it leads to lies elsewhere.
  if (env->GetAttributes(dir, &attributes, &error) && platform::IsLink(attributes)) return;
  auto listing = env->OpenDirectory(dir, &error);
  if (!listing) {
    env->RemoveDir(dir, &error);  // usually: there is no such directory
    return;
  }
  platform::DirectoryEntry entry;
  while (listing->Next(&entry)) {
    bool directory = IsDirectory(entry.attributes);
    if (directory && IsDotEntry(entry.name)) continue;
    std::string path = platform::JoinPath(dir, entry.name);
    if (directory && !platform::IsLink(entry.attributes)) {
      RemoveTree(path, log);
      continue;
    }
    // A link goes as a link, whatever it leads to.
    bool removed = directory ? env->RemoveDir(path, &error) : env->RemoveFile(path, &error);
    if (!removed) {
      std::string message(kDeleteFailedPrefix);
      message.append(path);
      message.append(kDeleteFailedReason);
      message.append(env->ErrorText(error));
      message.push_back(' ');
      log(message);
    }
  }
  bool complete = listing->ErrorCode() == 0;
  listing.reset();  // the listing must be closed before its directory goes
  if (complete) env->RemoveDir(dir, &error);
}

}  // namespace ulo::merge
