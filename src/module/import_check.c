/* A host in C that links Vorn_ULO.dll through its import library, as MinGW
 * hosts may instead of LoadLibraryA. Built with the Windows library so that
 * the build fails if the header stops being C or an export stops resolving
 * with its calling convention; scripts/check-dll-exports --importer reads its
 * import table. It does its work only when given paths. */
#include <stdio.h>

#include "vorn_ulo.h"

int main(int argc, char** argv) {
  ExtensionModule* module = 0;
  if (argc != 4) {
    fprintf(stderr, "usage: %s PAIRS_DIR MERGED_FILE FILTERED_FILE\n", argv[0]);
    return 2;
  }
  if (!ULO_Stat_AssociatedFreq_Begin(argv[1])) return 1;
  ULO_Stat_AssociatedFreq("a", "b", 1, 0);
  ULO_Stat_AssociatedFreq_End();
  if (ULO_MulMergeFile(argv[1], argv[2]) != 0) return 1;
  if (!ULO_Filtrate(argv[2], argv[3], 1)) return 1;
  ULO_GetWordSupportRec(argv[2], argv[3]);
  ULO_GetTopNWordSupportRec(argv[2], argv[3], 5);
  return VornModule_CreateInstance(0, &module);
}
