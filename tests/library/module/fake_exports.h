// Stand-ins for the six exports that extension-object commands reach: they
// record what each command handed over and answer what the test chose, so
// the command protocol can be checked apart from the real operations.
#ifndef ULO_TESTS_MODULE_FAKE_EXPORTS_H_
#define ULO_TESTS_MODULE_FAKE_EXPORTS_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "module/extension_module.h"
#include "platform/env.h"
#include "support/command_buffer.h"
#include "vorn_ulo.h"

namespace ulo::testing {

// One call of a fake export: which one, its strings, its number (count or
// threshold) and its flag, in the order the export takes them.
struct FakeCall {
  std::string exportName;  // "begin", "addPair", "end", "merge", "filter", "support"
  std::vector<std::string> strings;
  int32_t number = 0;
  int32_t flag = 0;
};

struct FakeExports {
  // Answers. addPair also refuses an empty word, as the real export does.
  ULO_BOOL beginResult = 1;
  ULO_BOOL addPairResult = 1;
  int32_t endResult = 1;
  int32_t mergeResult = 0;
  ULO_BOOL filterResult = 1;
  ULO_BOOL supportResult = 1;
  // Runs inside the merge, filter and support fakes (with their export name)
  // before they answer; may block or throw.
  std::function<void(const std::string&)> whileRunning;

  std::vector<FakeCall> Calls();
  void Record(FakeCall call);

 private:
  std::mutex mutex;
  std::vector<FakeCall> calls;
};

// Counts sleeps instead of sleeping, and lets a test act on each one.
class FakeSleepEnv : public platform::EnvWrapper {
 public:
  FakeSleepEnv() : EnvWrapper(platform::Env::Default()) {}

  void SleepMilliseconds(int milliseconds) override {
    if (milliseconds != module::kBusyWaitMilliseconds) wrongLength = true;
    ++sleeps;
    if (onSleep) onSleep();
  }

  std::atomic<int> sleeps{0};
  std::atomic<bool> wrongLength{false};
  std::function<void()> onSleep;
};

// The fakes' state, made afresh by ResetFakes().
FakeExports& Fakes();
void ResetFakes();
extern const module::CommandExports kFakeExports;

// An extension object over the fakes, ended with Release.
struct ReleaseModule {
  void operator()(ExtensionModule* module) const { module->Release(); }
};
using ModulePtr = std::unique_ptr<ExtensionModule, ReleaseModule>;
ModulePtr MakeFakeModule();

// An object over freshly reset fakes, its waits counted by a fake sleep.
class FakeModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFakes(); }

  // The fakes called so far, in order.
  std::vector<std::string> CalledExports() {
    std::vector<std::string> names;
    for (const FakeCall& call : Fakes().Calls())
      names.push_back(call.exportName);
    return names;
  }
  int CallsOf(const std::string& exportName) {
    const std::vector<std::string> names = CalledExports();
    return static_cast<int>(std::count(names.begin(), names.end(), exportName));
  }

  FakeSleepEnv env;
  platform::ScopedEnvOverride useEnv{&env};
  ModulePtr module = MakeFakeModule();
};

}  // namespace ulo::testing

#endif  // ULO_TESTS_MODULE_FAKE_EXPORTS_H_
