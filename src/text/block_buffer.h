// The buffer behind the line and record readers: a file read in large blocks.
#ifndef ULO_TEXT_BLOCK_BUFFER_H_
#define ULO_TEXT_BLOCK_BUFFER_H_

#include <cstddef>
#include <memory>

#include "platform/env.h"

namespace ulo::text {

// buffer[begin, end) holds the bytes read but not yet handed out. A line is
// never split: when one fills the whole buffer, the buffer doubles. With
// `padding`, that many zero bytes always follow the buffered ones, so that a
// scan may read past them in fixed steps and stop at a zero.
class BlockBuffer {
 protected:
  BlockBuffer(std::unique_ptr<platform::SequentialFile> file, size_t blockSize, size_t padding = 0);
  BlockBuffer(const BlockBuffer&) = delete;
  BlockBuffer& operator=(const BlockBuffer&) = delete;

  // Moves the unread bytes to the front and reads more behind them, growing
  // the buffer when they fill it; false on a read error (its code in
  // `error`), which leaves the buffered bytes as they were.
  bool Refill();

  std::unique_ptr<platform::SequentialFile> file;
  std::unique_ptr<char[]> buffer;
  size_t capacity;
  size_t padding;
  size_t begin = 0;
  size_t end = 0;
  bool atEof = false;
  int error = 0;
};

}  // namespace ulo::text

#endif  // ULO_TEXT_BLOCK_BUFFER_H_
