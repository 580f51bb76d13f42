#include "text/text_writer.h"

namespace ulo::text {

char* FormatDecimal(int64_t value, char* out) {
  uint64_t magnitude = static_cast<uint64_t>(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0 - magnitude;
  }
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0)
    *out++ = digits[--count];
  return out;
}

TextWriter::TextWriter(std::unique_ptr<platform::WritableFile> file, bool crlfLineEnds,
                       size_t bufferSize)
    : file(std::move(file)),
      buffer(new char[bufferSize < 64 ? 64 : bufferSize]),
      capacity(bufferSize < 64 ? 64 : bufferSize),
      crlf(crlfLineEnds) {}

TextWriter::~TextWriter() {
  Close();
}

std::unique_ptr<TextWriter> TextWriter::Open(const std::string& path, bool append, int* error,
                                             size_t bufferSize) {
  auto file = platform::Env::Current()->OpenForWrite(path, append, error);
  if (!file) return nullptr;
  return std::make_unique<TextWriter>(std::move(file), platform::kTextModeWritesCrLf, bufferSize);
}

void TextWriter::AppendDecimal(int64_t value) {
  char digits[24];
  char* stop = FormatDecimal(value, digits);
  Append(std::string_view(digits, static_cast<size_t>(stop - digits)));
}

void TextWriter::AppendRaw(const char* data, size_t n) {
  while (n > 0) {
    if (used == capacity && !Flush()) return;
    size_t room = capacity - used;
    size_t take = n < room ? n : room;
    std::memcpy(buffer.get() + used, data, take);
    used += take;
    data += take;
    n -= take;
  }
}

void TextWriter::AppendSlow(std::string_view text) {
  if (error != 0 || closed) return;
  if (!crlf) {
    AppendRaw(text.data(), text.size());
    return;
  }
  while (!text.empty()) {
    size_t lf = text.find('\n');
    if (lf == std::string_view::npos) {
      AppendRaw(text.data(), text.size());
      return;
    }
    AppendRaw(text.data(), lf);
    AppendRaw("\r\n", 2);
    text.remove_prefix(lf + 1);
  }
}

bool TextWriter::Flush() {
  if (error != 0) {
    used = 0;
    return false;
  }
  if (used > 0 && !closed) {
    if (!file->Write(buffer.get(), used, &error)) {
      if (error == 0) error = -1;
      used = 0;
      return false;
    }
    used = 0;
  }
  return true;
}

bool TextWriter::Close() {
  if (closed) return error == 0;
  Flush();
  int closeError = 0;
  if (!file->Close(&closeError) && error == 0) error = closeError != 0 ? closeError : -1;
  closed = true;
  return error == 0;
}

}  // namespace ulo::text
