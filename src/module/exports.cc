// The library's exported functions: thin shells that check their arguments
// and hand the work to the subsystems.
#include "vorn_ulo.h"

#include "assoc/pair_filter.h"
#include "module/extension_module.h"

extern "C" {

ULO_BOOL ULO_CALL ULO_Filtrate(const char* inputPath, const char* outputPath, int32_t threshold) {
  if (inputPath == nullptr || outputPath == nullptr) return 0;
  return ulo::assoc::FilterPairs(inputPath, outputPath, threshold) ? 1 : 0;
}

// A null `outModule` has nowhere to receive an object, so none is made.
int32_t ULO_CALL VornModule_CreateInstance(int32_t, ExtensionModule** outModule) {
  if (outModule != nullptr) *outModule = new ulo::module::ExtensionModuleImpl();
  return 0;
}

}  // extern "C"
