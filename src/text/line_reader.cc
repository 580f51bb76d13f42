#include "text/line_reader.h"

#include <cstring>

namespace ulo::text {

LineReader::LineReader(std::unique_ptr<platform::SequentialFile> file, size_t blockSize)
    : BlockBuffer(std::move(file), blockSize) {}

std::unique_ptr<LineReader> LineReader::Open(const std::string& path, int* error,
                                             size_t blockSize) {
  auto file = platform::Env::Current()->OpenForRead(path, error);
  if (!file) return nullptr;
  return std::make_unique<LineReader>(std::move(file), blockSize);
}

LineReader::Status LineReader::Next(std::string_view* line, size_t maxLength) {
  if (error != 0) return Status::kError;
  bool discarding = false;  // inside an over-long line, dropping its bytes
  size_t scanned = begin;   // buffer[begin, scanned) holds no LF
  for (;;) {
    if (scanned < end) {
      const void* hit = std::memchr(buffer.get() + scanned, '\n', end - scanned);
      if (hit != nullptr) {
        size_t lineEnd = static_cast<size_t>(static_cast<const char*>(hit) - buffer.get()) + 1;
        char* start = buffer.get() + begin;
        size_t length = lineEnd - begin;
        begin = lineEnd;
        if (discarding) return Status::kTooLong;
        if (length >= 2 && start[length - 2] == '\r') {
          start[length - 2] = '\n';
          --length;
        }
        if (length > maxLength) return Status::kTooLong;
        *line = std::string_view(start, length);
        return Status::kLine;
      }
      scanned = end;
    }
    // No LF among the buffered bytes. A CR LF end shrinks by one byte, so a
    // line is surely too long only beyond maxLength + 1 bytes.
    if (maxLength != kUnlimited && end - begin > maxLength + 1) {
      discarding = true;
      begin = scanned = end;
    }
    if (atEof) {
      if (discarding) {
        begin = end;  // the bytes read since the discard belong to the same line
        return Status::kTooLong;
      }
      if (begin == end) return Status::kEnd;
      char* start = buffer.get() + begin;
      size_t length = end - begin;
      begin = end;
      if (length > maxLength) return Status::kTooLong;
      *line = std::string_view(start, length);
      return Status::kLine;
    }
    size_t pending = end - begin;
    if (!Refill()) return Status::kError;
    scanned = begin + pending;
  }
}

}  // namespace ulo::text
