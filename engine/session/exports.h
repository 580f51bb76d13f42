// The library as the engine reaches it: the eight exports, handed over by
// whoever loaded the library (ulo with dlopen, Python with ctypes). The
// engine never links the library, so it works with any copy a host loads.
#ifndef ULO_ENGINE_SESSION_EXPORTS_H_
#define ULO_ENGINE_SESSION_EXPORTS_H_

#include <string>
#include <string_view>

#include "vorn_ulo.h"

namespace ulo::engine {

struct Exports {
  decltype(&ULO_Filtrate) filtrate = nullptr;
  decltype(&ULO_GetTopNWordSupportRec) getTopN = nullptr;
  decltype(&ULO_GetWordSupportRec) getSupport = nullptr;
  decltype(&ULO_MulMergeFile) mulMergeFile = nullptr;
  decltype(&ULO_Stat_AssociatedFreq) addPair = nullptr;
  decltype(&ULO_Stat_AssociatedFreq_Begin) begin = nullptr;
  decltype(&ULO_Stat_AssociatedFreq_End) end = nullptr;
  decltype(&VornModule_CreateInstance) createInstance = nullptr;

  // The name of the first export missing, or empty when all are there.
  std::string Missing() const;
  // Records the address of the export `name`; false for a name that is none
  // of the eight.
  bool Set(std::string_view name, void* address);
};

}  // namespace ulo::engine

#endif  // ULO_ENGINE_SESSION_EXPORTS_H_
