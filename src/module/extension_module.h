// The extension object behind VornModule_CreateInstance: checks a command
// buffer, unpacks its arguments, calls the matching export and turns its
// result into a status. Internal to the library.
#ifndef ULO_MODULE_EXTENSION_MODULE_H_
#define ULO_MODULE_EXTENSION_MODULE_H_

#include <cstdint>

#include "platform/env.h"
#include "vorn_ulo.h"

namespace ulo::module {

// The six exports that commands reach. The library's objects use
// kLibraryExports; tests build objects over fakes.
struct CommandExports {
  ULO_BOOL(ULO_CALL* begin)(const char* workDir);
  ULO_BOOL(ULO_CALL* addPair)(const char* word1, const char* word2, int32_t count, int32_t oneWay);
  int32_t(ULO_CALL* end)();
  int32_t(ULO_CALL* mergeFiles)(const char* inputDir, const char* outputPath);
  ULO_BOOL(ULO_CALL* filtrate)(const char* inputPath, const char* outputPath, int32_t threshold);
  ULO_BOOL(ULO_CALL* supportRecords)(const char* inputPath, const char* outputPath);
};

extern const CommandExports kLibraryExports;

// Statuses of Execute (the public header lists them for hosts).
constexpr int32_t kStatusOk = ULO_STATUS_OK;
constexpr int32_t kStatusNoSignature = ULO_STATUS_NO_SIGNATURE;
constexpr int32_t kStatusUnknownCommand = ULO_STATUS_UNKNOWN_COMMAND;
constexpr int32_t kStatusBeginRefused = ULO_STATUS_BEGIN_REFUSED;
constexpr int32_t kStatusPairRefused = ULO_STATUS_PAIR_REFUSED;
constexpr int32_t kStatusEndFailed = ULO_STATUS_END_FAILED;
constexpr int32_t kStatusMergeFailed = ULO_STATUS_MERGE_FAILED;
constexpr int32_t kStatusFilterFailed = ULO_STATUS_FILTER_FAILED;
constexpr int32_t kStatusSupportFailed = ULO_STATUS_SUPPORT_FAILED;
constexpr int32_t kStatusBusyTimeout = ULO_STATUS_BUSY_TIMEOUT;

// A Begin command waiting for the run before it: attempts one second apart.
constexpr int kBusyWaitMilliseconds = 1000;
constexpr int kBusyWaitAttempts = 3000;

class ExtensionModuleImpl final : public ::ExtensionModule {
 public:
  explicit ExtensionModuleImpl(const CommandExports& exports = kLibraryExports);
  ExtensionModuleImpl(const ExtensionModuleImpl&) = delete;
  ExtensionModuleImpl& operator=(const ExtensionModuleImpl&) = delete;

  void ULO_METHOD Release() override;
  void ULO_METHOD ReservedA() override;
  int32_t ULO_METHOD Execute(const void* command, int32_t unused, const int32_t* value,
                             int32_t option) override;
  ULO_BOOL ULO_METHOD ReservedB() override;
  void ULO_METHOD ReservedC(int32_t unused) override;
  ULO_BOOL ULO_METHOD ReservedD(int32_t unused) override;
  void ULO_METHOD ReservedE(int32_t unused) override;
  void ULO_METHOD SetHostValue(int32_t value) override;

  // What the host last passed to SetHostValue (0 before that).
  int32_t HostValue() const { return hostValue; }

 private:
  class Arguments;

  // Only Release ends the object.
  ~ExtensionModuleImpl() = default;

  int32_t Dispatch(const char* name, const char* arguments);
  int32_t Begin(Arguments& arguments);
  int32_t AddPair(Arguments& arguments);
  int32_t End(Arguments& arguments);
  int32_t MergeFiles(Arguments& arguments);
  int32_t Filtrate(Arguments& arguments);
  int32_t SupportRecords(Arguments& arguments);
  // Takes busyFlag, waiting for the End of the run before; false on time-out.
  bool TakeBusyFlag();

  // 1 from a Begin command until the End command of its run.
  volatile int32_t busyFlag = 0;
  int32_t hostValue = 0;
  // Keeps merge, filter and support-record commands from overlapping.
  platform::RecursiveLock commandLock;
  const CommandExports exports;
};

}  // namespace ulo::module

#endif  // ULO_MODULE_EXTENSION_MODULE_H_
