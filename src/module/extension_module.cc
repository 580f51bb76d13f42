#include "module/extension_module.h"

#include <cstring>
#include <string_view>

namespace ulo::module {

const CommandExports kLibraryExports = {
    &ULO_Stat_AssociatedFreq_Begin,
    &ULO_Stat_AssociatedFreq,
    &ULO_Stat_AssociatedFreq_End,
    &ULO_MulMergeFile,
    &ULO_Filtrate,
    &ULO_GetWordSupportRec,
};

// Reads an argument block front to back. The block has no length: each read
// trusts the host to have put the value there.
class ExtensionModuleImpl::Arguments {
 public:
  explicit Arguments(const char* block) : next(block) {}

  const char* String() {
    const char* text = next;
    next += std::strlen(text) + 1;
    return text;
  }

  // Little-endian and unaligned, whatever the machine.
  int32_t Int32() {
    unsigned char bytes[4];
    std::memcpy(bytes, next, sizeof bytes);
    next += sizeof bytes;
    uint32_t bits = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                    static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    int32_t value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  unsigned char Byte() { return static_cast<unsigned char>(*next++); }

 private:
  const char* next;
};

namespace {

constexpr size_t kSignatureOffset = 4;
constexpr char kSignature[3] = {'r', '!', '\0'};
constexpr size_t kNameOffset = 9;

}  // namespace

ExtensionModuleImpl::ExtensionModuleImpl(const CommandExports& exports) : exports(exports) {}

void ULO_METHOD ExtensionModuleImpl::Release() {
  delete this;
}

void ULO_METHOD ExtensionModuleImpl::ReservedA() {}

ULO_BOOL ULO_METHOD ExtensionModuleImpl::ReservedB() {
  return 1;
}

void ULO_METHOD ExtensionModuleImpl::ReservedC(int32_t) {}

ULO_BOOL ULO_METHOD ExtensionModuleImpl::ReservedD(int32_t) {
  return 1;
}

void ULO_METHOD ExtensionModuleImpl::ReservedE(int32_t) {}

void ULO_METHOD ExtensionModuleImpl::SetHostValue(int32_t value) {
  hostValue = value;
}

// `value` and `option` belong to the host's protocol and are not interpreted;
// `value` is not even read, so a null one does no harm.
int32_t ULO_METHOD ExtensionModuleImpl::Execute(const void* command, int32_t, const int32_t*,
                                                int32_t) {
  if (command == nullptr) return kStatusNoSignature;
  const char* bytes = static_cast<const char*>(command);
  if (std::memcmp(bytes + kSignatureOffset, kSignature, sizeof kSignature) != 0) {
    return kStatusNoSignature;
  }
  const char* name = bytes + kNameOffset;
  return Dispatch(name, name + std::strlen(name) + 1);
}

int32_t ExtensionModuleImpl::Dispatch(const char* name, const char* arguments) {
  struct Command {
    const char* name;
    int32_t (ExtensionModuleImpl::*run)(Arguments&);
  };
  // Matched in this order; the first equal name wins.
  static constexpr Command kCommands[] = {
      {"ULO_Stat_AssociatedFreq_Begin", &ExtensionModuleImpl::Begin},
      {"ULO_Stat_AssociatedFreq", &ExtensionModuleImpl::AddPair},
      {"ULO_Stat_AssociatedFreq_End", &ExtensionModuleImpl::End},
      {"ULO_MulMergeFile", &ExtensionModuleImpl::MergeFiles},
      {"ULO_Filtrate", &ExtensionModuleImpl::Filtrate},
      {"ULO_GetWordSupportRec", &ExtensionModuleImpl::SupportRecords},
  };
  std::string_view given(name);
  for (const Command& command : kCommands) {
    if (platform::MultiByteEqualNoCase(given, command.name)) {
      Arguments block(arguments);
      return (this->*command.run)(block);
    }
  }
  return kStatusUnknownCommand;
}

bool ExtensionModuleImpl::TakeBusyFlag() {
  for (int failed = 0;;) {
    if (platform::AtomicExchange(&busyFlag, 1) == 0) return true;
    platform::Env::Current()->SleepMilliseconds(kBusyWaitMilliseconds);
    if (++failed == kBusyWaitAttempts) return false;
  }
}

// The flag stays taken even when the export refuses: only End gives it back.
int32_t ExtensionModuleImpl::Begin(Arguments& arguments) {
  if (!TakeBusyFlag()) return kStatusBusyTimeout;
  const char* workDir = arguments.String();
  return exports.begin(workDir) != 0 ? kStatusOk : kStatusBeginRefused;
}

int32_t ExtensionModuleImpl::AddPair(Arguments& arguments) {
  if (platform::AtomicLoad(&busyFlag) == 0) return kStatusPairRefused;
  const char* word1 = arguments.String();
  const char* word2 = arguments.String();
  int32_t count = arguments.Int32();
  int32_t oneWay = arguments.Byte();
  return exports.addPair(word1, word2, count, oneWay) != 0 ? kStatusOk : kStatusPairRefused;
}

// The run is over whatever the export reports, so the flag is given back in
// any case; a final spill that could not be written is still reported.
int32_t ExtensionModuleImpl::End(Arguments&) {
  int32_t result = exports.end();
  platform::AtomicStore(&busyFlag, 0);
  return result != 0 ? kStatusOk : kStatusEndFailed;
}

int32_t ExtensionModuleImpl::MergeFiles(Arguments& arguments) {
  const char* inputDir = arguments.String();
  const char* outputPath = arguments.String();
  int32_t result;
  {
    platform::ScopedLock hold(commandLock);
    result = exports.mergeFiles(inputDir, outputPath);
  }
  return result == 0 ? kStatusOk : kStatusMergeFailed;
}

int32_t ExtensionModuleImpl::Filtrate(Arguments& arguments) {
  const char* inputPath = arguments.String();
  const char* outputPath = arguments.String();
  int32_t threshold = arguments.Int32();
  ULO_BOOL result;
  {
    platform::ScopedLock hold(commandLock);
    result = exports.filtrate(inputPath, outputPath, threshold);
  }
  return result != 0 ? kStatusOk : kStatusFilterFailed;
}

int32_t ExtensionModuleImpl::SupportRecords(Arguments& arguments) {
  const char* inputPath = arguments.String();
  const char* outputPath = arguments.String();
  ULO_BOOL result;
  {
    platform::ScopedLock hold(commandLock);
    result = exports.supportRecords(inputPath, outputPath);
  }
  return result != 0 ? kStatusOk : kStatusSupportFailed;
}

}  // namespace ulo::module
