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

// Statuses of Execute.
constexpr int32_t kStatusOk = 0;
constexpr int32_t kStatusNoSignature = -1100;
constexpr int32_t kStatusUnknownCommand = -4110;
constexpr int32_t kStatusBeginRefused = -4350;
constexpr int32_t kStatusPairRefused = -4351;
constexpr int32_t kStatusEndFailed = -4352;
constexpr int32_t kStatusMergeFailed = -4353;
constexpr int32_t kStatusFilterFailed = -4354;
constexpr int32_t kStatusSupportFailed = -4355;
constexpr int32_t kStatusBusyTimeout = -9001;

// A Begin command waiting for the run before it: attempts one second apart.
constexpr int kBusyWaitMilliseconds = 1000;
constexpr int kBusyWaitAttempts = 3000;

class ExtensionModuleImpl final : public ::ExtensionModule {
 public:
  explicit ExtensionModuleImpl(const CommandExports& exports = kLibraryExports);
  ExtensionModuleImpl(const ExtensionModuleImpl&) = delete;
  ExtensionModuleImpl& operator=(const ExtensionModuleImpl&) = delete;

  void ULO_CALL Release() override;
  void ULO_CALL ReservedA() override;
  int32_t ULO_CALL Execute(const void* command, int32_t unused, const int32_t* value,
                           int32_t option) override;
  ULO_BOOL ULO_CALL ReservedB() override;
  void ULO_CALL ReservedC(int32_t unused) override;
  ULO_BOOL ULO_CALL ReservedD(int32_t unused) override;
  void ULO_CALL ReservedE(int32_t unused) override;
  void ULO_CALL SetHostValue(int32_t value) override;

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
