// Placeholder until the counting, merge and statistics exports land, so that
// the library links; the integrator deletes this file when merging them.
#include "vorn_ulo.h"

extern "C" {

ULO_BOOL ULO_CALL ULO_GetTopNWordSupportRec(const char*, const char*, int32_t) {
  return 1;
}

ULO_BOOL ULO_CALL ULO_GetWordSupportRec(const char*, const char*) {
  return 0;
}

int32_t ULO_CALL ULO_MulMergeFile(const char*, const char*) {
  return -1;
}

ULO_BOOL ULO_CALL ULO_Stat_AssociatedFreq(const char*, const char*, int32_t, int32_t) {
  return 0;
}

ULO_BOOL ULO_CALL ULO_Stat_AssociatedFreq_Begin(const char*) {
  return 0;
}

int32_t ULO_CALL ULO_Stat_AssociatedFreq_End(void) {
  return 1;
}

}  // extern "C"
