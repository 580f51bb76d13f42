/* The engine's C API: text to pairs, counting runs, the library's file
 * operations with their checks, ranking by association measures, and the
 * texts that describe the library's answers.
 *
 * The engine never links Vorn_ULO. A host loads the library its own way and
 * hands the engine the addresses of the eight exports (ulo_exports_set);
 * every call that needs the library takes that table.
 *
 * Conventions, as in most C APIs of this kind:
 * - Objects are opaque handles, created by *_create or *_open and released by
 *   the matching *_destroy (which accepts NULL).
 * - Byte strings are pointer + length; paths and names are NUL-terminated.
 * - A call that can fail takes `char** errptr` last. On failure it stores a
 *   sentence (UTF-8, without the "ulo: " lead) allocated with malloc in
 *   *errptr, freeing what was there before; on success it leaves *errptr
 *   alone. Callers start with *errptr == NULL and release it with ulo_free.
 * - Strings returned by the engine are malloc'ed; release them with ulo_free.
 * - Options are set by name and text value, so that every front-end shares
 *   one list of names, defaults and checks (ulo_*_options_describe).
 */
#ifndef ULO_ENGINE_H_
#define ULO_ENGINE_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define ULO_ENGINE_EXPORT __declspec(dllexport)
#else
#define ULO_ENGINE_EXPORT __attribute__((visibility("default")))
#endif

/* ---- Memory and version ---- */

ULO_ENGINE_EXPORT void ulo_free(void* pointer);
/* The project's version, as `ulo --version` prints it. Static; not freed. */
ULO_ENGINE_EXPORT const char* ulo_engine_version(void);

/* ---- The library's exports ---- */

typedef struct ulo_exports_t ulo_exports_t;

ULO_ENGINE_EXPORT ulo_exports_t* ulo_exports_create(void);
ULO_ENGINE_EXPORT void ulo_exports_destroy(ulo_exports_t* exports);
/* Records the address of the export `name` (one of the eight names of
 * vorn_ulo.h); an unknown name is an error. */
ULO_ENGINE_EXPORT void ulo_exports_set(ulo_exports_t* exports, const char* name, void* address,
                                       char** errptr);
/* The name of the first export not yet set, or NULL when all eight are. */
ULO_ENGINE_EXPORT char* ulo_exports_missing(const ulo_exports_t* exports);

/* ---- Options ---- */

/* Count options (names): window, one_way, tokenizer ("whitespace" or
 * "chars"), source_encoding (empty: the library's own encoding), stopwords
 * ("default" or "none"), stopword_file (repeatable: adds a file),
 * drop_punctuation, jobs (worker processes for whole files; 0: every core).
 * Booleans are "true"/"false" (also "1"/"0", "yes"/"no"). A fresh object
 * holds the one set of defaults that ulo and every front-end share. */
typedef struct ulo_count_options_t ulo_count_options_t;

ULO_ENGINE_EXPORT ulo_count_options_t* ulo_count_options_create(void);
ULO_ENGINE_EXPORT void ulo_count_options_destroy(ulo_count_options_t* options);
ULO_ENGINE_EXPORT void ulo_count_options_set(ulo_count_options_t* options, const char* name,
                                             const char* value, char** errptr);
/* Adds stop words given as text, one word a line, in the corpus's encoding. */
ULO_ENGINE_EXPORT void ulo_count_options_add_stopwords(ulo_count_options_t* options,
                                                       const char* text, size_t length,
                                                       char** errptr);
/* One line per option: name TAB default TAB help. The table the docs and
 * --help show and the front-ends' signatures are checked against. */
ULO_ENGINE_EXPORT char* ulo_count_options_describe(void);

/* Rank options (names): measure, top, min_count (and what later versions
 * add; see ulo_rank_options_describe). */
typedef struct ulo_rank_options_t ulo_rank_options_t;

ULO_ENGINE_EXPORT ulo_rank_options_t* ulo_rank_options_create(void);
ULO_ENGINE_EXPORT void ulo_rank_options_destroy(ulo_rank_options_t* options);
ULO_ENGINE_EXPORT void ulo_rank_options_set(ulo_rank_options_t* options, const char* name,
                                            const char* value, char** errptr);
ULO_ENGINE_EXPORT char* ulo_rank_options_describe(void);

/* ---- Counting ---- */

/* Progress of a count: lines read and pairs fed so far. Called from the
 * calling thread a few times a second at most. It returns 0 to go on;
 * anything else stops the count, which then fails ("the count was
 * stopped") and leaves nothing in place. */
typedef int (*ulo_progress_fn)(void* context, uint64_t lines, uint64_t pairs);

/* One counting run of this process (the library keeps one per process),
 * its spill files going to `work_dir`, which must exist and hold no spill
 * file (temp<N>.txt) of an earlier run: the library numbers every run's
 * from temp1.txt. While a counter is open (until it is closed or
 * destroyed), opening another fails. */
typedef struct ulo_counter_t ulo_counter_t;

ULO_ENGINE_EXPORT ulo_counter_t* ulo_counter_open(const ulo_exports_t* exports,
                                                  const ulo_count_options_t* options,
                                                  const char* work_dir, char** errptr);
/* Raw corpus bytes in the options' source encoding, any cut: a line may
 * span blocks. `origin` names the text in messages (a path, or "<text>");
 * a line that cannot be counted is refused with that name and its line
 * number. */
ULO_ENGINE_EXPORT void ulo_counter_add_block(ulo_counter_t* counter, const char* origin,
                                             const char* data, size_t length, char** errptr);
/* Ends the text of `origin` (a last line without its line end counts). */
ULO_ENGINE_EXPORT void ulo_counter_end_text(ulo_counter_t* counter, char** errptr);
/* Lines already cut into tokens, in UTF-8: tokens separated by TAB, lines
 * ended by LF. Filters, encoding and the window apply as to raw text. */
ULO_ENGINE_EXPORT void ulo_counter_add_token_lines(ulo_counter_t* counter, const char* data,
                                                   size_t length, char** errptr);
/* The lines of `path` from byte `begin` to byte `end` (line starts; end 0:
 * to the end of the file). A file that ends before `end` (it shrank since
 * it was shared out) fails the counter. A byte-order mark opening a line,
 * here or in token lines, is no part of a word. */
ULO_ENGINE_EXPORT void ulo_counter_add_file(ulo_counter_t* counter, const char* path,
                                            uint64_t begin, uint64_t end, char** errptr);
/* The same lines for a front-end that cuts them into tokens itself:
 * ulo_lines_read gives the next whole lines, each with its line end where it
 * has one, about `size` bytes of them (at least one line: more for one longer
 * line, and one line a call for size 0), and
 * length 0 at the end of the range; the bytes stay valid until the next
 * call (NULL `length` is refused). A file that ends before `end` fails the
 * read, as it fails a count. */
typedef struct ulo_lines_t ulo_lines_t;
ULO_ENGINE_EXPORT ulo_lines_t* ulo_lines_open(const char* path, uint64_t begin, uint64_t end,
                                              char** errptr);
ULO_ENGINE_EXPORT const char* ulo_lines_read(ulo_lines_t* lines, size_t size, size_t* length,
                                             char** errptr);
ULO_ENGINE_EXPORT void ulo_lines_close(ulo_lines_t* lines);
/* Why a count refuses one of the lines of `data` (ended by LF, the last one
 * perhaps not) whatever cuts its tokens: longer than a corpus line may be,
 * or holding a NUL byte. NULL when it refuses none; else the first one's
 * reason, its index (0 for the first line) in `*line`. A front-end that
 * cuts the tokens itself asks before it cuts them. */
ULO_ENGINE_EXPORT char* ulo_lines_problem(const char* data, size_t length, uint64_t* line);
/* Ends the run: the last spill file is written, and the tokens counted go
 * to WORK_DIR.tokens beside the work directory. */
ULO_ENGINE_EXPORT void ulo_counter_close(ulo_counter_t* counter, char** errptr);
/* What the run has seen: one line per figure, name TAB value. */
ULO_ENGINE_EXPORT char* ulo_counter_summary(const ulo_counter_t* counter);
/* Ends the run if still open (errors dropped) and releases it. */
ULO_ENGINE_EXPORT void ulo_counter_destroy(ulo_counter_t* counter);

/* Counts whole files into `work_dir` with the options' number of worker
 * processes, each with its own counting run in work_dir/part-K, the whole
 * directory put in place only when every run ended well (ulo count's
 * work). Returns the summary (name TAB value lines), or NULL on failure. */
ULO_ENGINE_EXPORT char* ulo_count_files(const ulo_exports_t* exports,
                                        const ulo_count_options_t* options,
                                        const char* const* paths, size_t path_count,
                                        const char* work_dir, ulo_progress_fn progress,
                                        void* context, char** errptr);

/* Sums the token counts of the runs whose work directories lie in `dir`
 * (DIR/part-K.tokens) into DIR.tokens and removes them, so that `dir` can be
 * merged: for a caller that counted DIR/part-K with counters of its own. */
ULO_ENGINE_EXPORT void ulo_gather_token_counts(const char* dir, char** errptr);

/* Cuts the files, taken one after another, into at most `parts` shares of
 * about equal size at line ends. One line per segment: share index TAB
 * path TAB begin TAB end. */
ULO_ENGINE_EXPORT char* ulo_share_files(const char* const* paths, size_t path_count, int parts,
                                        char** errptr);

/* ---- The library's file operations, checked and staged ---- */

/* Each checks its inputs first (a pair-count file with ulo_check_pairs; the
 * merge refuses an `out` inside `dir` and a tree that holds what a killed
 * run left), writes under a staging name and renames to `out` only when
 * complete. */
ULO_ENGINE_EXPORT void ulo_merge(const ulo_exports_t* exports, const char* dir, const char* out,
                                 char** errptr);
/* The merge in key ranges: the sorted inputs under `dir` cut at first words
 * sampled from them into `jobs` ranges (0: one a processor; more than 256
 * is refused), each merged by the library in a process of its own, all at
 * once. `out` is the one merged file, the
 * same bytes as ulo_merge's, or with `parts` non-zero a directory of sorted
 * parts and their index, which every reader of pair-count files here takes
 * as one file. Inputs that are not sorted are merged in one process. */
ULO_ENGINE_EXPORT void ulo_merge_ranges(const ulo_exports_t* exports, const char* dir,
                                        const char* out, int32_t jobs, int32_t parts,
                                        char** errptr);
/* The same merge taken apart, for hosts that run its steps elsewhere (a
 * cluster's tasks on a shared file system). ulo_split_keys: split keys for
 * `ranges` key ranges over the sorted pair-count files `paths`, first words
 * sampled from at most 1,024 of them spread over the list, one a line,
 * increasing (fewer when the files hold few distinct first words); only the
 * samples are read. ulo_merge_range: the
 * lines of `paths` whose first word lies in key range `range` of `keys`
 * (ulo_split_keys's text; range 0 lies below the first key, the last from
 * the last key on) merged by the library into that part of the parts
 * directory `dir`, which must exist; the part appears whole, and a slice
 * found out of order fails it. With `sorted` non-zero the inputs are known
 * to be in order (the spill files of counting runs, as the library wrote
 * them) and the part is not read again to check it. ulo_write_parts_index: makes `dir` a parts
 * directory once it holds every range's part; the parts concatenated are
 * the one merge of `paths`. */
ULO_ENGINE_EXPORT char* ulo_split_keys(const char* const* paths, size_t path_count, int32_t ranges,
                                       char** errptr);
ULO_ENGINE_EXPORT void ulo_merge_range(const ulo_exports_t* exports, const char* const* paths,
                                       size_t path_count, const char* keys, int32_t range,
                                       const char* dir, int32_t sorted, char** errptr);
ULO_ENGINE_EXPORT void ulo_write_parts_index(const char* dir, const char* keys, char** errptr);
/* The files that make up the pair-count file `path`, one a line: `path`
 * itself, or the parts of a parts directory in key order. */
ULO_ENGINE_EXPORT char* ulo_pair_file_parts(const char* path, char** errptr);
ULO_ENGINE_EXPORT void ulo_filter(const ulo_exports_t* exports, const char* in, const char* out,
                                  int32_t threshold, char** errptr);
ULO_ENGINE_EXPORT void ulo_support(const ulo_exports_t* exports, const char* in, const char* out,
                                   char** errptr);
ULO_ENGINE_EXPORT void ulo_topn(const ulo_exports_t* exports, const char* in, const char* out,
                                int32_t n, char** errptr);

/* ---- Ranking ---- */

/* Ranks every word's associated words of the pair-count file `pairs` and
 * writes them to `out` as lines word TAB other TAB score TAB count TAB side
 * ("after" or "before", the side the other word stood on) (staged). */
ULO_ENGINE_EXPORT void ulo_rank(const char* pairs, const char* out,
                                const ulo_rank_options_t* options, char** errptr);
/* One word's associations of the pair-count file `pairs` (the word in the
 * file's encoding, pointer + length), as the lines ulo_rank writes for it,
 * found by binary search in the sorted file with the frequencies of its
 * sidecar PAIRS.freq (made on first use, remade when the file changed).
 * Returns the lines (empty for a word the file lacks), or NULL on failure. */
ULO_ENGINE_EXPORT char* ulo_neighbours(const char* pairs, const char* word, size_t length,
                                       const ulo_rank_options_t* options, char** errptr);
/* Writes the pair-count file or ranking `in` (told apart by its first
 * line) to `out` for other tools, staged: "csv" (a header line, RFC 4180
 * quoting), "gexf" (1.3) or "graphml" by `format`, or by out's extension when
 * `format` is empty or NULL. Words are converted to the options' `to`;
 * scores are the options' measure with its filters. `top` 0 writes every
 * pair that passes them, N only pairs among either word's N best (the
 * options' own top is not used); of a ranking, each word's first N lines.
 * Pairs counted both ways give an undirected graph, one way a directed one;
 * a ranking gives a directed graph from each word to its associated words.
 * A word with a character `to` lacks is written with '?' for it; *note
 * (when not NULL) is then set to a malloc'ed sentence that says how many
 * words did, and to NULL otherwise. */
ULO_ENGINE_EXPORT void ulo_export(const char* in, const char* out, const char* format, int32_t top,
                                  const ulo_rank_options_t* options, char** note, char** errptr);
/* The measures' names, one a line, in their order. */
ULO_ENGINE_EXPORT char* ulo_measure_names(void);
/* One measure of the table a (pair count), b (base word's frequency), c
 * (other word's frequency), n (total). */
ULO_ENGINE_EXPORT double ulo_score(const char* measure, double a, double b, double c, double n,
                                   char** errptr);

/* ---- New words ---- */

/* Word options (names): max_length, min_count, min_cohesion, min_freedom,
 * top; see ulo_words_options_describe. */
typedef struct ulo_words_options_t ulo_words_options_t;

ULO_ENGINE_EXPORT ulo_words_options_t* ulo_words_options_create(void);
ULO_ENGINE_EXPORT void ulo_words_options_destroy(ulo_words_options_t* options);
ULO_ENGINE_EXPORT void ulo_words_options_set(ulo_words_options_t* options, const char* name,
                                             const char* value, char** errptr);
ULO_ENGINE_EXPORT char* ulo_words_options_describe(void);

/* A counting run of new-word candidates (every string of up to max_length
 * letters of a script written without spaces, and the characters beside
 * it), fed, closed and released as any counter: ulo_counter_add_block,
 * ulo_counter_add_file, ulo_counter_close, ulo_counter_destroy. `count`
 * gives the texts' encoding (source_encoding); its other options do not
 * apply. The spill files, merged by ulo_merge, are what ulo_words_rank
 * reads. */
ULO_ENGINE_EXPORT ulo_counter_t* ulo_words_counter_open(const ulo_exports_t* exports,
                                                        const ulo_count_options_t* count,
                                                        const ulo_words_options_t* words,
                                                        const char* work_dir, char** errptr);
/* Scores the candidates of the merged file `pairs` (checked first) and
 * writes the best to `out` (staged) as UTF-8 TSV: a header line, then word
 * TAB score TAB frequency TAB cohesion TAB freedom TAB before TAB after. */
ULO_ENGINE_EXPORT void ulo_words_rank(const char* pairs, const char* out,
                                      const ulo_words_options_t* options, char** errptr);

/* ---- Encodings ---- */

/* Converts `length` bytes of `data` from the encoding `from` to `to` (names
 * as iconv knows them; NULL or empty: the library's encoding) with the
 * conversion every count, ranking and export of the engine makes, so that a
 * front-end gives a word the library's bytes the engine gives it: where both
 * encodings write LF as the byte LF, each line from the encoding's first
 * state, as a corpus's lines are read. Bytes not
 * valid in `from` and characters `to` lacks are left out and counted in
 * *invalid and *unrepresentable; *invalid_at is the offset in `data` of the
 * first invalid byte and *unrepresentable_at that of the first character
 * `to` lacks in `data`'s UTF-8 form (`data` itself when `from` is UTF-8),
 * UINT64_MAX for none (any of the four may be NULL). Returns the result,
 * malloc'ed and NUL-terminated, its length in *out_length (it may hold NUL
 * bytes), or NULL for an encoding iconv does not know. */
ULO_ENGINE_EXPORT char* ulo_convert(const char* from, const char* to, const char* data,
                                    size_t length, size_t* out_length, uint64_t* invalid,
                                    uint64_t* unrepresentable, uint64_t* invalid_at,
                                    uint64_t* unrepresentable_at, char** errptr);

/* Why `name` (NULL or empty: the library's encoding) cannot serve `use`, or
 * NULL when it can: "words", written and read back as written (ASCII keeps
 * its bytes both ways); "shown", words written for people (ASCII keeps its
 * bytes, so TABs and line ends stay); "corpus", corpora read (LF is the
 * byte LF). An encoding iconv does not know serves none. */
ULO_ENGINE_EXPORT char* ulo_encoding_problem(const char* name, const char* use);

/* ---- Checks and staged outputs ---- */

/* Why `path` cannot be read as an input of `kind` ("corpus" or "pairs"),
 * or NULL when it can. */
ULO_ENGINE_EXPORT char* ulo_input_problem(const char* path, const char* kind);

/* "IN and OUT are the same file" when writing `out` would overwrite the
 * input `in` (one file under two names included), else NULL. */
ULO_ENGINE_EXPORT char* ulo_same_file_problem(const char* in, const char* out);

/* The line of `path` that starts at byte `offset`, 1-based (a file that
 * cannot be read counts from line 1): a share that starts mid-corpus names
 * its lines by their lines in the corpus. */
ULO_ENGINE_EXPORT uint64_t ulo_line_number_at(const char* path, uint64_t offset);

/* Whether `path` is a pair-count file as the operations need it: every
 * line word TAB word TAB count (both words non-empty, the count digits only
 * and within 64 bits), and as `needs` says: "shape" (or empty: nothing
 * more), "order" (lines in the byte order of word1, word2), "unique" or
 * "order,unique" (each pair once; checked on a file in order, so a file out
 * of order fails it too). Reads the whole file once; a parts directory (see
 * ulo_merge_ranges) is checked as the one file it stands for, each part and
 * each part's first words within its range. Returns NULL when it
 * is, else the sentence naming the file, the line and what is wrong. An
 * unknown `needs` is an error. ulo_merge, ulo_filter, ulo_support, ulo_topn
 * and ulo_rank make this check ("order,unique") on their inputs. */
ULO_ENGINE_EXPORT char* ulo_check_pairs(const char* path, const char* needs, char** errptr);

/* An output written under a temporary name beside `final_path` and renamed
 * to it by ulo_staged_commit; removed by ulo_staged_destroy if uncommitted. */
typedef struct ulo_staged_t ulo_staged_t;

ULO_ENGINE_EXPORT ulo_staged_t* ulo_staged_open(const char* final_path, char** errptr);
/* Where to write. Valid while the object lives. */
ULO_ENGINE_EXPORT const char* ulo_staged_path(const ulo_staged_t* staged);
ULO_ENGINE_EXPORT void ulo_staged_commit(ulo_staged_t* staged, char** errptr);
ULO_ENGINE_EXPORT void ulo_staged_destroy(ulo_staged_t* staged);

/* A work directory written whole or not at all, as ulo_count_files writes
 * its own: counting runs write into ulo_work_dir_path (WORK_DIR.ulo-partial,
 * locked while the object lives), and ulo_work_dir_commit puts it in place
 * of `work_dir`. That may be missing, empty or hold an earlier count's spill
 * files; anything else is refused by ulo_work_dir_open, since a merge would
 * take it as input. ulo_work_dir_destroy removes what was not committed.
 * Another process or thread waits for the lock; in the thread that opened
 * the object, ulo_work_dir_open and ulo_count_files of the same work
 * directory fail while it lives. */
typedef struct ulo_work_dir_t ulo_work_dir_t;

ULO_ENGINE_EXPORT ulo_work_dir_t* ulo_work_dir_open(const char* work_dir, char** errptr);
ULO_ENGINE_EXPORT const char* ulo_work_dir_path(const ulo_work_dir_t* dir);
ULO_ENGINE_EXPORT void ulo_work_dir_commit(ulo_work_dir_t* dir, char** errptr);
ULO_ENGINE_EXPORT void ulo_work_dir_destroy(ulo_work_dir_t* dir);

/* ---- The library's answers in words ---- */

ULO_ENGINE_EXPORT char* ulo_describe_status(int32_t status);
ULO_ENGINE_EXPORT char* ulo_describe_merge_code(int32_t code);

/* A command buffer for the extension object's Execute. */
typedef struct ulo_command_t ulo_command_t;

ULO_ENGINE_EXPORT ulo_command_t* ulo_command_create(const char* name);
ULO_ENGINE_EXPORT void ulo_command_destroy(ulo_command_t* command);
ULO_ENGINE_EXPORT void ulo_command_add_string(ulo_command_t* command, const char* text,
                                              size_t length);
ULO_ENGINE_EXPORT void ulo_command_add_int32(ulo_command_t* command, int32_t value);
ULO_ENGINE_EXPORT void ulo_command_add_flag(ulo_command_t* command, unsigned char value);
/* The buffer's bytes; valid until the next change or destroy. */
ULO_ENGINE_EXPORT const char* ulo_command_bytes(const ulo_command_t* command, size_t* length);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ULO_ENGINE_H_ */
