// Buffered reading of text files line by line.
#ifndef ULO_TEXT_LINE_READER_H_
#define ULO_TEXT_LINE_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/env.h"
#include "text/block_buffer.h"

namespace ulo::text {

// Reads whole lines in large blocks. A line is handed out with its LF; a CR
// LF line end reads as LF, so files written in text mode on Windows read the
// same everywhere. The last line of a file may lack its LF. A line is never
// split, whatever its length: readers with a length limit get the over-long
// line reported as a whole and skipped.
class LineReader : private BlockBuffer {
 public:
  enum class Status {
    kLine,     // *line holds the next line
    kTooLong,  // the next line exceeded maxLength and was consumed unread
    kEnd,      // no further line
    kError,    // the file could not be read; errorCode() tells why
  };

  static constexpr size_t kDefaultBlockSize = size_t{1} << 20;
  static constexpr size_t kUnlimited = SIZE_MAX;

  explicit LineReader(std::unique_ptr<platform::SequentialFile> file,
                      size_t blockSize = kDefaultBlockSize);

  // Opens `path` through Env::Current(); null with the system's code in
  // `*error` when it cannot be opened.
  static std::unique_ptr<LineReader> Open(const std::string& path, int* error,
                                          size_t blockSize = kDefaultBlockSize);

  // The next line. The view stays valid until the next call. A line whose
  // length, its LF included, exceeds `maxLength` is consumed up to and
  // including its LF and reported as kTooLong.
  Status Next(std::string_view* line, size_t maxLength = kUnlimited);

  int errorCode() const { return error; }
};

}  // namespace ulo::text

#endif  // ULO_TEXT_LINE_READER_H_
