#include "merge/record_reader.h"

namespace ulo::merge {

RecordReader::RecordReader(std::unique_ptr<platform::SequentialFile> file, size_t blockSize)
    : BlockBuffer(std::move(file), blockSize, kPadding) {}

std::unique_ptr<RecordReader> RecordReader::Open(const std::string& path, int* error,
                                                 size_t blockSize) {
  auto file = platform::Env::Current()->OpenForRead(path, error);
  if (!file) return nullptr;
  return std::make_unique<RecordReader>(std::move(file), blockSize);
}

RecordReader::Status RecordReader::NextSlow(MergeRecord* record) {
  if (error != 0) return Status::kError;
  for (;;) {
    if (TryUsualLine(record)) return Status::kRecord;
    // The next line, as LineReader hands it out.
    size_t scanned = begin;  // buffer[begin, scanned) holds no LF
    char* start = nullptr;
    size_t length = 0;
    for (;;) {
      const void* hit =
          scanned < end ? std::memchr(buffer.get() + scanned, '\n', end - scanned) : nullptr;
      if (hit != nullptr) {
        size_t lineEnd = static_cast<size_t>(static_cast<const char*>(hit) - buffer.get()) + 1;
        start = buffer.get() + begin;
        length = lineEnd - begin;
        begin = lineEnd;
        if (length >= 2 && start[length - 2] == '\r') --length;
        --length;  // the LF
        break;
      }
      scanned = end;
      if (atEof) {
        if (begin == end) return Status::kEnd;
        start = buffer.get() + begin;
        length = end - begin;
        begin = end;
        break;
      }
      size_t pending = end - begin;
      if (!Refill()) return Status::kError;
      scanned = begin + pending;
      // A usual line completed by the new bytes goes the quick way.
      if (TryUsualLine(record)) return Status::kRecord;
    }
    // A blank line or one with fewer than three fields is skipped.
    if (length > 0 && ParseMergeLine(std::string_view(start, length), record)) {
      record->lineLength = 0;
      return Status::kRecord;
    }
  }
}

}  // namespace ulo::merge
