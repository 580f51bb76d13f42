#include "assoc/pair_scanner.h"

#include <cstring>

namespace ulo::assoc {

PairScanner::PairScanner(std::unique_ptr<platform::SequentialFile> file,
                         const text::FieldLimits& limits, size_t blockSize)
    : file(std::move(file)),
      limits(limits),
      // Room for the longest line that may still be kept, and some.
      capacity(blockSize > limits.maxLine + 64 ? blockSize : limits.maxLine + 64) {
  buffer.reset(new char[capacity + kPadding]());
}

std::unique_ptr<PairScanner> PairScanner::Open(const char* path, const text::FieldLimits& limits,
                                               size_t blockSize) {
  int error = 0;
  auto file = platform::Env::Current()->OpenForRead(path, &error);
  if (!file) return nullptr;
  return std::make_unique<PairScanner>(std::move(file), limits, blockSize);
}

bool PairScanner::Refill(size_t* first, size_t* second, size_t* stop) {
  if (!discarding && end - lineStart > limits.maxLine + 1) discarding = true;
  if (atEof || failed) return false;
  // Keep the line begun, unless it is being dropped anyway.
  const size_t from = discarding ? end : lineStart;
  if (from > 0) {
    std::memmove(buffer.get(), buffer.get() + from, end - from);
    end -= from;
    scanned = end;
    lineStart = 0;
    for (size_t* mark : {first, second, stop}) {
      if (*mark != kNone) *mark = *mark >= from ? *mark - from : kNone;
    }
  }
  int error = 0;
  int64_t got = file->Read(buffer.get() + end, capacity - end, &error);
  if (got < 0) {
    failed = true;
    return false;
  }
  if (got == 0) {
    atEof = true;
    return false;
  }
  end += static_cast<size_t>(got);
  // Text hardly ever holds a NUL: knowing that spares the quick way a test.
  mayHoldNul = std::memchr(buffer.get(), '\0', end) != nullptr;
  return true;
}

}  // namespace ulo::assoc
