/* A host in C that links Vorn_ULO.dll through its import library, as MinGW
 * hosts may instead of LoadLibraryA. Built with the Windows tests so that
 * the build fails if the header stops being C or an export stops resolving
 * with its calling convention; scripts/check-dll-exports --importer reads its
 * import table.
 *
 * Given a scratch directory it also runs as a host would, and the 64-bit
 * build's tests run it under Wine: two counting runs, their spill files
 * merged, the result filtered by export and by a command through the
 * extension object's table of operations, the statistics written. It exits
 * with 0 when every result is as expected, else with the number of the
 * failed step. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "vorn_ulo.h"

/* Whether the file at `path`, read as text, holds exactly `expected`. */
static int HoldsText(const char* path, const char* expected) {
  char text[4096];
  size_t length;
  FILE* file = fopen(path, "r");
  if (file == NULL) return 0;
  length = fread(text, 1, sizeof text - 1, file);
  fclose(file);
  text[length] = '\0';
  return strcmp(text, expected) == 0;
}

/* Whether the file at `path` exists and is not empty. */
static int HasText(const char* path) {
  int c;
  FILE* file = fopen(path, "r");
  if (file == NULL) return 0;
  c = fgetc(file);
  fclose(file);
  return c != EOF;
}

int main(int argc, char** argv) {
  char spill[512], one[512], two[512], merged[512], kept[512], support[512], topN[512];
  char command[1024];
  size_t at = 9;
  int32_t value = 0;
  ExtensionModule* module = 0;
  if (argc != 2 || strlen(argv[1]) > 400) {
    fprintf(stderr, "usage: %s SCRATCH_DIR\n", argv[0]);
    return 2;
  }
  sprintf(spill, "%s\\spill", argv[1]);
  sprintf(one, "%s\\one", spill);
  sprintf(two, "%s\\two", spill);
  sprintf(merged, "%s\\merged.txt", argv[1]);
  sprintf(kept, "%s\\kept.txt", argv[1]);
  sprintf(support, "%s\\support.txt", argv[1]);
  sprintf(topN, "%s\\topn.txt", argv[1]);

  CreateDirectoryA(argv[1], NULL);
  CreateDirectoryA(spill, NULL);
  CreateDirectoryA(one, NULL);
  CreateDirectoryA(two, NULL);
  if (!ULO_Stat_AssociatedFreq_Begin(one)) return 3;
  if (!ULO_Stat_AssociatedFreq("a", "b", 2, 0)) return 4;
  if (!ULO_Stat_AssociatedFreq_Begin(two)) return 5; /* ends the first run */
  if (!ULO_Stat_AssociatedFreq("a", "b", 3, 1)) return 6;
  if (ULO_Stat_AssociatedFreq_End() != 1) return 7;
  if (ULO_MulMergeFile(spill, merged) != 0) return 8;
  if (!HoldsText(merged, "a\tb\t5\nb\ta\t2\n")) return 9;
  if (!ULO_Filtrate(merged, kept, 3)) return 10;
  if (!HoldsText(kept, "5\ta\tb\n")) return 11;
  if (!ULO_GetWordSupportRec(merged, support) || !HasText(support)) return 12;
  if (!ULO_GetTopNWordSupportRec(merged, topN, 5) || !HasText(topN)) return 13;

  /* The same filter as a command, through the table of operations. */
  if (VornModule_CreateInstance(0, &module) != 0 || module == 0) return 15;
  memset(command, 0, sizeof command);
  command[4] = 'r';
  command[5] = '!';
  strcpy(command + at, "ulo_filtrate");
  at += strlen(command + at) + 1;
  strcpy(command + at, merged);
  at += strlen(merged) + 1;
  strcpy(command + at, kept);
  at += strlen(kept) + 1;
  command[at] = 1; /* threshold 1, little-endian */
  if (module->vtbl->Execute(ULO_SELF(module), command, 0, &value, 0) != 0) return 16;
  module->vtbl->Release(ULO_SELF(module));
  if (!HoldsText(kept, "5\ta\tb\n2\tb\ta\n")) return 17;
  return 0;
}
