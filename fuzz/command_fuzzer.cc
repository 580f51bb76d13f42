// The extension object's Execute on fuzzed command buffers, a few in a row
// on one object, over the protocol tests' stand-in exports. Each buffer is a
// heap block of the fuzzer's bytes followed by a few NULs: a command lacks its
// terminators at most up to them, and reading past the block trips
// AddressSanitizer. The statuses, the arguments handed over and the busy
// flag must follow the command protocol.
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "library/module/fake_exports.h"
#include "module/extension_module.h"

namespace ulo::fuzz {
namespace {

// The NULs behind the fuzzer's bytes: room for the longest argument block
// that an unterminated command may still reach (two empty strings, a count,
// a flag) and the name's own terminator.
constexpr size_t kPadding = 16;

bool SameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The argument block read the plain way.
class Block {
 public:
  explicit Block(const char* at) : at(at) {}
  std::string String() {
    std::string text(at);
    at += text.size() + 1;
    return text;
  }
  int32_t Int32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= static_cast<uint32_t>(static_cast<unsigned char>(*at++)) << (8 * i);
    return static_cast<int32_t>(value);
  }
  int32_t Byte() { return static_cast<unsigned char>(*at++); }

 private:
  const char* at;
};

}  // namespace
}  // namespace ulo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ulo::fuzz;
  using namespace ulo::module;
  using ulo::testing::Fakes;
  // What each command hands its export (so many strings, then a count or
  // threshold, then a flag) and its status when the export says no.
  static const struct {
    const char* name;
    std::string_view exportName;
    int strings;
    bool number, flag;
    int32_t refused;
  } kCommands[] = {
      {"ULO_Stat_AssociatedFreq_Begin", "begin", 1, false, false, kStatusBeginRefused},
      {"ULO_Stat_AssociatedFreq", "addPair", 2, true, true, kStatusPairRefused},
      {"ULO_Stat_AssociatedFreq_End", "end", 0, false, false, kStatusEndFailed},
      {"ULO_MulMergeFile", "merge", 2, false, false, kStatusMergeFailed},
      {"ULO_Filtrate", "filter", 2, true, false, kStatusFilterFailed},
      {"ULO_GetWordSupportRec", "support", 2, false, false, kStatusSupportFailed},
  };
  Bytes bytes(data, size);
  std::vector<std::string_view> commands = Split(bytes.Rest(), "\xFE\xFF");
  if (commands.size() > 16) commands.resize(16);

  MemoryEnv env;  // a Begin that waits sleeps not at all
  ulo::platform::ScopedEnvOverride use(&env);
  ulo::testing::ModulePtr module = ulo::testing::MakeFakeModule();
  bool busy = false;  // the flag as the protocol has it
  for (std::string_view command : commands) {
    std::unique_ptr<char[]> block(new char[command.size() + kPadding]());
    std::memcpy(block.get(), command.data(), command.size());
    // Answers follow the bytes, so that every status comes up.
    const bool yes = command.size() % 3 != 0;
    ulo::testing::ResetFakes();
    Fakes().beginResult = Fakes().addPairResult = Fakes().endResult = yes;
    Fakes().filterResult = Fakes().supportResult = yes;
    Fakes().mergeResult = yes ? 0 : -8;
    int32_t value = 0;
    int32_t status = module->Execute(block.get(), 0, &value, 0);
    std::vector<ulo::testing::FakeCall> calls = Fakes().Calls();

    if (std::memcmp(block.get() + 4, "r!", 3) != 0) {
      Check(status == kStatusNoSignature && calls.empty(), "buffer without signature");
      continue;
    }
    const char* name = block.get() + 9;
    Block arguments(name + std::strlen(name) + 1);
    const auto* matched = std::begin(kCommands);
    while (matched != std::end(kCommands) && !SameNameNoCase(name, matched->name))
      ++matched;
    if (matched == std::end(kCommands)) {
      Check(status == kStatusUnknownCommand && calls.empty(), "unknown command");
      continue;
    }
    if (matched->exportName == "begin" && busy) {
      Check(status == kStatusBusyTimeout && calls.empty(), "Begin while busy");
      continue;
    }
    if (matched->exportName == "addPair" && !busy) {
      Check(status == kStatusPairRefused && calls.empty(), "pair-add without a run");
      continue;
    }
    busy = matched->exportName == "begin" || (busy && matched->exportName != "end");
    Check(calls.size() == 1 && calls[0].exportName == matched->exportName,
          "the command calls its export");
    const ulo::testing::FakeCall& call = calls[0];
    for (int i = 0; i < matched->strings; ++i)
      CheckEqual(call.strings[i], arguments.String(), "a string argument");
    if (matched->number) Check(call.number == arguments.Int32(), "count or threshold");
    if (matched->flag) Check(call.flag == arguments.Byte(), "flag");
    // The pair-add stand-in refuses an empty word, as the real export does.
    const bool emptyWord = matched->exportName == "addPair" &&
                           (call.strings[0].empty() || call.strings[1].empty());
    Check(status == (yes && !emptyWord ? kStatusOk : matched->refused), "status");
  }
  return 0;
}
