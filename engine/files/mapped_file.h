// Files read through the page cache without a copy.
#ifndef ULO_ENGINE_FILES_MAPPED_FILE_H_
#define ULO_ENGINE_FILES_MAPPED_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace ulo::engine {

// A whole file mapped read-only; empty files map to an empty view.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&&) = delete;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // False with a sentence in `*error`.
  bool Open(const std::string& path, std::string* error);
  std::string_view text() const { return {data, size}; }

 private:
  const char* data = nullptr;
  size_t size = 0;
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_FILES_MAPPED_FILE_H_
