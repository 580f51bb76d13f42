/*
 * Vorn_ULO: word-pair association statistics for large corpora.
 *
 * Public interface for host applications. The library exports exactly eight
 * undecorated C functions; the extension object reached through
 * VornModule_CreateInstance offers six of the same operations as named
 * commands in a byte buffer.
 *
 * Conventions of every function here:
 *  - Strings are NUL-terminated byte strings in the system's multibyte code
 *    page (GB2312 text in practice): words, file paths and directory paths.
 *    The library never keeps a caller's string beyond the call.
 *  - ULO_BOOL is one byte: 1 for success, 0 for refused or failed.
 *  - Counts and thresholds are 32-bit signed integers.
 *  - On 32-bit Windows every function and every method of ExtensionModule
 *    uses __stdcall; elsewhere the platform's default C convention applies.
 *  - Within one process only one counting run may be open, only one merge
 *    may run, and the filter, the support records and the top-N ranking must
 *    not run at the same time as one another. The extension object enforces
 *    part of this for commands sent to it (see ExtensionModule below).
 */
#ifndef VORN_ULO_H_
#define VORN_ULO_H_

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define ULO_CALL __stdcall
#else
#define ULO_CALL
#endif

#if defined(_WIN32)
#if defined(ULO_BUILDING_LIBRARY)
#define ULO_API __declspec(dllexport)
#else
#define ULO_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define ULO_API __attribute__((visibility("default")))
#else
#define ULO_API
#endif

typedef unsigned char ULO_BOOL;

#ifdef __cplusplus
struct ExtensionModule;
extern "C" {
#else
typedef struct ExtensionModule ExtensionModule;
#endif

/* Copies every line of the pair-count file `inputPath` whose count is at
 * least `threshold` to `outputPath`, as: count TAB word1 TAB word2 LF.
 * Returns 0 for a null path, an input or output that cannot be opened, an
 * output that names the input file itself, or a failed write. */
ULO_API ULO_BOOL ULO_CALL ULO_Filtrate(const char* inputPath, const char* outputPath,
                                       int32_t threshold);

/* Writes, for every word of the pair-count file, its `n` best associated
 * words by confidence: word TAB other TAB confidence% TAB support% LF.
 * Returns 0 for a null path, `n` below 1 (nothing is written), an input that
 * cannot be opened or read (no output is made), or an output that cannot be
 * opened or fully written. */
ULO_API ULO_BOOL ULO_CALL ULO_GetTopNWordSupportRec(const char* inputPath, const char* outputPath,
                                                    int32_t n);

/* Writes two labelled confidence/support records (GB2312) for every pair of
 * the pair-count file. Returns 0 for a null path, an output that names the
 * input file itself (which stays untouched), a file that cannot be opened or
 * read, or an output that cannot be fully written. */
ULO_API ULO_BOOL ULO_CALL ULO_GetWordSupportRec(const char* inputPath, const char* outputPath);

/* Merges every file under `inputDir` (sorted pair-count files) into one
 * pair-count file with each pair once and its summed count. Returns 0 on
 * success or a negative code from -1 to -10. */
ULO_API int32_t ULO_CALL ULO_MulMergeFile(const char* inputDir, const char* outputPath);

/* Counts the pair (word1, word2), and unless the low byte of `oneWay` is
 * non-zero also (word2, word1), in the open counting run. */
ULO_API ULO_BOOL ULO_CALL ULO_Stat_AssociatedFreq(const char* word1, const char* word2,
                                                  int32_t count, int32_t oneWay);

/* Opens a counting run whose spill files temp1.txt, temp2.txt, ... go to
 * `workDir`. */
ULO_API ULO_BOOL ULO_CALL ULO_Stat_AssociatedFreq_Begin(const char* workDir);

/* Closes the counting run and writes its last spill file. */
ULO_API int32_t ULO_CALL ULO_Stat_AssociatedFreq_End(void);

/* Creates an extension object; the host ends it with its Release method.
 * `reserved` is not read. Always returns 0. */
ULO_API int32_t ULO_CALL VornModule_CreateInstance(int32_t reserved, ExtensionModule** outModule);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORN_ULO_H_ */
