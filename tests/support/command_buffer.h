// Command buffers for the extension object's Execute, as a host packs them.
#ifndef ULO_TESTS_SUPPORT_COMMAND_BUFFER_H_
#define ULO_TESTS_SUPPORT_COMMAND_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vorn_ulo.h"

namespace ulo::testing {

// A header whose unread bytes are junk, the signature, the name and the
// argument block.
class CommandBuffer {
 public:
  explicit CommandBuffer(std::string_view name);
  CommandBuffer& String(std::string_view text);
  CommandBuffer& Int32(int32_t value);  // little-endian
  CommandBuffer& Byte(unsigned char value);
  // Overwrites one byte (to spoil the signature).
  CommandBuffer& Set(size_t offset, char value);

  // Executes the command from a heap block of exactly these bytes, so that a
  // read beyond the block trips AddressSanitizer; also checks that the
  // module left the block and the value it was handed as they were.
  int32_t SendTo(ExtensionModule* module) const;
  const std::string& Bytes() const { return bytes; }

 private:
  std::string bytes;
};

// The six commands, packed as a host packs them.
namespace commands {
CommandBuffer Begin(std::string_view dir);
CommandBuffer AddPair(std::string_view word1, std::string_view word2, int32_t count,
                      unsigned char oneWay = 1);
CommandBuffer End();
CommandBuffer Merge(std::string_view source, std::string_view output);
CommandBuffer Filter(std::string_view input, std::string_view output, int32_t threshold);
CommandBuffer Support(std::string_view input, std::string_view output);
}  // namespace commands

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_COMMAND_BUFFER_H_
