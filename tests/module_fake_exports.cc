#include "module_fake_exports.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ulo::testing {
namespace {

std::unique_ptr<FakeExports> fakes = std::make_unique<FakeExports>();

void RunHook(const std::string& name) {
  if (Fakes().whileRunning) Fakes().whileRunning(name);
}

ULO_BOOL ULO_CALL FakeBegin(const char* workDir) {
  Fakes().Record({"begin", {workDir}});
  return Fakes().beginResult;
}

ULO_BOOL ULO_CALL FakeAddPair(const char* word1, const char* word2, int32_t count, int32_t oneWay) {
  Fakes().Record({"addPair", {word1, word2}, count, oneWay});
  if (*word1 == '\0' || *word2 == '\0') return 0;
  return Fakes().addPairResult;
}

int32_t ULO_CALL FakeEnd() {
  Fakes().Record({"end", {}});
  return Fakes().endResult;
}

int32_t ULO_CALL FakeMerge(const char* inputDir, const char* outputPath) {
  Fakes().Record({"merge", {inputDir, outputPath}});
  RunHook("merge");
  return Fakes().mergeResult;
}

ULO_BOOL ULO_CALL FakeFilter(const char* inputPath, const char* outputPath, int32_t threshold) {
  Fakes().Record({"filter", {inputPath, outputPath}, threshold});
  RunHook("filter");
  return Fakes().filterResult;
}

ULO_BOOL ULO_CALL FakeSupport(const char* inputPath, const char* outputPath) {
  Fakes().Record({"support", {inputPath, outputPath}});
  RunHook("support");
  return Fakes().supportResult;
}

}  // namespace

const module::CommandExports kFakeExports = {
    &FakeBegin, &FakeAddPair, &FakeEnd, &FakeMerge, &FakeFilter, &FakeSupport,
};

std::vector<FakeCall> FakeExports::Calls() {
  std::lock_guard<std::mutex> hold(mutex);
  return calls;
}

void FakeExports::Record(FakeCall call) {
  std::lock_guard<std::mutex> hold(mutex);
  calls.push_back(std::move(call));
}

FakeExports& Fakes() {
  return *fakes;
}

void ResetFakes() {
  fakes = std::make_unique<FakeExports>();
}

ModulePtr MakeFakeModule() {
  return ModulePtr(new module::ExtensionModuleImpl(kFakeExports));
}

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

}  // namespace ulo::testing
