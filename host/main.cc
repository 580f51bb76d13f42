// ulo: the command-line host of the Vorn_ULO library. It loads the library at
// run time, turns corpora into word pairs and drives the counting run, the
// merge, the filter and the statistics through the library's extension
// object, as any plug-in host would.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "commands.h"
#include "corpus.h"
#include "count_jobs.h"
#include "demo_corpus.h"
#include "encoding.h"
#include "library.h"
#include "progress.h"
#include "staging.h"

namespace ulo::host {
namespace {

namespace fs = std::filesystem;

constexpr char kVersion[] = "1.0.0";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxJobs = 256;

const char kMainUsage[] =
    "usage: ulo [--library PATH] [--quiet] [--direct] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  count CORPUS... --work DIR   count the word pairs of corpora into spill files in DIR\n"
    "  merge DIR OUT                merge every pair-count file under DIR into OUT\n"
    "  filter IN OUT THRESHOLD      write the pairs of IN whose count reaches THRESHOLD\n"
    "  support IN OUT               write confidence and support records for every pair\n"
    "  topn IN OUT N                write the N best associated words of every word\n"
    "  run CORPUS... --out DIR      the whole pipeline, from corpora to statistics\n"
    "  show TOPN_FILE WORD...       print a word's top associations readably\n"
    "  demo                         run the pipeline on the default corpus and show results\n"
    "\n"
    "options:\n"
    "  --library PATH   the Vorn_ULO library to load (default: the one built with ulo)\n"
    "  --quiet          no progress lines on standard error\n"
    "  --direct         merge through the exported function, which reports the merge's\n"
    "                   own code, instead of the extension object's command\n"
    "  --version        print the version\n"
    "  --help           this text; 'ulo COMMAND --help' describes a command\n";

const char kCountOptions[] =
    "  --window N       pair every token with the next N tokens of its line (default 3)\n"
    "  --jobs N         count in N worker processes at once (default: the number of\n"
    "                   processors), each with a counting run of its own in DIR/part-K;\n"
    "                   peak memory is N times one run's (about 210 MB each)\n"
    "  --per-pair-commands  hand every pair to the library as a command of its own\n"
    "                   (slow; by default each distinct pair of a batch of lines is\n"
    "                   handed over once, with its count)\n"
    "  --one-way        count each pair in reading order only (default: both directions)\n"
    "  --chars          every GB2312 Chinese character is a token (default: words\n"
    "                   separated by white space); punctuation and ASCII are skipped\n"
    "  --from ENCODING  convert the corpora from ENCODING (for example UTF-8) to GB2312;\n"
    "                   characters without a GB2312 form are skipped and counted\n";

const std::map<std::string, std::string> kCommandUsage = {
    {"count", std::string("usage: ulo count CORPUS... --work DIR [options]\n"
                          "\n"
                          "Reads each CORPUS (one sentence per line) and feeds every pair of "
                          "tokens\nwithin the window to counting runs whose sorted spill files "
                          "temp1.txt,\ntemp2.txt, ... go to DIR/part-1, DIR/part-2, ... (one "
                          "per worker). DIR is\ncreated when missing; it may hold only an "
                          "earlier count, which is replaced.\nDIR appears only when every run "
                          "has ended well (until then the runs write\nin DIR.partial).\n"
                          "\noptions:\n") +
                  kCountOptions},
    {"merge",
     "usage: ulo merge DIR OUT\n"
     "\n"
     "Merges every pair-count file under DIR, at any depth, into OUT with each pair once\n"
     "and its summed count. Failures are logged in OUT_err.log. With --direct the merge's\n"
     "own code is reported.\n"},
    {"filter",
     "usage: ulo filter IN OUT THRESHOLD\n"
     "\n"
     "Writes 'count TAB word1 TAB word2' for every pair of IN whose count is at least\n"
     "THRESHOLD (a 32-bit integer).\n"},
    {"support",
     "usage: ulo support IN OUT\n"
     "\n"
     "Writes, for every pair of the pair-count file IN, two GB2312 records with the\n"
     "confidence and the support of the rule in both directions.\n"},
    {"topn",
     "usage: ulo topn IN OUT N\n"
     "\n"
     "Writes, for every word of the pair-count file IN, its N best associated words by\n"
     "confidence: word TAB other TAB confidence% TAB support%.\n"},
    {"run", std::string("usage: ulo run CORPUS... --out DIR [options]\n"
                        "\n"
                        "Counts the corpora (spill files in DIR/spill), merges them into "
                        "DIR/pairs.txt,\nfilters them into DIR/frequent.txt when --threshold "
                        "is given, and writes\nDIR/support.txt and DIR/topn.txt; then prints a "
                        "summary.\n\noptions:\n") +
                kCountOptions +
                "  --threshold T    also write the pairs whose count reaches T\n"
                "  --top N          associated words per word in topn.txt (default 10)\n"},
    {"show",
     "usage: ulo show TOPN_FILE WORD... [--to ENCODING]\n"
     "\n"
     "Prints each WORD's top associations from a top-N file as a table. Words are given,\n"
     "and the table is printed, in ENCODING (default UTF-8).\n"},
    {"demo",
     "usage: ulo demo [--out DIR] [--corpus FILE]\n"
     "\n"
     "Runs the whole pipeline on the Tang poems of Debian's fortunes-zh package (UTF-8,\n"
     "Chinese characters as tokens) or, when they are not installed, on a synthetic\n"
     "corpus, then shows the words most associated with a few characters. Results go to\n"
     "DIR (default ./ulo-demo).\n"},
};

const char kDefaultCorpus[] = "/usr/share/games/fortunes/tang300";

struct Global {
  std::string libraryPath;
  bool quiet = false;
  bool direct = false;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "ulo: %s\n", message.c_str());
  return kExitFailure;
}

int UsageError(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "ulo: %s%s (see 'ulo %s--help')\n",
               command.empty() ? "" : (command + ": ").c_str(), message.c_str(),
               command.empty() ? "" : (command + " ").c_str());
  return kExitUsage;
}

bool ParseInt32(const std::string& text, int32_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

std::string StatusText(int32_t status) {
  return std::to_string(status) + ": " + DescribeStatus(status);
}

bool ParseCountOptions(const std::string& command, const std::vector<std::string>& args,
                       CountSettings* options, int* jobs,
                       std::map<std::string, std::string>* valued,
                       const std::vector<std::string>& extraValued, int* usageExit) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto needValue = [&](std::string* value) {
      if (i + 1 >= args.size()) {
        *usageExit = UsageError(command, arg + " needs a value");
        return false;
      }
      *value = args[++i];
      return true;
    };
    if (arg == "--window") {
      std::string value;
      if (!needValue(&value)) return false;
      int32_t window = 0;
      if (!ParseInt32(value, &window) || window < 1) {
        *usageExit = UsageError(
            command, "--window must be a whole number of at least 1, not '" + value + "'");
        return false;
      }
      options->window = window;
    } else if (arg == "--jobs") {
      std::string value;
      if (!needValue(&value)) return false;
      int32_t number = 0;
      if (!ParseInt32(value, &number) || number < 1 || number > kMaxJobs) {
        *usageExit = UsageError(command, "--jobs must be a whole number from 1 to " +
                                             std::to_string(kMaxJobs) + ", not '" + value + "'");
        return false;
      }
      *jobs = number;
    } else if (arg == "--one-way") {
      options->oneWay = true;
    } else if (arg == "--per-pair-commands") {
      options->perPairCommands = true;
    } else if (arg == "--chars") {
      options->mode = TokenMode::kChars;
    } else if (arg == "--from") {
      if (!needValue(&options->from)) return false;
    } else if (std::find(extraValued.begin(), extraValued.end(), arg) != extraValued.end()) {
      std::string value;
      if (!needValue(&value)) return false;
      (*valued)[arg] = value;
    } else if (arg.size() > 1 && arg[0] == '-') {
      *usageExit = UsageError(command, "unknown option '" + arg + "'");
      return false;
    } else {
      options->corpora.push_back(arg);
    }
  }
  if (options->corpora.empty()) {
    *usageExit = UsageError(command, "no corpus given");
    return false;
  }
  return true;
}

uint64_t TreeBytes(const fs::path& root) {
  std::error_code code;
  uint64_t total = 0;
  if (fs::is_regular_file(root, code)) return fs::file_size(root, code);
  for (auto it = fs::recursive_directory_iterator(root, code);
       !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
    std::error_code sizeCode;
    if (it->is_regular_file(sizeCode)) total += it->file_size(sizeCode);
  }
  return total;
}

uint64_t FileBytes(const std::string& path) {
  std::error_code code;
  uint64_t size = fs::file_size(path, code);
  return code ? 0 : size;
}

uint64_t LineCount(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint64_t lines = 0;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    lines += static_cast<uint64_t>(std::count(buffer, buffer + in.gcount(), '\n'));
  }
  return lines;
}

int Merge(const Global& global, Session& session, const std::string& dir, const std::string& out) {
  // The merge works in merge_temp beside the source directory.
  std::string source = dir;
  while (source.size() > 1 && source.back() == '/')
    source.pop_back();
  fs::path parent = fs::path(source).parent_path();
  fs::path workDir = (parent.empty() ? fs::path(".") : parent) / "merge_temp";
  // The merged file takes its name only when whole: a crash leaves at most
  // the partial file, which the next merge overwrites.
  std::string partial = PartialPath(out);
  std::error_code code;
  fs::remove(partial, code);
  Progress progress("merge", !global.quiet && isatty(STDERR_FILENO));
  progress.PollBytes(TreeBytes(dir),
                     [partial, workDir] { return FileBytes(partial) + TreeBytes(workDir); });
  int32_t status = global.direct ? session.MergeDirect(dir, partial) : session.Merge(dir, partial);
  progress.Stop();
  MoveErrorLog(partial, out);
  if (status == 0 && std::rename(partial.c_str(), out.c_str()) != 0) {
    int error = errno;
    fs::remove(partial, code);
    return Fail("merge: cannot move " + partial + " to " + out + ": " + std::strerror(error));
  }
  if (status == 0) return 0;
  fs::remove(partial, code);
  if (global.direct) {
    return Fail("merge: merging " + dir + " into " + out + " failed (code " +
                std::to_string(status) + ": " + DescribeMergeCode(status) + ")");
  }
  return Fail("merge: merging " + dir + " into " + out + " failed (status " + StatusText(status) +
              "; see " + out +
              "_err.log if it exists, or rerun with --direct for the merge's "
              "own code)");
}

int Filter(Session& session, const std::string& in, const std::string& out, int32_t threshold) {
  int32_t status = session.Filter(in, out, threshold);
  if (status == 0) return 0;
  return Fail("filter: filtering " + in + " into " + out + " failed (status " + StatusText(status) +
              ")");
}

int Support(Session& session, const std::string& in, const std::string& out) {
  int32_t status = session.Support(in, out);
  if (status == 0) return 0;
  return Fail("support: writing the records of " + in + " to " + out + " failed (status " +
              StatusText(status) + ")");
}

int TopN(Session& session, const std::string& in, const std::string& out, int32_t n) {
  if (session.TopNDirect(in, out, n)) return 0;
  return Fail("topn: ranking " + in + " into " + out +
              " failed (the input could not be read, or the output could not be written)");
}

// Positional arguments only, with a fixed count.
bool Positional(const std::string& command, const std::vector<std::string>& args, size_t count,
                int* usageExit) {
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '-' &&
        !(arg.size() > 1 && std::isdigit(static_cast<unsigned char>(arg[1])))) {
      *usageExit = UsageError(command, "unknown option '" + arg + "'");
      return false;
    }
  }
  if (args.size() != count) {
    *usageExit = UsageError(command, "expected " + std::to_string(count) + " arguments, got " +
                                         std::to_string(args.size()));
    return false;
  }
  return true;
}

int RunCount(const Global& global, const std::vector<std::string>& args) {
  CountSettings options;
  int jobs = DefaultJobs();
  std::map<std::string, std::string> valued;
  int usageExit = 0;
  if (!ParseCountOptions("count", args, &options, &jobs, &valued, {"--work"}, &usageExit)) {
    return usageExit;
  }
  if (valued.count("--work") == 0) return UsageError("count", "--work DIR is required");
  std::string workDir = valued["--work"];
  CountSummary summary;
  if (int failed =
          CountIntoDirectory("count", global.libraryPath, !global.quiet && isatty(STDERR_FILENO),
                             options, jobs, workDir, &summary)) {
    return failed;
  }
  PrintCountSummary(summary, options);
  std::printf("time               %.2f s\n", summary.seconds);
  return 0;
}

struct Stage {
  std::string name;
  double seconds;
};

int RunPipeline(const Global& global, Session& session, const std::vector<std::string>& args,
                std::string* topnPath) {
  CountSettings options;
  int jobs = DefaultJobs();
  std::map<std::string, std::string> valued;
  int usageExit = 0;
  if (!ParseCountOptions("run", args, &options, &jobs, &valued, {"--out", "--threshold", "--top"},
                         &usageExit)) {
    return usageExit;
  }
  if (valued.count("--out") == 0) return UsageError("run", "--out DIR is required");
  std::optional<int32_t> threshold;
  if (valued.count("--threshold") != 0) {
    int32_t value = 0;
    if (!ParseInt32(valued["--threshold"], &value)) {
      return UsageError("run", "--threshold must be a 32-bit integer");
    }
    threshold = value;
  }
  int32_t top = 10;
  if (valued.count("--top") != 0 && (!ParseInt32(valued["--top"], &top) || top < 1)) {
    return UsageError("run", "--top must be a whole number of at least 1");
  }

  fs::path out(valued["--out"]);
  std::string spillDir = (out / "spill").string();
  std::string pairs = (out / "pairs.txt").string();
  std::string frequent = (out / "frequent.txt").string();
  std::string support = (out / "support.txt").string();
  std::string topn = (out / "topn.txt").string();
  std::vector<Stage> stages;
  auto timed = [&](const std::string& name, auto work) {
    auto start = std::chrono::steady_clock::now();
    int failed = work();
    stages.push_back(
        {name, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    return failed;
  };
  CountSummary summary;
  if (int failed = timed("count", [&] {
        return CountIntoDirectory("run", global.libraryPath, !global.quiet && isatty(STDERR_FILENO),
                                  options, jobs, spillDir, &summary);
      })) {
    return failed;
  }
  if (int failed = timed("merge", [&] { return Merge(global, session, spillDir, pairs); })) {
    return failed;
  }
  if (threshold) {
    if (int failed =
            timed("filter", [&] { return Filter(session, pairs, frequent, *threshold); })) {
      return failed;
    }
  }
  if (int failed = timed("support", [&] { return Support(session, pairs, support); })) {
    return failed;
  }
  if (int failed = timed("topn", [&] { return TopN(session, pairs, topn, top); })) return failed;

  PrintCountSummary(summary, options);
  std::printf("distinct pairs     %s\n", Grouped(LineCount(pairs)).c_str());
  std::printf("\nstage       seconds\n");
  double total = 0;
  for (const Stage& stage : stages) {
    std::printf("%-10s %8.2f\n", stage.name.c_str(), stage.seconds);
    total += stage.seconds;
  }
  std::printf("%-10s %8.2f\n", "total", total);
  std::printf("\noutput files\n");
  std::vector<std::string> files = {pairs, support, topn};
  if (threshold) files.insert(files.begin() + 1, frequent);
  for (const std::string& file : files) {
    std::printf("  %-40s %10s\n", file.c_str(), HumanBytes(FileBytes(file)).c_str());
  }
  if (topnPath != nullptr) *topnPath = topn;
  return 0;
}

// Display width of GB2312 text: a double-byte character takes two columns.
size_t Gb2312Width(std::string_view text) {
  return text.size();
}

int Show(const std::vector<std::string>& args) {
  std::string encoding = "UTF-8";
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--to") {
      if (i + 1 >= args.size()) return UsageError("show", "--to needs an encoding");
      encoding = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return UsageError("show", "unknown option '" + args[i] + "'");
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() < 2) return UsageError("show", "expected TOPN_FILE and at least one WORD");
  const std::string& path = positional[0];
  Converter toGb, fromGb;
  std::string error;
  if (!toGb.Open(encoding, "GB2312", &error) || !fromGb.Open("GB2312", encoding, &error)) {
    return Fail("show: " + error);
  }
  std::map<std::string, std::vector<std::vector<std::string>>> wanted;
  std::vector<std::string> order;
  for (size_t i = 1; i < positional.size(); ++i) {
    std::string word;
    toGb.Convert(positional[i], &word);
    if (wanted.emplace(word, std::vector<std::vector<std::string>>{}).second) order.push_back(word);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail("show: cannot open the top-N file " + path + ": " + std::strerror(errno));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    auto found = wanted.find(line.substr(0, tab));
    if (found == wanted.end()) continue;
    std::vector<std::string> fields;
    size_t start = tab + 1;
    for (;;) {
      size_t next = line.find('\t', start);
      fields.push_back(line.substr(start, next == std::string::npos ? next : next - start));
      if (next == std::string::npos) break;
      start = next + 1;
    }
    if (fields.size() >= 3) found->second.push_back(fields);
  }
  int missing = 0;
  auto print = [&](const std::string& gb) {
    std::string converted;
    fromGb.Convert(gb, &converted);
    return converted;
  };
  for (const std::string& word : order) {
    const auto& rows = wanted[word];
    if (rows.empty()) {
      std::fprintf(stderr, "ulo: show: '%s' has no associations in %s\n", print(word).c_str(),
                   path.c_str());
      ++missing;
      continue;
    }
    size_t width = 4;
    for (const auto& row : rows)
      width = std::max(width, Gb2312Width(row[0]));
    std::printf("%s\n  rank  %-*s  confidence  support\n", print(word).c_str(),
                static_cast<int>(width), "word");
    // A pair counted in both directions stands on two lines of the merged
    // file, and each line offers the association: show each word once.
    int rank = 0;
    std::vector<std::string> shown;
    for (const auto& row : rows) {
      if (std::find(shown.begin(), shown.end(), row[0]) != shown.end()) continue;
      shown.push_back(row[0]);
      std::string padding(width - Gb2312Width(row[0]), ' ');
      std::printf("  %4d  %s%s  %9s%%  %6s%%\n", ++rank, print(row[0]).c_str(), padding.c_str(),
                  row[1].c_str(), row[2].c_str());
    }
    std::printf("\n");
  }
  return missing == 0 ? 0 : kExitFailure;
}

int Demo(const Global& global, Session& session, const std::vector<std::string>& args) {
  std::string out = "ulo-demo";
  std::string corpus;
  for (size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "--out" || args[i] == "--corpus") && i + 1 < args.size()) {
      (args[i] == "--out" ? out : corpus) = args[i + 1];
      ++i;
    } else {
      return UsageError("demo", "unexpected argument '" + args[i] + "'");
    }
  }
  std::error_code code;
  fs::create_directories(out, code);
  if (corpus.empty()) {
    if (fs::exists(kDefaultCorpus, code)) {
      corpus = kDefaultCorpus;
      std::printf("corpus: the Tang poems of %s\n\n", kDefaultCorpus);
    } else {
      corpus = (fs::path(out) / "synthetic-corpus.txt").string();
      if (!WriteSyntheticCorpus(corpus)) return Fail("demo: cannot write " + corpus);
      std::printf(
          "corpus: %s is not installed (Debian package fortunes-zh), so ulo generated a\n"
          "synthetic corpus of classical-style lines: %s\n\n",
          kDefaultCorpus, corpus.c_str());
    }
  }
  std::string topn;
  std::vector<std::string> runArgs = {corpus,   "--out", out,           "--chars",
                                      "--from", "UTF-8", "--window",    "2",
                                      "--top",  "16",    "--threshold", "5"};
  if (int failed = RunPipeline(global, session, runArgs, &topn)) return failed;
  std::printf("\n");
  std::vector<std::string> showArgs = {topn};
  for (const char* word : kDemoWords)
    showArgs.push_back(word);
  Show(showArgs);
  return 0;
}

int Main(int argc, char** argv) {
  Global global;
  global.libraryPath = DefaultLibraryPath(argv[0]);
  std::vector<std::string> args;
  bool help = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (args.empty()) {
      // Global options come before the command.
      if (arg == "--help" || arg == "-h") {
        std::fputs(kMainUsage, stdout);
        return 0;
      }
      if (arg == "--version") {
        std::printf("ulo %s\n", kVersion);
        return 0;
      }
      if (arg == "--library") {
        if (i + 1 >= argc) return UsageError("", "--library needs a path");
        global.libraryPath = argv[++i];
        continue;
      }
      if (arg == "--quiet") {
        global.quiet = true;
        continue;
      }
      if (arg == "--direct") {
        global.direct = true;
        continue;
      }
      if (arg.size() > 1 && arg[0] == '-') return UsageError("", "unknown option '" + arg + "'");
    } else if (arg == "--help" || arg == "-h") {
      help = true;
      continue;
    } else if (arg == "--quiet") {
      global.quiet = true;
      continue;
    }
    args.push_back(arg);
  }
  if (args.empty()) {
    std::fputs(kMainUsage, stderr);
    return kExitUsage;
  }
  std::string command = args.front();
  args.erase(args.begin());
  auto usage = kCommandUsage.find(command);
  if (usage == kCommandUsage.end()) return UsageError("", "unknown command '" + command + "'");
  if (help) {
    std::fputs(usage->second.c_str(), stdout);
    return 0;
  }
  if (command == "show") return Show(args);

  // Check the arguments before loading anything.
  int usageExit = 0;
  int32_t number = 0;
  if (command == "merge" || command == "support") {
    if (!Positional(command, args, 2, &usageExit)) return usageExit;
  } else if (command == "filter" || command == "topn") {
    if (!Positional(command, args, 3, &usageExit)) return usageExit;
    if (!ParseInt32(args[2], &number)) {
      return UsageError(command, std::string(command == "filter" ? "THRESHOLD" : "N") +
                                     " must be a 32-bit integer, not '" + args[2] + "'");
    }
    if (command == "topn" && number < 1) return UsageError(command, "N must be at least 1");
  }

  Library library;
  std::string error;
  if (!library.Load(global.libraryPath, &error)) {
    return Fail("cannot load the library " + global.libraryPath + ": " + error);
  }
  Session session(library);
  if (!session.Open(&error)) return Fail(error);
  if (command == "count") return RunCount(global, args);
  if (command == "merge") return Merge(global, session, args[0], args[1]);
  if (command == "filter") return Filter(session, args[0], args[1], number);
  if (command == "support") return Support(session, args[0], args[1]);
  if (command == "topn") return TopN(session, args[0], args[1], number);
  if (command == "run") return RunPipeline(global, session, args, nullptr);
  return Demo(global, session, args);
}

}  // namespace
}  // namespace ulo::host

int main(int argc, char** argv) {
  return ulo::host::Main(argc, argv);
}
