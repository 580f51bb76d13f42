// The library's exported functions: thin shells that check their arguments
// and hand the work to the subsystems.
#include "vorn_ulo.h"

#include "assoc/pair_filter.h"
#include "assoc/support_records.h"
#include "assoc/top_n_ranker.h"

extern "C" {

ULO_BOOL ULO_CALL ULO_Filtrate(const char* inputPath, const char* outputPath, int32_t threshold) {
  if (inputPath == nullptr || outputPath == nullptr) return 0;
  return ulo::assoc::FilterPairs(inputPath, outputPath, threshold) ? 1 : 0;
}

ULO_BOOL ULO_CALL ULO_GetWordSupportRec(const char* inputPath, const char* outputPath) {
  if (inputPath == nullptr || outputPath == nullptr) return 0;
  return ulo::assoc::WriteWordSupportRecords(inputPath, outputPath) ? 1 : 0;
}

ULO_BOOL ULO_CALL ULO_GetTopNWordSupportRec(const char* inputPath, const char* outputPath,
                                            int32_t n) {
  return ulo::assoc::GetTopNWordSupport(inputPath, outputPath, n) ? 1 : 0;
}

}  // extern "C"
