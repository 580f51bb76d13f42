// The external multi-way merge: every file under a directory tree, each a
// pair-count file sorted by word1 and then word2, merged into one pair-count
// file in which each pair stands once with the sum of its counts.
//
// A merge works in a directory "merge_temp" beside the source directory: it
// lists the source tree into "filename.tmp", then merges the listed files in
// passes, each taking the files of its list in groups of up to fan-in files,
// merging every group with a loser tree into an intermediate "output_N.tmp"
// and naming those in the next list "namefile_N.tmp". The last pass writes
// the output file itself. The work directory is removed at the end.
//
// The pieces: file_tree lists and removes trees, LoserTree orders the
// records of a group, PendingLine sums equal keys into the output;
// FileMerger runs the passes and answers with the merge's codes.
//
// One FileMerger serves one MergeFiles call; it creates no threads. Merges
// in one process run one after another; merges in different processes whose
// sources share a parent take turns on its work directory (WorkDirLock).
#ifndef ULO_MERGE_FILE_MERGER_H_
#define ULO_MERGE_FILE_MERGER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "merge/loser_tree.h"
#include "merge/record_reader.h"
#include "text/text_writer.h"

namespace ulo::merge {

// Results of MergeFiles.
enum MergeResult : int32_t {
  kMergeOk = 0,
  // An exception during the passes ("Exception occur!" is logged; the work
  // directory stays), or an intermediate file that cannot be created or
  // written.
  kMergeFailed = -1,
  // The first output of a pass cannot be created, or the output file not
  // written (in the single-file case: not copied), or the output would be the
  // work directory's lock (refused before anything is written).
  kOutputNotWritable = -2,
  kListNotReadable = -3,     // a list file cannot be opened or read
  kInputNotReadable = -4,    // a listed input cannot be opened or read (logged)
  kSingleFileVanished = -5,  // the one input no longer exists; the work directory stays
  // No file under the source, or the listing failed (logged for a directory
  // of the tree that cannot be opened and for a name holding CR or LF).
  kNoFiles = -6,
  kWorkDirFailed = -7,   // the work directory cannot be created (or would hold the output)
  kNotADirectory = -8,   // the source is missing, no directory, or itself the work directory
  kOnlySeparators = -9,  // the source path consists of separators only
  kBadArgument = -10,    // a null or empty argument
};

class FileMerger {
 public:
  static constexpr int kDefaultFanIn = 20;
  static constexpr const char* kWorkDirName = "merge_temp";
  static constexpr const char* kListFileName = "filename.tmp";

  // `fanIn` is the number of files merged at once, at least 2.
  explicit FileMerger(int fanIn = kDefaultFanIn);
  virtual ~FileMerger();
  FileMerger(const FileMerger&) = delete;
  FileMerger& operator=(const FileMerger&) = delete;

  // Merges every file under `sourceDir` into `outputFile`. Returns 0 or one
  // of the negative MergeResult codes.
  int32_t MergeFiles(const char* sourceDir, const char* outputFile);

  // One pass over the paths in `listFile`. Unless `lastPass`, each group's
  // output is a new "output_N.tmp" beside the list file, named in
  // `nextListFile`; the last pass merges into `outputFile`. Returns 0, -1
  // (an intermediate file cannot be created or written), -2 (the pass's first
  // output cannot be created, or the last pass's output not written), -3
  // (the list cannot be read) or -4 (an input cannot be read).
  int32_t MergePass(const std::string& listFile, const std::string& nextListFile,
                    const std::string& outputFile, bool lastPass);

  // Appends a timestamped entry with `message` to the error log of the
  // output file given to MergeFiles.
  void LogError(std::string_view message);

 protected:
  // Progress hooks for subclasses; they do nothing here. OnPassStart comes
  // before pass `pass` (from 0) of `passCount`; OnGroupProgress after each
  // input joins a group, with the inputs in the group being filled (0 once
  // it is merged) and the groups merged so far in this pass.
  virtual void OnPassStart(int pass, int passCount);
  virtual void OnGroupProgress(int inputsInGroup, int groupsDone);

 private:
  // The merge passes of MergeFiles, for n listed files.
  int32_t RunPasses(const std::string& workDir, const std::string& listFile, int64_t files);
  int32_t CopySingleFile(const std::string& workDir, const std::string& listFile);
  void RemoveWorkDir(const std::string& workDir);
  // Merges the inputs of the current group into the output, then closes
  // them. False when an input could not be read to its end.
  bool MergeGroup();
  // Loads the next line of input `input` into its record, or marks the
  // record exhausted at the end of the input (or a read error).
  void ReadNextRecord(int input);
  // Closes every input and leaves fan-in empty input positions.
  void ClearInputs();
  void CloseStreams();

  const int fanIn;
  LoserTree tree;
  std::vector<std::unique_ptr<RecordReader>> inputs;
  std::vector<std::string> inputPaths;  // the path each input was opened from
  std::unique_ptr<text::TextWriter> output;
  std::string outputPath;
  int failedInput = -1;         // an input whose reading failed in this group
  std::string failedPath;       // and its path, once the group is merged
  int intermediateCounter = 0;  // numbers the "output_N.tmp" files of a run
};

}  // namespace ulo::merge

#endif  // ULO_MERGE_FILE_MERGER_H_
