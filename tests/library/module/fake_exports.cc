#include "library/module/fake_exports.h"

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

}  // namespace ulo::testing
