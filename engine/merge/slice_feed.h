// A key range merged from its inputs in place: the library's merge reads
// whole files, so each slice of an input is handed to it as a named pipe
// that a thread of this process fills, instead of as a copy on disk.
#ifndef ULO_ENGINE_MERGE_SLICE_FEED_H_
#define ULO_ENGINE_MERGE_SLICE_FEED_H_

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ulo::engine {

struct Slice {
  std::string_view file;      // the whole input, mapped
  size_t begin = 0, end = 0;  // the slice: line starts (or the file's end)
  bool check = false;         // checked as pair lines on their way
  std::string path;           // the input's name, read by the feeder
};

class SliceFeed {
 public:
  SliceFeed();
  ~SliceFeed();
  SliceFeed(const SliceFeed&) = delete;
  SliceFeed& operator=(const SliceFeed&) = delete;

  // Makes a pipe for every slice in `dir`, named as its position, and starts
  // its feeder. False, with nothing made, where the file system has no named
  // pipes.
  bool Start(const std::string& dir, const std::vector<Slice>& slices);

  // Once the merge has returned: lets go of the pipes it did not read to the
  // end and waits for the feeders. The first problem a check found, as
  // "not pair lines: slice N: line M: WHAT", or what cut a slice short, as
  // "slice N of FILE: WHAT", or empty.
  std::string Finish();

 private:
  struct Feeder;
  std::vector<std::unique_ptr<Feeder>> feeders;
  std::atomic<bool> abandoned{false};
};

// Leads the failure of a range whose checked slices are no pair lines.
inline constexpr char kNotPairs[] = "not pair lines: ";

// The name of slice `i` in its range's directory.
std::string SliceName(size_t i);

// The first problem of `slice` as sorted pair lines, or empty.
std::string SliceProblem(const Slice& slice);

}  // namespace ulo::engine

#endif  // ULO_ENGINE_MERGE_SLICE_FEED_H_
