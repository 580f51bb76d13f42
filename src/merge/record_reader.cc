#include "merge/record_reader.h"

namespace ulo::merge {

RecordReader::RecordReader(std::unique_ptr<platform::SequentialFile> file, size_t blockSize)
    : file(std::move(file)), capacity(blockSize < 64 ? 64 : blockSize) {
  buffer.reset(new char[capacity + kPadding]);
  std::memset(buffer.get(), 0, kPadding);
}

std::unique_ptr<RecordReader> RecordReader::Open(const std::string& path, int* error,
                                                 size_t blockSize) {
  auto file = platform::Env::Current()->OpenForRead(path, error);
  if (!file) return nullptr;
  return std::make_unique<RecordReader>(std::move(file), blockSize);
}

bool RecordReader::Refill() {
  if (begin > 0) {
    std::memmove(buffer.get(), buffer.get() + begin, end - begin);
    end -= begin;
    begin = 0;
  }
  if (end == capacity) {
    // One line fills the whole buffer: make room for the rest of it.
    size_t grown = capacity * 2;
    std::unique_ptr<char[]> larger(new char[grown + kPadding]);
    std::memcpy(larger.get(), buffer.get(), end);
    buffer = std::move(larger);
    capacity = grown;
  }
  int64_t got = file->Read(buffer.get() + end, capacity - end, &error);
  bool read = got >= 0;
  if (got == 0) atEof = true;
  if (got > 0) end += static_cast<size_t>(got);
  std::memset(buffer.get() + end, 0, kPadding);
  return read;
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
