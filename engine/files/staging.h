// Results that appear whole or not at all. A counting run's spill files are
// written into a staging directory beside the work directory and moved into
// place once every run has ended well; a merge writes beside its output and
// renames. A crash at any moment leaves either the earlier state or the
// complete result, and the staging names, which nothing takes as a result
// and the next run clears.
#ifndef ULO_ENGINE_STAGING_H_
#define ULO_ENGINE_STAGING_H_

#include <string>

namespace ulo::engine {

// Whether `dir` holds nothing but what a counting run leaves: spill files
// temp1.txt, temp2.txt, ... and part-1/, part-2/, ... directories of them.
bool HoldsOnlyCountResult(const std::string& dir);

class StagedDirectory {
 public:
  StagedDirectory() = default;
  ~StagedDirectory();
  StagedDirectory(const StagedDirectory&) = delete;
  StagedDirectory& operator=(const StagedDirectory&) = delete;

  // Makes the staging directory for `dir` (its path followed by ".partial"),
  // empty, and holds its lock, which worker processes inherit: a second run
  // for the same directory waits until the first and all its workers have
  // ended. `dir` may be missing, empty, or hold an earlier count result
  // (replaced on Commit); anything else is refused, since the merge would
  // take it as input.
  bool Open(const std::string& dir, std::string* error);

  // Where the runs write.
  const std::string& path() const { return stage; }
  // The final directory.
  const std::string& target() const { return dir; }

  // Puts the staged result in place of `dir` in one step.
  bool Commit(std::string* error);
  // Removes the staging directory (after a failure).
  void Discard();

 private:
  std::string dir;
  std::string stage;
  int lockFd = -1;
};

// Where an output file is written until it is complete.
std::string PartialPath(const std::string& path);

// Moves the merge's error log, written for `partial`, to the one for `path`,
// appending to what is there.
void MoveErrorLog(const std::string& partial, const std::string& path);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_STAGING_H_
