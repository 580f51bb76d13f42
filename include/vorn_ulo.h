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
 *  - On 32-bit Windows the exports are __cdecl (the caller removes the
 *    arguments) and the methods of ExtensionModule __thiscall (the object in
 *    ECX, the callee removes the other arguments), as Windows compilers make
 *    these declarations by default. A DLL built with ULO_WIN32_STDCALL makes
 *    all of them __stdcall instead; its hosts define ULO_WIN32_STDCALL before
 *    including this header. Elsewhere the platform's one convention applies.
 *  - Any thread may call the library. Within one process there is one
 *    counting run, which every caller feeds under a lock; merges run one
 *    after another, and support-record runs take turns on their process-wide
 *    word table; the filter and the top-N ranking share nothing and may run
 *    side by side with anything. An extension object also runs the commands
 *    sent to it one at a time (see ExtensionModule below).
 */
#ifndef VORN_ULO_H_
#define VORN_ULO_H_

#include <stdint.h>

/* ULO_CALL: the exports' convention. ULO_METHOD: the methods' convention in
 * C++. ULO_TABLE_CALL, ULO_SELF_PARAM and ULO_SELF: the same methods called
 * through the table from C, which has no __thiscall: __fastcall passes its
 * first argument in ECX as __thiscall passes the object, and its second in
 * EDX, which the method never reads; both leave the rest on the stack for the
 * callee to remove. A C host calls `m->vtbl->Execute(ULO_SELF(m), ...)`,
 * which is right on every platform. */
#if defined(_WIN32) && !defined(_WIN64)
#if defined(ULO_WIN32_STDCALL)
#define ULO_CALL __stdcall
#define ULO_METHOD __stdcall
#define ULO_TABLE_CALL __stdcall
#define ULO_SELF_PARAM(type) type self
#define ULO_SELF(self) (self)
#else
#define ULO_CALL __cdecl
#define ULO_METHOD __thiscall
#define ULO_TABLE_CALL __fastcall
#define ULO_SELF_PARAM(type) type self, void* unusedEdx
#define ULO_SELF(self) (self), 0
#endif
#else
#define ULO_CALL
#define ULO_METHOD
#define ULO_TABLE_CALL
#define ULO_SELF_PARAM(type) type self
#define ULO_SELF(self) (self)
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

/*
 * The extension object.
 *
 * VornModule_CreateInstance hands out an object whose first member is a
 * pointer to a table of exactly eight operations. Hosts in any language call
 * them through that table, passing the object itself (the `this` of C++) as
 * ULO_METHOD passes it: C hosts with ULO_SELF(object). The slots, in order:
 *
 *   0  void     Release(self)        ends the object; never use it afterwards
 *   1  void     ReservedA(self)      does nothing
 *   2  int32_t  Execute(self, const void* command, int32_t unused,
 *                       const int32_t* value, int32_t option)
 *                                    runs one command, see below
 *   3  ULO_BOOL ReservedB(self)      returns 1
 *   4  void     ReservedC(self, int32_t unused)  does nothing
 *   5  ULO_BOOL ReservedD(self, int32_t unused)  returns 1
 *   6  void     ReservedE(self, int32_t unused)  does nothing
 *   7  void     SetHostValue(self, int32_t value)
 *                                    stores a value the library never reads
 *
 * The command buffer passed to Execute:
 *   offset 0, 4 bytes   not read
 *   offset 4, 3 bytes   signature 0x72 0x21 0x00 ("r!" and its terminator)
 *   offset 7, 2 bytes   not read
 *   offset 9            command name, NUL-terminated
 *   then                the argument block: strings NUL-terminated one after
 *                       another, then (where the command has one) a 32-bit
 *                       signed little-endian integer right after the last
 *                       terminator, unaligned, then (pair-add only) one
 *                       flag byte right after the integer.
 * The buffer carries no length: it must hold everything the command reads.
 * The library only reads it. `value` must be null or point to a readable
 * 32-bit value; `unused`, `value` and `option` are not interpreted.
 *
 * Commands (names compared without regard to letter case) and statuses:
 *   "ULO_Stat_AssociatedFreq_Begin"  dir            0; -4350 refused;
 *                                    -9001 a run opened through this object
 *                                    was not ended within 3000 attempts one
 *                                    second apart
 *   "ULO_Stat_AssociatedFreq"        word1 word2 count flag
 *                                    0; -4351 no run opened through this
 *                                    object, or the pair was refused
 *   "ULO_Stat_AssociatedFreq_End"    (none)         0; -4352 the last spill
 *                                    file could not be written
 *   "ULO_MulMergeFile"               dir output     0; -4353 merge failed
 *   "ULO_Filtrate"                   input output threshold
 *                                    0; -4354 filter failed
 *   "ULO_GetWordSupportRec"          input output   0; -4355 failed
 *   any other name                                  -4110
 *   buffer without the signature                    -1100
 * Each object lets one counting run at a time be opened through it (a Begin
 * waits for the End of the run before it) and runs its merge, filter and
 * support-record commands one at a time. All objects share the process's one
 * counting run. The top-N ranking has no command: call its export.
 */
/* Statuses of Execute, as listed above. */
#define ULO_STATUS_OK 0
#define ULO_STATUS_NO_SIGNATURE (-1100)
#define ULO_STATUS_UNKNOWN_COMMAND (-4110)
#define ULO_STATUS_BEGIN_REFUSED (-4350)
#define ULO_STATUS_PAIR_REFUSED (-4351)
#define ULO_STATUS_END_FAILED (-4352)
#define ULO_STATUS_MERGE_FAILED (-4353)
#define ULO_STATUS_FILTER_FAILED (-4354)
#define ULO_STATUS_SUPPORT_FAILED (-4355)
#define ULO_STATUS_BUSY_TIMEOUT (-9001)

#ifdef __cplusplus
struct ExtensionModule;
#else
typedef struct ExtensionModule ExtensionModule;
#endif

/* The table of operations, as seen from C. */
typedef struct ExtensionModuleVtbl {
  void(ULO_TABLE_CALL* Release)(ULO_SELF_PARAM(ExtensionModule*));
  void(ULO_TABLE_CALL* ReservedA)(ULO_SELF_PARAM(ExtensionModule*));
  int32_t(ULO_TABLE_CALL* Execute)(ULO_SELF_PARAM(ExtensionModule*), const void* command,
                                   int32_t unused, const int32_t* value, int32_t option);
  ULO_BOOL(ULO_TABLE_CALL* ReservedB)(ULO_SELF_PARAM(ExtensionModule*));
  void(ULO_TABLE_CALL* ReservedC)(ULO_SELF_PARAM(ExtensionModule*), int32_t unused);
  ULO_BOOL(ULO_TABLE_CALL* ReservedD)(ULO_SELF_PARAM(ExtensionModule*), int32_t unused);
  void(ULO_TABLE_CALL* ReservedE)(ULO_SELF_PARAM(ExtensionModule*), int32_t unused);
  void(ULO_TABLE_CALL* SetHostValue)(ULO_SELF_PARAM(ExtensionModule*), int32_t value);
} ExtensionModuleVtbl;

#ifdef __cplusplus
/* The same object as a C++ interface: its virtual table is the table above.
 * There is no virtual destructor (it would add slots): Release ends the
 * object. */
struct ExtensionModule {
  virtual void ULO_METHOD Release() = 0;
  virtual void ULO_METHOD ReservedA() = 0;
  virtual int32_t ULO_METHOD Execute(const void* command, int32_t unused, const int32_t* value,
                                   int32_t option) = 0;
  virtual ULO_BOOL ULO_METHOD ReservedB() = 0;
  virtual void ULO_METHOD ReservedC(int32_t unused) = 0;
  virtual ULO_BOOL ULO_METHOD ReservedD(int32_t unused) = 0;
  virtual void ULO_METHOD ReservedE(int32_t unused) = 0;
  virtual void ULO_METHOD SetHostValue(int32_t value) = 0;

 protected:
  ~ExtensionModule() {}
};
#else
struct ExtensionModule {
  const ExtensionModuleVtbl* vtbl;
};
#endif

#ifdef __cplusplus
extern "C" {
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

/* Creates an extension object and stores its address in `*outModule`; the
 * host ends it with its Release operation. `reserved` is not read. Always
 * returns 0; with a null `outModule` nothing is created. */
ULO_API int32_t ULO_CALL VornModule_CreateInstance(int32_t reserved, ExtensionModule** outModule);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORN_ULO_H_ */
