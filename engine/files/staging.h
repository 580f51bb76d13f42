// Results that appear whole or not at all. A counting run's spill files are
// written into a staging directory beside the work directory and moved into
// place once every run has ended well; an output file is written beside its
// final name and renamed. A crash at any moment leaves either the earlier
// state or the complete result, plus a staging entry whose name marks it
// (NAME.ulo-partial for a directory, NAME.ulo-partial-XXXXXXXX for a file).
// Each staging entry holds a lock for as long as its writer lives; what no
// one holds is stale: the next command that writes into that directory
// removes it, and a merge refuses a tree that holds one rather than count it.
#ifndef ULO_ENGINE_STAGING_H_
#define ULO_ENGINE_STAGING_H_

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace ulo::engine {

// How outputs are put in place.
struct OutputOptions {
  // fsync the output, and then its directory, before and after the rename:
  // the result survives a power loss, at the cost of waiting for the disk.
  bool sync = false;
};

// Whether `name` (a directory entry's name) is a staging name:
// NAME.ulo-partial, NAME.ulo-partial-XXXXXXXX, or either followed by
// "_err.log" (the merge's log of a staged output).
bool IsStagingName(std::string_view name);

// A staging name for `target`: "TARGET.ulo-partial-XXXXXXXX", the hex
// digits drawn at random (nothing is made).
std::string StagingName(const std::string& target);

// Removes the stale staging entries of `dir` (not of its subdirectories):
// those whose lock can be taken. One a live process holds stays.
void SweepStale(const std::string& dir);

// What under the tree `root` no merge may take as data: a staging entry, or
// the merge work directory "merge_temp" (what a killed merge leaves, or the
// one a running merge works in). The path of the first met, or empty.
std::string FindLeftover(const std::string& root);

// Whether `dir` holds nothing but what a counting run leaves: spill files
// temp1.txt, temp2.txt, ... and part-1/, part-2/, ... directories of them.
bool HoldsOnlyCountResult(const std::string& dir);

// Whether `name` is one a counting run gives its spill files: temp<N>.txt.
bool IsSpillFileName(const std::string& name);

// Puts the finished directory `stage` in place of `dir` (missing, or an
// earlier result, replaced whole): in one step where the file system can
// exchange the two, synced first and after as `options` says. False with
// the reason in `*error`.
bool ReplaceDirectory(const std::string& stage, const std::string& dir, std::string* error,
                      const OutputOptions& options = {});

// An open file descriptor, closed when the object goes.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(Descriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept;
  int get() const { return fd; }
  explicit operator bool() const { return fd >= 0; }
  void Reset(int replacement = -1);

 private:
  int fd = -1;
};

class StagedDirectory {
 public:
  StagedDirectory() = default;
  ~StagedDirectory() = default;
  StagedDirectory(const StagedDirectory&) = delete;
  StagedDirectory& operator=(const StagedDirectory&) = delete;

  // Makes the staging directory for `dir` (its path followed by
  // ".ulo-partial"), empty, and holds its lock, which worker processes
  // inherit: a second run for the same directory waits until the first and
  // all its workers have ended. `dir`'s parent must exist (only `dir` itself
  // is created). `dir` may be missing, empty, or hold an earlier count
  // result (replaced on Commit); anything else is refused, since the merge
  // would take it as input.
  bool Open(const std::string& dir, std::string* error);

  // Where the runs write.
  const std::string& path() const { return stage; }
  // The final directory.
  const std::string& target() const { return dir; }

  // Puts the staged result in place of `dir` in one step.
  bool Commit(std::string* error, const OutputOptions& options = {});
  // Removes the staging directory (after a failure).
  void Discard();

 private:
  std::string dir;
  std::string stage;
  Descriptor lock;
};

// A directory for an operation's own intermediate files, made beside
// `beside` as a staging entry (BESIDE.ulo-partial-XXXXXXXX) and locked, so
// that what a killed operation leaves is swept like any staging entry, and
// nothing of anyone else's stands under its name. Removed with everything in
// it when the object goes.
class ScratchDirectory {
 public:
  ScratchDirectory() = default;
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool Make(const std::string& beside, std::string* error);
  const std::string& path() const { return made; }

 private:
  std::string made;
  Descriptor lock;
};

// A file or directory moved out of the way, under a staging name it holds
// locked, while what may replace it is made: put back by Restore, removed
// when the object goes otherwise (what a kill leaves is swept as a staging
// entry).
class SetAside {
 public:
  // Moves `path` aside; nothing when there is no such entry or it cannot
  // be locked.
  explicit SetAside(std::string path);
  ~SetAside();
  SetAside(const SetAside&) = delete;
  SetAside& operator=(const SetAside&) = delete;

  void Restore();

 private:
  std::string original;
  std::string aside;
  Descriptor lock;
};

// An output written under a staging name beside its final one and renamed
// to it by Commit(); removed when the object goes uncommitted, so a failed
// or interrupted operation never leaves a partial file under the final name.
class Writeback;

class StagedOutput {
 public:
  explicit StagedOutput(std::string finalPath, const OutputOptions& options = {});
  ~StagedOutput();
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;

  // Where the operation writes (empty when the staging file could not be
  // made: Commit then says why).
  const std::string& path() const { return temporary; }
  const std::string& finalPath() const { return target; }
  // The staging file opened for writing from its start, or null with errno
  // set. It is not truncated (this object made it empty): truncating a file
  // makes ext4 write all of its new content out when it is closed, which a
  // large output would wait for.
  std::FILE* Open() const;
  // Makes the finished file `from` the output: it takes the staging name,
  // and `from` is gone. False with the reason in `*error`.
  bool TakeFile(const std::string& from, std::string* error);
  // Renames the output to its final name; false with the reason in `*error`.
  bool Commit(std::string* error);
  // Appends the file named path() + `suffix` (a log the operation kept beside
  // its output) to finalPath() + `suffix`, and removes it.
  void AdoptSideFile(const std::string& suffix);

 private:
  std::string target;
  std::string temporary;
  std::string problem;  // why there is no staging file
  OutputOptions options;
  Descriptor lock;
  // Where the output will replace a file, it is written out as it grows.
  std::unique_ptr<Writeback> early;
  bool committed = false;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_STAGING_H_
