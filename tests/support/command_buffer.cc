#include "support/command_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace ulo::testing {

CommandBuffer::CommandBuffer(std::string_view name)
    : bytes(
          "\xDE\xAD\xBE\xEF"
          "r!",
          6) {
  bytes.push_back('\0');
  bytes.append("\x7F\x01", 2);
  String(name);
}

CommandBuffer& CommandBuffer::String(std::string_view text) {
  bytes.append(text);
  bytes.push_back('\0');
  return *this;
}

CommandBuffer& CommandBuffer::Int32(int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<char>(bits >> shift));
  return *this;
}

CommandBuffer& CommandBuffer::Byte(unsigned char value) {
  bytes.push_back(static_cast<char>(value));
  return *this;
}

CommandBuffer& CommandBuffer::Set(size_t offset, char value) {
  bytes.at(offset) = value;
  return *this;
}

int32_t CommandBuffer::SendTo(ExtensionModule* module) const {
  std::unique_ptr<char[]> block(new char[bytes.size()]);
  std::memcpy(block.get(), bytes.data(), bytes.size());
  int32_t value = 0x5A5A5A5A;
  int32_t status = module->Execute(block.get(), 0, &value, 0);
  EXPECT_EQ(std::string(block.get(), bytes.size()), bytes) << "the module wrote into the buffer";
  EXPECT_EQ(value, 0x5A5A5A5A) << "the module wrote through the value pointer";
  return status;
}

namespace commands {

CommandBuffer Begin(std::string_view dir) {
  return CommandBuffer("ULO_Stat_AssociatedFreq_Begin").String(dir);
}
CommandBuffer AddPair(std::string_view word1, std::string_view word2, int32_t count,
                      unsigned char oneWay) {
  return CommandBuffer("ULO_Stat_AssociatedFreq")
      .String(word1)
      .String(word2)
      .Int32(count)
      .Byte(oneWay);
}
CommandBuffer End() {
  return CommandBuffer("ULO_Stat_AssociatedFreq_End");
}
CommandBuffer Merge(std::string_view source, std::string_view output) {
  return CommandBuffer("ULO_MulMergeFile").String(source).String(output);
}
CommandBuffer Filter(std::string_view input, std::string_view output, int32_t threshold) {
  return CommandBuffer("ULO_Filtrate").String(input).String(output).Int32(threshold);
}
CommandBuffer Support(std::string_view input, std::string_view output) {
  return CommandBuffer("ULO_GetWordSupportRec").String(input).String(output);
}

}  // namespace commands
}  // namespace ulo::testing
