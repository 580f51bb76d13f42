// Placeholder until the statistics exports land, so that
// the library links; the integrator deletes this file when merging them.
#include "vorn_ulo.h"

extern "C" {

ULO_BOOL ULO_CALL ULO_GetTopNWordSupportRec(const char*, const char*, int32_t) {
  return 1;
}

ULO_BOOL ULO_CALL ULO_GetWordSupportRec(const char*, const char*) {
  return 0;
}

}  // extern "C"
