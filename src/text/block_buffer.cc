#include "text/block_buffer.h"

#include <algorithm>
#include <cstring>

namespace ulo::text {

BlockBuffer::BlockBuffer(std::unique_ptr<platform::SequentialFile> file, size_t blockSize,
                         size_t padding)
    : file(std::move(file)), capacity(std::max<size_t>(blockSize, 64)), padding(padding) {
  buffer.reset(new char[capacity + padding]);
  std::memset(buffer.get(), 0, padding);
}

bool BlockBuffer::Refill() {
  if (begin > 0) {
    std::memmove(buffer.get(), buffer.get() + begin, end - begin);
    end -= begin;
    begin = 0;
  }
  if (end == capacity) {
    // One line fills the whole buffer: make room for the rest of it.
    size_t grown = capacity * 2;
    std::unique_ptr<char[]> larger(new char[grown + padding]);
    std::memcpy(larger.get(), buffer.get(), end);
    buffer = std::move(larger);
    capacity = grown;
  }
  int64_t got = file->Read(buffer.get() + end, capacity - end, &error);
  if (got == 0) atEof = true;
  if (got > 0) end += static_cast<size_t>(got);
  // The move above left old bytes behind the buffered ones, even when the
  // read failed.
  std::memset(buffer.get() + end, 0, padding);
  return got >= 0;
}

}  // namespace ulo::text
