/* A Windows host in C that loads Vorn_ULO.dll at run time, as most hosts do:
 * LoadLibraryA, every export found by name and by ordinal, the extension
 * object's operations called through its table with ULO_SELF. It runs the
 * whole pipeline (two counting runs, one through commands and one through
 * exports, the merge, the filter both ways, the support records, the top-N
 * ranking) in the scratch directory it is given and checks every file the
 * library writes, byte for byte. Exits with 0, or with the number of the
 * first failed check after printing it. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "vorn_ulo.h"

typedef ULO_BOOL(ULO_CALL* FiltrateFn)(const char*, const char*, int32_t);
typedef ULO_BOOL(ULO_CALL* TopNFn)(const char*, const char*, int32_t);
typedef ULO_BOOL(ULO_CALL* SupportFn)(const char*, const char*);
typedef int32_t(ULO_CALL* MergeFn)(const char*, const char*);
typedef ULO_BOOL(ULO_CALL* AddPairFn)(const char*, const char*, int32_t, int32_t);
typedef ULO_BOOL(ULO_CALL* BeginFn)(const char*);
typedef int32_t(ULO_CALL* EndFn)(void);
typedef int32_t(ULO_CALL* CreateFn)(int32_t, ExtensionModule**);

/* GB2312: moon, bright, mountain. */
#define MOON "\xD4\xC2"
#define BRIGHT "\xC3\xF7"
#define MOUNTAIN "\xC9\xBD"

static const char* const kNames[8] = {"ULO_Filtrate",
                                      "ULO_GetTopNWordSupportRec",
                                      "ULO_GetWordSupportRec",
                                      "ULO_MulMergeFile",
                                      "ULO_Stat_AssociatedFreq",
                                      "ULO_Stat_AssociatedFreq_Begin",
                                      "ULO_Stat_AssociatedFreq_End",
                                      "VornModule_CreateInstance"};

static int failed(int step, const char* what) {
  fprintf(stderr, "windows_load_host: step %d failed: %s\n", step, what);
  return step;
}

/* Whether the file holds `text` with every LF written as CR LF, as the
 * library's text files are on Windows. */
static int Holds(const char* path, const char* text) {
  static char bytes[1 << 16];
  char expected[sizeof bytes];
  size_t length, at = 0;
  FILE* file = fopen(path, "rb");
  if (file == NULL) return 0;
  length = fread(bytes, 1, sizeof bytes, file);
  fclose(file);
  for (; *text != '\0' && at + 2 < sizeof expected; ++text) {
    if (*text == '\n') expected[at++] = '\r';
    expected[at++] = *text;
  }
  return length == at && memcmp(bytes, expected, at) == 0;
}

/* A command buffer: the signature, the name, then the arguments. */
typedef struct Command {
  char bytes[2048];
  size_t length;
} Command;

static Command* Start(Command* command, const char* name) {
  memset(command->bytes, 0, sizeof command->bytes);
  command->bytes[4] = 'r';
  command->bytes[5] = '!';
  command->length = 9;
  strcpy(command->bytes + command->length, name);
  command->length += strlen(name) + 1;
  return command;
}

static Command* Text(Command* command, const char* text) {
  strcpy(command->bytes + command->length, text);
  command->length += strlen(text) + 1;
  return command;
}

static Command* Int32(Command* command, int32_t value) {
  uint32_t bits = (uint32_t)value;
  int shift;
  for (shift = 0; shift < 32; shift += 8)
    command->bytes[command->length++] = (char)(bits >> shift);
  return command;
}

static Command* Flag(Command* command, char value) {
  command->bytes[command->length++] = value;
  return command;
}

static int32_t Send(ExtensionModule* module, const Command* command) {
  int32_t value = 0;
  return module->vtbl->Execute(ULO_SELF(module), command->bytes, 0, &value, 0);
}

static int32_t SendPair(ExtensionModule* module, const char* a, const char* b, int32_t count,
                        char oneWay) {
  Command command;
  return Send(
      module,
      Flag(Int32(Text(Text(Start(&command, "ULO_Stat_AssociatedFreq"), a), b), count), oneWay));
}

static char gPath[8][300];
static const char* In(const char* dir, const char* name, int slot) {
  sprintf(gPath[slot], "%s\\%s", dir, name);
  return gPath[slot];
}

int main(int argc, char** argv) {
  void* byName[8];
  void* byOrdinal[8];
  HMODULE library;
  ExtensionModule* module = NULL;
  Command command;
  const char* dir;
  const char* spill;
  const char* more;
  const char* pairs;
  int i;
  setvbuf(stdout, NULL, _IONBF, 0);
  if (argc != 2 || strlen(argv[1]) > 200) {
    fprintf(stderr, "usage: %s SCRATCH_DIR\n", argv[0]);
    return 2;
  }
  dir = argv[1];
  spill = In(dir, "spill", 0);
  more = In(spill, "more", 1);
  pairs = In(dir, "pairs.txt", 2);
  CreateDirectoryA(dir, NULL);
  CreateDirectoryA(spill, NULL);
  CreateDirectoryA(more, NULL);

  library = LoadLibraryA("Vorn_ULO.dll");
  if (library == NULL) return failed(3, "LoadLibraryA(\"Vorn_ULO.dll\")");
  for (i = 0; i < 8; ++i) {
    byName[i] = (void*)GetProcAddress(library, kNames[i]);
    byOrdinal[i] = (void*)GetProcAddress(library, MAKEINTRESOURCEA(i + 1));
    if (byName[i] == NULL) return failed(4, kNames[i]);
    if (byOrdinal[i] != byName[i]) return failed(5, kNames[i]);
  }
  if (GetProcAddress(library, MAKEINTRESOURCEA(9)) != NULL) return failed(6, "ordinal 9");

  /* A counting run through commands sent to an object made by ordinal. */
  if (((CreateFn)byOrdinal[7])(0, &module) != 0 || module == NULL) return failed(7, "object");
  if (Send(module, Text(Start(&command, "ULO_Stat_AssociatedFreq_Begin"), spill)) != 0)
    return failed(8, "Begin command");
  if (SendPair(module, MOON, BRIGHT, 3, 0) != 0) return failed(9, "pair, both ways");
  if (SendPair(module, MOON, MOUNTAIN, 1, 1) != 0) return failed(10, "pair, one way");
  if (SendPair(module, MOON, BRIGHT, 1, 0) != 0) return failed(11, "pair again");
  if (SendPair(module, "", BRIGHT, 1, 0) != ULO_STATUS_PAIR_REFUSED) return failed(12, "empty");
  if (Send(module, Start(&command, "ULO_Stat_AssociatedFreq_End")) != 0)
    return failed(13, "End command");
  if (!Holds(In(spill, "temp1.txt", 3),
             BRIGHT "\t" MOON "\t4\n" MOON "\t" BRIGHT "\t4\n" MOON "\t" MOUNTAIN "\t1\n"))
    return failed(14, "spill file of the command run");

  /* A second run through the exports found by ordinal. */
  if (!((BeginFn)byOrdinal[5])(more)) return failed(15, "Begin export");
  if (!((AddPairFn)byOrdinal[4])(MOON, MOUNTAIN, 5, 1)) return failed(16, "pair export");
  if (((AddPairFn)byOrdinal[4])(MOON, NULL, 5, 1)) return failed(17, "null word");
  if (((EndFn)byOrdinal[6])() != 1) return failed(18, "End export");
  if (!Holds(In(more, "temp1.txt", 3), MOON "\t" MOUNTAIN "\t5\n"))
    return failed(19, "spill file of the export run");

  /* Both runs merged by command; the work directory goes. */
  if (Send(module, Text(Text(Start(&command, "ULO_MulMergeFile"), spill), pairs)) != 0)
    return failed(20, "merge command");
  if (!Holds(pairs, BRIGHT "\t" MOON "\t4\n" MOON "\t" BRIGHT "\t4\n" MOON "\t" MOUNTAIN "\t6\n"))
    return failed(21, "merged file");
  if (GetFileAttributesA(In(dir, "merge_temp", 3)) != INVALID_FILE_ATTRIBUTES)
    return failed(22, "merge_temp left behind");

  /* The filter by export and by command. */
  if (!((FiltrateFn)byName[0])(pairs, In(dir, "frequent.txt", 3), 5)) return failed(23, "filter");
  if (!Holds(gPath[3], "6\t" MOON "\t" MOUNTAIN "\n")) return failed(24, "filtered file");
  if (Send(module, Int32(Text(Text(Start(&command, "uLo_fIlTrAtE"), pairs), In(dir, "all.txt", 4)),
                         1)) != 0)
    return failed(25, "filter command");
  if (!Holds(gPath[4],
             "4\t" BRIGHT "\t" MOON "\n4\t" MOON "\t" BRIGHT "\n6\t" MOON "\t" MOUNTAIN "\n"))
    return failed(26, "file filtered by command");

  /* Support records by command. Frequencies: bright 8, moon 14, mountain 6. */
  if (Send(module, Text(Text(Start(&command, "ULO_GetWordSupportRec"), pairs),
                        In(dir, "support.txt", 3))) != 0)
    return failed(27, "support command");
#define BASE "<\xBB\xF9\xD7\xBC\xB9\xE6\xD4\xF2>="
#define OTHER "<\xB9\xD8\xC1\xAA\xB9\xE6\xD4\xF2>="
#define CONFIDENCE "<\xD6\xC3\xD0\xC5\xB6\xC8>="
#define SUPPORT "<\xD6\xA7\xB3\xD6\xB6\xC8>="
#define RECORD(a, b, c, s) "<rec>\n" BASE a "\n" OTHER b "\n" CONFIDENCE c "\n" SUPPORT s "\n"
  if (!Holds(gPath[3], RECORD(BRIGHT, MOON, "50.000000", "14.285714")
                           RECORD(MOON, BRIGHT, "28.571429", "14.285714")
                               RECORD(MOON, BRIGHT, "28.571429", "14.285714")
                                   RECORD(BRIGHT, MOON, "50.000000", "14.285714")
                                       RECORD(MOON, MOUNTAIN, "42.857143", "21.428571")
                                           RECORD(MOUNTAIN, MOON, "100.000000", "21.428571")))
    return failed(28, "support records");

  /* The top-N ranking through its export, found by name. */
  if (((TopNFn)byName[1])(pairs, In(dir, "topn.txt", 3), 2) != 1) return failed(29, "top-N");
  if (!Holds(gPath[3], BRIGHT "\t" MOON "\t50.00\t14.29\n" BRIGHT "\t" MOON "\t50.00\t14.29\n" MOON
                              "\t" MOUNTAIN "\t42.86\t21.43\n" MOON "\t" BRIGHT
                              "\t28.57\t14.29\n" MOUNTAIN "\t" MOON "\t100.00\t21.43\n"))
    return failed(30, "top-N file");

  /* Failures come back as statuses; the reserved operations answer. */
  if (Send(module, Text(Text(Start(&command, "ULO_MulMergeFile"), In(dir, "none", 3)),
                        In(dir, "o.txt", 4))) != ULO_STATUS_MERGE_FAILED)
    return failed(31, "merge of a missing directory");
  memset(command.bytes, 0, sizeof command.bytes);
  if (Send(module, &command) != ULO_STATUS_NO_SIGNATURE) return failed(32, "no signature");
  module->vtbl->ReservedA(ULO_SELF(module));
  if (module->vtbl->ReservedB(ULO_SELF(module)) != 1) return failed(33, "ReservedB");
  module->vtbl->ReservedC(ULO_SELF(module), 1);
  if (module->vtbl->ReservedD(ULO_SELF(module), 2) != 1) return failed(34, "ReservedD");
  module->vtbl->ReservedE(ULO_SELF(module), 3);
  module->vtbl->SetHostValue(ULO_SELF(module), 4);
  module->vtbl->Release(ULO_SELF(module));
  if (!FreeLibrary(library)) return failed(35, "FreeLibrary");
  printf("windows_load_host: every check passed\n");
  return 0;
}
