// The merge's view of a directory tree: the list of every file under it, and
// the removal of a whole tree. Both take a directory with further attribute
// bits (read-only, hidden) for a directory.
#ifndef ULO_MERGE_FILE_TREE_H_
#define ULO_MERGE_FILE_TREE_H_

#include <cstdint>
#include <string>

#include "merge/error_log.h"

namespace ulo::merge {

// Results of ListFiles below zero.
enum ListResult : int64_t {
  kListOnlySeparators = -1,  // the directory consists of separators only
  kListNotWritable = -2,     // the list file cannot be opened or written
  kListingFailed = -3,       // a directory not opened or listed, or a name with CR or LF
};

// Appends the path of every file under `directory`, at any depth, to
// `listFile`, one per line with no line end after the last; a subdirectory's
// files stand where the subdirectory is met. `leaveOut` (the merge's output,
// which may lie in the tree from an earlier merge) and the work directory's
// lock files are no inputs and are left out, and a link back to a directory
// on the way down is not followed. Returns the number of paths written, or a
// ListResult. A directory that cannot be opened, and a name holding CR or LF
// (which the list file cannot hold), fail the listing and go to `log`.
int64_t ListFiles(const std::string& directory, const std::string& listFile,
                  const std::string& leaveOut, const LogLine& log);

// Deletes every file under `directory`, its subdirectories and then the
// directory itself; a missing directory is no error. Links are removed as
// links, never followed: a `directory` that is a link stays as it is. A file
// or link that cannot be deleted is logged and keeps its directory in place.
void RemoveTree(const std::string& directory, const LogLine& log);

}  // namespace ulo::merge

#endif  // ULO_MERGE_FILE_TREE_H_
