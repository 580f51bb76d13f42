/* A host written in C, built against the installed package: it calls the
 * filter export directly and through the extension object's command buffer.
 * Usage: host SCRATCH_DIR. Exit status 0 when every check holds. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vorn_ulo.h>

static int failures = 0;

static void Check(int holds, const char* what) {
  if (!holds) {
    fprintf(stderr, "host: %s\n", what);
    ++failures;
  }
}

static int FileHolds(const char* path, const char* expected) {
  char bytes[256];
  size_t n;
  FILE* file = fopen(path, "rb");
  if (file == NULL) return 0;
  n = fread(bytes, 1, sizeof bytes, file);
  fclose(file);
  return n == strlen(expected) && memcmp(bytes, expected, n) == 0;
}

/* Appends `text` with its terminator at `*at`. */
static void PutString(char* buffer, size_t* at, const char* text) {
  size_t n = strlen(text) + 1;
  memcpy(buffer + *at, text, n);
  *at += n;
}

int main(int argc, char** argv) {
  static const char kPairs[] = "\xB0\xA1\t\xB0\xA2\t5\nx\ty\t1\n";
  static const char kKept[] = "5\t\xB0\xA1\t\xB0\xA2\n";
  char input[1024], direct[1024], viaCommand[1024], buffer[4096];
  ExtensionModule* module = NULL;
  int32_t value = 0;
  size_t at = 0;
  FILE* file;

  if (argc != 2 || strlen(argv[1]) > 900) {
    fprintf(stderr, "usage: host SCRATCH_DIR\n");
    return 2;
  }
  sprintf(input, "%s/pairs.txt", argv[1]);
  sprintf(direct, "%s/direct.txt", argv[1]);
  sprintf(viaCommand, "%s/command.txt", argv[1]);
  file = fopen(input, "wb");
  if (file == NULL) return 2;
  fwrite(kPairs, 1, sizeof kPairs - 1, file);
  fclose(file);

  Check(ULO_Filtrate(input, direct, 2) == 1, "ULO_Filtrate failed");
  Check(FileHolds(direct, kKept), "ULO_Filtrate wrote the wrong lines");

  Check(VornModule_CreateInstance(0, &module) == 0, "VornModule_CreateInstance did not return 0");
  if (module == NULL) {
    fprintf(stderr, "host: no extension object\n");
    return 1;
  }
  memset(buffer, 0, 9);
  memcpy(buffer + 4, "r!", 3);
  at = 9;
  PutString(buffer, &at, "ulo_FILTRATE");
  PutString(buffer, &at, input);
  PutString(buffer, &at, viaCommand);
  memcpy(buffer + at, "\x02\x00\x00\x00", 4); /* threshold 2, little-endian */
  Check(module->vtbl->Execute(module, buffer, 0, &value, 0) == 0, "filter command failed");
  Check(FileHolds(viaCommand, kKept), "filter command wrote the wrong lines");
  Check(module->vtbl->ReservedB(module) == 1, "ReservedB did not answer 1");
  buffer[6] = 'x';
  Check(module->vtbl->Execute(module, buffer, 0, &value, 0) == -1100, "signature not checked");
  module->vtbl->Release(module);

  Check(VornModule_CreateInstance(0, NULL) == 0, "a null out-pointer was not answered with 0");
  return failures == 0 ? 0 : 1;
}
