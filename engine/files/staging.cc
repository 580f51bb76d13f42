#include "engine/files/staging.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "engine/files/checks.h"
#include "engine/files/writeback.h"

namespace ulo::engine {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMark = ".ulo-partial";
constexpr std::string_view kLogSuffix = "_err.log";
constexpr std::string_view kMergeWorkDir = "merge_temp";

bool NumberedName(const std::string& name, const std::string& lead, const std::string& tail) {
  if (name.size() <= lead.size() + tail.size() || name.compare(0, lead.size(), lead) != 0 ||
      name.compare(name.size() - tail.size(), tail.size(), tail) != 0) {
    return false;
  }
  for (size_t i = lead.size(); i < name.size() - tail.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return true;
}

}  // namespace

bool IsSpillFileName(const std::string& name) {
  return NumberedName(name, "temp", ".txt");
}

namespace {

bool OnlySpillFiles(const fs::path& dir, bool partsAllowed) {
  std::error_code code;
  for (auto it = fs::directory_iterator(dir, code); !code && it != fs::directory_iterator();
       it.increment(code)) {
    std::string name = it->path().filename().string();
    std::error_code typeCode;
    if (it->is_symlink(typeCode)) return false;
    if (it->is_regular_file(typeCode) && IsSpillFileName(name)) continue;
    if (partsAllowed && it->is_directory(typeCode) && NumberedName(name, "part-", "") &&
        OnlySpillFiles(it->path(), false)) {
      continue;
    }
    return false;
  }
  return !code;
}

std::string ParentOf(const std::string& path) {
  std::string parent = fs::path(WithoutTrailingSlashes(path)).parent_path().string();
  return parent.empty() ? "." : parent;
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Whether the name `path` still leads to the file open as `fd`.
bool StillNamed(int fd, const std::string& path) {
  struct stat held, named;
  return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

// The staging entry `path` locked for its removal, or nothing while its
// writer lives (or when it is gone).
Descriptor LockStale(const std::string& path) {
  Descriptor entry(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!entry || flock(entry.get(), LOCK_EX | LOCK_NB) != 0 || !StillNamed(entry.get(), path)) {
    return {};
  }
  return entry;
}

// fsync of the file or directory `path`; false with errno set.
bool SyncPath(const std::string& path) {
  Descriptor entry(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return entry && fsync(entry.get()) == 0;
}

// fsync of every file and directory under `root`, and of `root`.
bool SyncTree(const std::string& root) {
  std::error_code code;
  for (auto it = fs::recursive_directory_iterator(root, code);
       !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
    if (!SyncPath(it->path().string())) return false;
  }
  return !code && SyncPath(root);
}

// A new staging entry "TARGET.ulo-partial-XXXXXXXX" (a file, or with
// `directory` a directory), made and locked, the stale ones beside it swept
// first: its name, with the lock in `*lock`, or empty with the reason in
// `*error`.
std::string MakeLockedEntry(const std::string& target, bool directory, Descriptor* lock,
                            std::string* error) {
  SweepStale(ParentOf(target));
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string candidate = StagingName(target);
    Descriptor made;
    if (!directory) {
      made.Reset(open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    } else if (mkdir(candidate.c_str(), 0777) == 0) {
      made.Reset(open(candidate.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (!made) {
      if (errno == EEXIST) continue;
      *error = "cannot create " + candidate + ": " + ErrorText(errno);
      return {};
    }
    // A sweep that met the entry before it was locked takes it away.
    if (flock(made.get(), LOCK_EX | LOCK_NB) != 0 || !StillNamed(made.get(), candidate)) continue;
    *lock = std::move(made);
    return candidate;
  }
  *error = "cannot find a free staging name beside " + target;
  return {};
}

}  // namespace

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    Reset(other.fd);
    other.fd = -1;
  }
  return *this;
}

void Descriptor::Reset(int replacement) {
  if (fd >= 0) close(fd);
  fd = replacement;
}

bool IsStagingName(std::string_view name) {
  if (EndsWith(name, kLogSuffix)) name.remove_suffix(kLogSuffix.size());
  if (EndsWith(name, kMark)) return name.size() > kMark.size();
  constexpr size_t kRandom = 9;  // "-" and eight hex digits
  if (name.size() <= kMark.size() + kRandom) return false;
  std::string_view tail = name.substr(name.size() - kRandom);
  if (name.substr(name.size() - kRandom - kMark.size(), kMark.size()) != kMark || tail[0] != '-') {
    return false;
  }
  for (char c : tail.substr(1)) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string StagingName(const std::string& target) {
  std::random_device random;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "%s-%08x", kMark.data(), static_cast<unsigned>(random()));
  return target + suffix;
}

void SweepStale(const std::string& dir) {
  std::error_code code;
  for (auto it = fs::directory_iterator(dir, code); !code && it != fs::directory_iterator();
       it.increment(code)) {
    std::string name = it->path().filename().string();
    if (!IsStagingName(name)) continue;
    std::string path = it->path().string();
    std::error_code removeCode;
    if (EndsWith(name, kLogSuffix)) {
      // A log goes with its output; alone, its writer is gone.
      std::string owner = path.substr(0, path.size() - kLogSuffix.size());
      if (!fs::exists(fs::symlink_status(owner, removeCode))) fs::remove(path, removeCode);
      continue;
    }
    Descriptor held = LockStale(path);
    if (!held) continue;
    fs::remove_all(path, removeCode);
    fs::remove(path + std::string(kLogSuffix), removeCode);
  }
}

std::string FindLeftover(const std::string& root) {
  std::error_code code;
  for (auto it = fs::recursive_directory_iterator(root, code);
       !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
    std::string name = it->path().filename().string();
    std::error_code typeCode;
    if (IsStagingName(name) || (name == kMergeWorkDir && it->is_directory(typeCode))) {
      return it->path().string();
    }
  }
  return {};
}

bool HoldsOnlyCountResult(const std::string& dir) {
  return OnlySpillFiles(dir, true);
}

bool StagedDirectory::Open(const std::string& requested, std::string* error) {
  std::error_code code;
  // "." or "runs/a/.." must name the directory itself, whose sibling the
  // staging directory is.
  fs::path normal = fs::absolute(requested, code).lexically_normal();
  dir = WithoutTrailingSlashes(code ? requested : normal.string());
  if (fs::path(dir).filename().empty() || dir == "/") {
    *error = "the work directory " + requested + " has no parent to stage its result in";
    return false;
  }
  stage = dir + std::string(kMark);
  // Only the last component is made: a typo in a parent is not a tree of
  // new directories.
  std::string parent = ParentOf(dir);
  if (std::string problem = InputDirectoryProblem(parent); !problem.empty()) {
    *error =
        "cannot make the work directory " + requested + ": its parent " + parent + ": " + problem;
    return false;
  }
  SweepStale(parent);
  for (;;) {
    if (mkdir(stage.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = "cannot create the directory " + stage + ": " + ErrorText(errno);
      return false;
    }
    lock.Reset(open(stage.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!lock) {
      if (errno == ENOENT) continue;  // swept between its making and its opening
      *error = "cannot open the directory " + stage + ": " + ErrorText(errno);
      return false;
    }
    while (flock(lock.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        *error = "cannot lock the directory " + stage + ": " + ErrorText(errno);
        return false;
      }
    }
    // The run that held the lock may have moved this directory into place.
    if (StillNamed(lock.get(), stage)) break;
    lock.Reset();
  }
  // What a crashed run left here is not a result: start afresh.
  for (auto it = fs::directory_iterator(stage, code); !code && it != fs::directory_iterator();
       it.increment(code)) {
    std::error_code removeCode;
    fs::remove_all(it->path(), removeCode);
    if (removeCode) {
      *error = "cannot clear " + it->path().string() + ": " + removeCode.message();
      return false;
    }
  }
  if (code) {
    *error = "cannot read the directory " + stage + ": " + code.message();
    return false;
  }
  if (fs::exists(dir, code) && !fs::is_directory(dir, code)) {
    *error = "the work directory " + dir + " is not a directory";
    Discard();
    return false;
  }
  if (fs::is_directory(dir, code) && !HoldsOnlyCountResult(dir)) {
    *error =
        "the work directory " + dir +
        " is not empty: it holds files that no count wrote (the merge would take every file in "
        "it as input)";
    Discard();
    return false;
  }
  return true;
}

bool ReplaceDirectory(const std::string& stage, const std::string& dir, std::string* error,
                      const OutputOptions& options) {
  if (options.sync && !SyncTree(stage)) {
    *error = "cannot sync " + stage + " to the disk: " + ErrorText(errno);
    return false;
  }
  std::error_code code;
  bool replace = fs::exists(dir, code);
  if (replace && renameat2(AT_FDCWD, stage.c_str(), AT_FDCWD, dir.c_str(), RENAME_EXCHANGE) == 0) {
    fs::remove_all(stage, code);  // the earlier result; a leftover is swept next time
  } else if (replace && errno != EINVAL && errno != ENOSYS) {
    *error = "cannot move " + stage + " to " + dir + ": " + ErrorText(errno);
    return false;
  } else {
    // No exchange here: the earlier result steps aside and comes back when
    // the new one cannot take its place.
    SetAside earlier(dir);
    if (rename(stage.c_str(), dir.c_str()) != 0) {
      *error = "cannot move " + stage + " to " + dir + ": " + ErrorText(errno);
      earlier.Restore();
      return false;
    }
  }
  if (options.sync && !SyncPath(ParentOf(dir))) {
    *error = "cannot sync the directory of " + dir + " to the disk: " + ErrorText(errno);
    return false;
  }
  return true;
}

bool StagedDirectory::Commit(std::string* error, const OutputOptions& options) {
  return ReplaceDirectory(stage, dir, error, options);
}

bool ScratchDirectory::Make(const std::string& beside, std::string* error) {
  made = MakeLockedEntry(beside, true, &lock, error);
  return !made.empty();
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  if (!made.empty()) fs::remove_all(made, ignored);
}

SetAside::SetAside(std::string path) : original(std::move(path)) {
  // Locked before it takes the staging name: no sweep meets it unlocked.
  Descriptor held(open(original.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!held || flock(held.get(), LOCK_EX | LOCK_NB) != 0) return;
  std::string name = StagingName(original);
  if (rename(original.c_str(), name.c_str()) != 0) return;
  aside = name;
  lock = std::move(held);
}

SetAside::~SetAside() {
  std::error_code ignored;
  if (!aside.empty()) fs::remove_all(aside, ignored);
}

void SetAside::Restore() {
  if (!aside.empty() && rename(aside.c_str(), original.c_str()) == 0) aside.clear();
}

void StagedDirectory::Discard() {
  std::error_code code;
  fs::remove_all(stage, code);
}

StagedOutput::StagedOutput(std::string finalPath, const OutputOptions& outputOptions)
    : target(std::move(finalPath)), options(outputOptions) {
  // A link is written through, as the library writes: to the file it names.
  std::error_code code;
  if (fs::is_symlink(target, code)) {
    fs::path resolved = fs::weakly_canonical(target, code);
    if (!code) target = resolved.string();
  }
  // Renaming over a device or a FIFO would replace it with a plain file.
  if (std::string wrong = ExistingOutputProblem(target); !wrong.empty()) {
    problem = "cannot write " + target + ": " + wrong;
    return;
  }
  // Beside the final name, so that the rename stays on one file system; made
  // and locked here, before the operation writes into it.
  temporary = MakeLockedEntry(target, false, &lock, &problem);
  if (!temporary.empty()) early = std::make_unique<Writeback>(temporary, target);
}

std::FILE* StagedOutput::Open() const {
  if (temporary.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  return std::fopen(temporary.c_str(), "r+b");
}

StagedOutput::~StagedOutput() {
  early.reset();
  if (committed || temporary.empty()) return;
  std::error_code ignored;
  fs::remove(temporary, ignored);
  fs::remove(temporary + std::string(kLogSuffix), ignored);
}

void StagedOutput::AdoptSideFile(const std::string& suffix) {
  std::string from = temporary + suffix;
  std::error_code code;
  if (temporary.empty() || !fs::exists(from, code)) return;
  {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(target + suffix, std::ios::binary | std::ios::app);
    out << in.rdbuf();
  }
  fs::remove(from, code);
}

bool StagedOutput::TakeFile(const std::string& from, std::string* error) {
  if (temporary.empty()) {
    *error = problem;
    return false;
  }
  // Locked before it bears the staging name, so that no sweep takes it.
  Descriptor taken(open(from.c_str(), O_RDWR | O_CLOEXEC));
  if (!taken || flock(taken.get(), LOCK_EX | LOCK_NB) != 0) {
    *error = "cannot read " + from + ": " + ErrorText(errno);
    return false;
  }
  early.reset();
  // The empty file holding the name goes first: renamed over another file,
  // a file is written out whole by ext4 in the rename itself (68 ms for
  // 128 MB), and a merge's first range is that large.
  if (unlink(temporary.c_str()) != 0) {
    *error = "cannot write " + temporary + ": " + ErrorText(errno);
    return false;
  }
  int moved = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, temporary.c_str(), RENAME_NOREPLACE);
  if (moved != 0 && (errno == EINVAL || errno == ENOSYS))
    moved = rename(from.c_str(), temporary.c_str());
  if (moved != 0) {
    *error = "cannot write " + temporary + ": " + ErrorText(errno);
    return false;
  }
  lock = std::move(taken);
  early = std::make_unique<Writeback>(temporary, target);
  return true;
}

bool StagedOutput::Commit(std::string* error) {
  if (temporary.empty()) {
    *error = problem;
    return false;
  }
  early.reset();
  if (options.sync && fsync(lock.get()) != 0) {
    *error = "cannot sync " + target + " to the disk: " + ErrorText(errno);
    return false;
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    *error = "cannot move the finished output to " + target + ": " + ErrorText(errno);
    return false;
  }
  committed = true;
  if (options.sync && !SyncPath(ParentOf(target))) {
    *error = "cannot sync the directory of " + target + " to the disk: " + ErrorText(errno);
    return false;
  }
  return true;
}

}  // namespace ulo::engine
