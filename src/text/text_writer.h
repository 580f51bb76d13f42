// Buffered writing of text files, with every write and the close checked.
#ifndef ULO_TEXT_TEXT_WRITER_H_
#define ULO_TEXT_TEXT_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace ulo::text {

// Writes text through a large buffer. In text mode on Windows every LF goes
// out as CR LF, as the C runtime's text streams write it. A failed write is
// remembered: later output is dropped and Close() reports false, so a file
// that could not be stored whole is never reported as written.
class TextWriter {
 public:
  static constexpr size_t kDefaultBufferSize = size_t{1} << 20;

  explicit TextWriter(std::unique_ptr<platform::WritableFile> file,
                      bool crlfLineEnds = platform::kTextModeWritesCrLf,
                      size_t bufferSize = kDefaultBufferSize);
  ~TextWriter();
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  // Opens `path` through Env::Current() for writing (created or emptied) or,
  // with `append`, for appending. Null with the system's code in `*error`.
  static std::unique_ptr<TextWriter> Open(const std::string& path, bool append, int* error,
                                          size_t bufferSize = kDefaultBufferSize);

  void Append(std::string_view text) {
    if (!crlf && text.size() <= capacity - used) {
      std::memcpy(buffer.get() + used, text.data(), text.size());
      used += text.size();
      return;
    }
    AppendSlow(text);
  }
  void Append(char c) {
    if (used == capacity || (crlf && c == '\n')) {
      AppendSlow(std::string_view(&c, 1));
      return;
    }
    buffer[used++] = c;
  }
  // Appends the decimal form of `value`, as "%lld" writes it.
  void AppendDecimal(int64_t value);

  // Room for `n` bytes at the end of the buffered text, for the caller to
  // fill and then Commit(): the way to add many small pieces at once. Null
  // when the bytes have to go through Append (text mode with CR LF, a failed
  // write, or more than the buffer holds).
  char* Reserve(size_t n) {
    if (crlf || error != 0 || closed || n > capacity) return nullptr;
    if (n > capacity - used && !Flush()) return nullptr;
    return buffer.get() + used;
  }
  // Keeps the first `n` bytes filled in since Reserve().
  void Commit(size_t n) { used += n; }

  // Writes out the buffered bytes; false once any write has failed.
  bool Flush();
  // Flushes and closes; false when any write or the close failed. Further
  // calls return the same result.
  bool Close();

  bool ok() const { return error == 0; }
  int errorCode() const { return error; }

 private:
  void AppendSlow(std::string_view text);
  void AppendRaw(const char* data, size_t n);

  std::unique_ptr<platform::WritableFile> file;
  std::unique_ptr<char[]> buffer;
  size_t capacity;
  size_t used = 0;
  bool crlf;
  bool closed = false;
  int error = 0;
};

// Writes `value` in decimal at `out` (room for 20 bytes) and returns the end.
char* FormatDecimal(int64_t value, char* out);

}  // namespace ulo::text

#endif  // ULO_TEXT_TEXT_WRITER_H_
