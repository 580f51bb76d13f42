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

#include "merge/merge_record.h"
#include "merge/record_reader.h"
#include "text/line_reader.h"
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
  // written (in the single-file case: not copied).
  kOutputNotWritable = -2,
  kListNotReadable = -3,     // a list file cannot be opened or read
  kInputNotReadable = -4,    // a listed input cannot be opened or read (logged)
  kSingleFileVanished = -5,  // the one input no longer exists; the work directory stays
  kNoFiles = -6,             // no file under the source, or the listing failed
  kWorkDirFailed = -7,       // the work directory cannot be created (or would hold the output)
  kNotADirectory = -8,       // the source is missing, no directory, or itself the work directory
  kOnlySeparators = -9,      // the source path consists of separators only
  kBadArgument = -10,        // a null or empty argument
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

  void SetFanIn(int fanIn);
  int fanIn() const { return fanInValue; }

  // Merges every file under `sourceDir` into `outputFile`. Returns 0 or one
  // of the negative MergeResult codes.
  int32_t MergeFiles(const char* sourceDir, const char* outputFile);

  // Appends the path of every file under `directory`, at any depth, to
  // `listFile`, one per line with no line end after the last; the output file
  // of the merge is left out. Returns the number of paths written, or -1 when
  // `directory` consists of separators only, -2 when the list file cannot be
  // opened or written, -3 when listing a directory of the tree fails midway.
  int64_t ListFiles(const std::string& directory, const std::string& listFile);
  // Deletes every file under `directory`, its subdirectories and then the
  // directory itself. A file that cannot be deleted is logged and keeps its
  // directory in place.
  void RemoveTree(const std::string& directory);

  // One pass over the paths in `listFile`. Unless `lastPass`, each group's
  // output is a new "output_N.tmp" beside the list file, named in
  // `nextListFile`; the last pass merges into `outputFile`. Returns 0, -1
  // (an intermediate file cannot be created or written), -2 (the pass's first
  // output cannot be created, or the last pass's output not written), -3
  // (the list cannot be read) or -4 (an input cannot be read).
  int32_t MergePass(const std::string& listFile, const std::string& nextListFile,
                    const std::string& outputFile, bool lastPass);

  // Closes every input stream and leaves fan-in empty input positions.
  void ResetInputs();
  // Merges the inputs of the current group into the output stream, then
  // closes them. False when an input could not be read to its end.
  bool MergeGroup();

  // Orders the keys of two records: -1, 0 or 1.
  int CompareRecords(int a, int b) const {
    return CompareRecordKeys(records[static_cast<size_t>(a)], records[static_cast<size_t>(b)]);
  }
  // Loads the next line of input `input` into its record, or marks the
  // record exhausted at the end of the input (or a read error).
  void ReadNextRecord(int input);
  // Splits a line (without its LF) into the record's key and count; false
  // when it has fewer than three fields.
  static bool ParseLine(std::string_view line, MergeRecord* record) {
    return ParseMergeLine(line, record);
  }
  // Adds the record to the pending line when it has the same key, or writes
  // the pending line and makes the record pending.
  void EmitRecord(int record);

  // Progress hooks for subclasses; they do nothing here. OnPassStart comes
  // before pass `pass` (from 0) of `passCount`; OnGroupProgress after each
  // input joins a group, with the inputs in the group being filled (0 once
  // it is merged) and the groups merged so far in this pass.
  virtual void OnPassStart(int pass, int passCount);
  virtual void OnGroupProgress(int inputsInGroup, int groupsDone);

  // Appends a timestamped entry with `message` to the error log of the
  // output file given to MergeFiles.
  virtual void LogError(std::string_view message);
  // Appends `text` to the file at `path`; false when it could not.
  bool AppendToFile(const std::string& path, std::string_view text);

 private:
  // The loser tree over the records of the current group.
  void BuildLoserTree();
  void AdjustLoserTree(int leaf);
  // AdjustLoserTree for the winner's leaf while the records are merged.
  void ReplayWinner(int leaf);
  void RunLoserTree();
  // Writes the pending line, if any, and leaves nothing pending.
  void FlushPending();
  // Lists `directory`, the last of `path`, the directories it was reached
  // through.
  int64_t ListTree(std::vector<std::string>* path);
  void CloseStreams();
  // Sizes the loser tree and the records for the fan-in.
  void PrepareTables();
  // The merge passes of MergeFiles, for n listed files.
  int32_t RunPasses(const std::string& workDir, const std::string& listFile, int64_t files);
  int32_t CopySingleFile(const std::string& workDir, const std::string& listFile);
  bool OutputLiesIn(const std::string& workDir) const;

  int fanInValue;
  std::vector<std::unique_ptr<RecordReader>> inputs;
  std::vector<std::string> inputPaths;  // the path each input was opened from
  std::unique_ptr<text::TextWriter> output;
  std::string outputPath;
  std::vector<int> loserTree;        // fan-in record indices; entry 0 the winner
  std::vector<MergeRecord> records;  // fan-in records and the sentinel
  int failedInput = -1;              // an input whose reading failed in this group
  std::string failedPath;            // and its path, once the group is merged

  // The line being summed: the key of the records emitted last and their
  // total. Its text lies in the output's reserved room or, when there is
  // none, in pendingKey. None between groups.
  bool hasPending = false;
  bool pendingInOutput = false;
  char* pendingText = nullptr;
  std::string pendingKey;
  uint64_t pendingPrefix[2] = {0, 0};
  size_t pendingKeyLength = 0;
  size_t pendingWord1Length = 0;
  size_t pendingVerbatim = 0;  // the line's length while it can be copied as read
  int64_t pendingCount = 0;

  int intermediateCounter = 0;  // numbers the "output_N.tmp" files of a run

  // State of one listing.
  std::unique_ptr<text::TextWriter> listWriter;
  std::string listPath;
  bool listFirstEntry = true;
  bool outputExists = false;
};

}  // namespace ulo::merge

#endif  // ULO_MERGE_FILE_MERGER_H_
