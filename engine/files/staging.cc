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
#include <system_error>

namespace ulo::engine {
namespace {

namespace fs = std::filesystem;

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

bool OnlySpillFiles(const fs::path& dir, bool partsAllowed) {
  std::error_code code;
  for (auto it = fs::directory_iterator(dir, code); !code && it != fs::directory_iterator();
       it.increment(code)) {
    std::string name = it->path().filename().string();
    std::error_code typeCode;
    if (it->is_symlink(typeCode)) return false;
    if (it->is_regular_file(typeCode) && NumberedName(name, "temp", ".txt")) continue;
    if (partsAllowed && it->is_directory(typeCode) && NumberedName(name, "part-", "") &&
        OnlySpillFiles(it->path(), false)) {
      continue;
    }
    return false;
  }
  return !code;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

}  // namespace

bool HoldsOnlyCountResult(const std::string& dir) {
  return OnlySpillFiles(dir, true);
}

StagedDirectory::~StagedDirectory() {
  if (lockFd >= 0) close(lockFd);
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
  stage = dir + ".partial";
  fs::path parent = fs::path(dir).parent_path();
  if (!parent.empty()) fs::create_directories(parent, code);
  for (;;) {
    if (mkdir(stage.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = "cannot create the directory " + stage + ": " + std::strerror(errno);
      return false;
    }
    lockFd = open(stage.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lockFd < 0) {
      *error = "cannot open the directory " + stage + ": " + std::strerror(errno);
      return false;
    }
    while (flock(lockFd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        *error = "cannot lock the directory " + stage + ": " + std::strerror(errno);
        return false;
      }
    }
    // The run that held the lock may have moved this directory into place.
    struct stat held, named;
    if (fstat(lockFd, &held) == 0 && stat(stage.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      break;
    }
    close(lockFd);
    lockFd = -1;
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

bool StagedDirectory::Commit(std::string* error) {
  std::error_code code;
  bool replace = fs::exists(dir, code);
  if (replace && renameat2(AT_FDCWD, stage.c_str(), AT_FDCWD, dir.c_str(), RENAME_EXCHANGE) == 0) {
    fs::remove_all(stage, code);  // the earlier result; a leftover is cleared next time
    return true;
  }
  if (replace && errno != EINVAL && errno != ENOSYS) {
    *error = "cannot move " + stage + " to " + dir + ": " + std::strerror(errno);
    return false;
  }
  // No exchange on this file system: the earlier result goes first, so that
  // there is a moment without one but never one cut short.
  if (replace) fs::remove_all(dir, code);
  if (rename(stage.c_str(), dir.c_str()) != 0) {
    *error = "cannot move " + stage + " to " + dir + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void StagedDirectory::Discard() {
  std::error_code code;
  fs::remove_all(stage, code);
}

std::string PartialPath(const std::string& path) {
  return path + ".partial";
}

void MoveErrorLog(const std::string& partial, const std::string& path) {
  std::string from = partial + "_err.log";
  std::ifstream in(from, std::ios::binary);
  if (!in) return;
  std::ofstream out(path + "_err.log", std::ios::binary | std::ios::app);
  out << in.rdbuf();
  in.close();
  if (out.flush()) std::remove(from.c_str());
}

}  // namespace ulo::engine
