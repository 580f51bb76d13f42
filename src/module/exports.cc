// The library's exported functions: thin shells that check their arguments
// and hand the work to the subsystems.
#include "vorn_ulo.h"

#include "assoc/pair_filter.h"
#include "assoc/support_records.h"
#include "assoc/top_n_ranker.h"
#include "merge/file_merger.h"
#include "module/extension_module.h"
#include "pairstat/counting_run.h"

extern "C" {

ULO_BOOL ULO_CALL ULO_Filtrate(const char* inputPath, const char* outputPath, int32_t threshold) {
  if (inputPath == nullptr || outputPath == nullptr) return 0;
  return ulo::assoc::FilterPairs(inputPath, outputPath, threshold) ? 1 : 0;
}

ULO_BOOL ULO_CALL ULO_GetTopNWordSupportRec(const char* inputPath, const char* outputPath,
                                            int32_t n) {
  return ulo::assoc::GetTopNWordSupport(inputPath, outputPath, n) ? 1 : 0;
}

ULO_BOOL ULO_CALL ULO_GetWordSupportRec(const char* inputPath, const char* outputPath) {
  if (inputPath == nullptr || outputPath == nullptr) return 0;
  return ulo::assoc::WriteWordSupportRecords(inputPath, outputPath) ? 1 : 0;
}

int32_t ULO_CALL ULO_MulMergeFile(const char* inputDir, const char* outputPath) {
  if (inputDir == nullptr || outputPath == nullptr) return -1;
  ulo::merge::FileMerger merger(ulo::merge::FileMerger::kDefaultFanIn);
  return merger.MergeFiles(inputDir, outputPath);
}

ULO_BOOL ULO_CALL ULO_Stat_AssociatedFreq(const char* word1, const char* word2, int32_t count,
                                          int32_t oneWay) {
  return ulo::pairstat::CountPairInRun(word1, word2, count, oneWay) ? 1 : 0;
}

ULO_BOOL ULO_CALL ULO_Stat_AssociatedFreq_Begin(const char* workDir) {
  return ulo::pairstat::BeginCountingRun(workDir) ? 1 : 0;
}

int32_t ULO_CALL ULO_Stat_AssociatedFreq_End(void) { return ulo::pairstat::EndCountingRun(); }

// A null `outModule` has nowhere to receive an object, so none is made.
int32_t ULO_CALL VornModule_CreateInstance(int32_t, ExtensionModule** outModule) {
  if (outModule != nullptr) *outModule = new ulo::module::ExtensionModuleImpl();
  return 0;
}

}  // extern "C"
