#include "count_run.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <system_error>

#include "cli.h"
#include "encoding.h"
#include "progress.h"

namespace ulo::host {
namespace {

namespace fs = std::filesystem;

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Spill files temp1.txt, temp2.txt, ... that a run left in `dir`.
void CountSpillFiles(const std::string& dir, CountSummary* summary) {
  for (int number = 1;; ++number) {
    fs::path file = fs::path(dir) / ("temp" + std::to_string(number) + ".txt");
    std::ifstream in(file, std::ios::binary);
    if (!in) break;
    ++summary->spillFiles;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
      summary->spillLines += static_cast<uint64_t>(std::count(buffer, buffer + in.gcount(), '\n'));
    }
  }
}

}  // namespace

void AddCountOptions(CLI::App& command, CountOptions* options) {
  command.add_option("CORPUS", options->corpora, "corpus files, one sentence per line")
      ->type_name("FILE")
      ->required();
  command
      .add_option("--window", options->window,
                  "pair every token with the next N tokens of its line")
      ->type_name("N")
      ->check(Int32AtLeast(1))
      ->capture_default_str();
  command.add_flag("--one-way", options->oneWay,
                   "count each pair in reading order only (default: both directions)");
  command.add_flag_callback(
      "--chars", [options] { options->mode = TokenMode::kChars; },
      "every GB2312 Chinese character is a token (default: words separated by white space); "
      "punctuation and ASCII are skipped");
  command
      .add_option("--from", options->from,
                  "convert the corpora from ENCODING (for example UTF-8) to GB2312; characters "
                  "without a GB2312 form are skipped and counted")
      ->type_name("ENCODING")
      ->check(KnownEncoding());
}

bool PrepareWorkDir(const std::string& dir, bool clearSpills, std::string* error) {
  std::error_code code;
  fs::create_directories(dir, code);
  if (!fs::is_directory(dir, code)) {
    *error = "cannot create the work directory " + dir +
             (code ? ": " + code.message() : ": a file of that name is in the way");
    return false;
  }
  for (auto it = fs::directory_iterator(dir, code); !code && it != fs::directory_iterator();
       it.increment(code)) {
    std::string name = it->path().filename().string();
    bool spill = name.size() > 8 && name.compare(0, 4, "temp") == 0 &&
                 name.compare(name.size() - 4, 4, ".txt") == 0;
    if (clearSpills && spill && it->is_regular_file()) {
      fs::remove(it->path(), code);
      if (code) break;
      continue;
    }
    *error = "the work directory " + dir +
             " is not empty (the merge would take every file in it as input)";
    return false;
  }
  if (code) {
    *error = "cannot read the work directory " + dir + ": " + code.message();
    return false;
  }
  return true;
}

int CountCorpora(const std::string& command, Session& session, const CountOptions& options,
                 const std::string& workDir, bool progressShown, CountSummary* summary) {
  std::optional<Converter> converter;
  if (!options.from.empty()) {
    converter.emplace();
    std::string error;
    if (!converter->Open(options.from, "GB2312", &error)) return Fail(command + ": " + error);
  }
  // Open every corpus before the run starts, so a typo costs nothing.
  std::vector<File> files;
  for (const std::string& path : options.corpora) {
    std::string problem = InputFileProblem(path, InputKind::kCorpus, options.from.empty());
    if (problem.empty()) {
      files.emplace_back(std::fopen(path.c_str(), "rb"));
      if (!files.back()) problem = std::strerror(errno);
    }
    if (!problem.empty()) {
      return Fail(command + ": cannot read the corpus " + path + ": " + problem);
    }
  }

  int32_t status = session.Begin(workDir);
  if (status != 0) {
    return Fail(command + ": cannot open a counting run in " + workDir + " (status " +
                StatusText(status) + ")");
  }
  Progress progress("count", progressShown);
  std::vector<std::string_view> tokens;
  std::string converted;
  char* line = nullptr;
  size_t capacity = 0;
  int result = 0;
  for (size_t f = 0; f < files.size() && result == 0; ++f) {
    ssize_t length;
    while (result == 0 && (length = getline(&line, &capacity, files[f].get())) >= 0) {
      ++summary->lines;
      std::string_view text(line, static_cast<size_t>(length));
      // Text that is not what it claims to be is refused, not counted as
      // noise. Through --from, the converter judges the encoding.
      std::string problem = CorpusLineProblem(text, !converter);
      uint64_t invalidBefore = converter ? converter->invalid() : 0;
      if (problem.empty() && converter) {
        converted.clear();
        converter->Convert(text, &converted);
        text = converted;
        if (converter->invalid() != invalidBefore) problem = "not valid " + options.from;
      }
      if (!problem.empty()) {
        result = Fail(command + ": cannot count the corpus " + options.corpora[f] + ": line " +
                      std::to_string(summary->lines) + ": " + problem);
        break;
      }
      Tokenize(text, options.mode, &tokens);
      ForEachPair(tokens, options.window, [&](std::string_view a, std::string_view b) {
        if (result != 0) return;
        int32_t added = session.AddPair(a, b, 1, options.oneWay);
        if (added != 0) {
          result = Fail(command + ": the library refused a pair while counting " +
                        options.corpora[f] + " (status " + StatusText(added) +
                        "; a spill file in " + workDir + " may not have been written)");
          return;
        }
        ++summary->pairsFed;
      });
      progress.Counting(summary->lines, summary->pairsFed);
    }
    if (result == 0 && std::ferror(files[f].get())) {
      result = Fail(command + ": cannot read the corpus " + options.corpora[f] + ": " +
                    std::strerror(errno));
    }
  }
  std::free(line);
  files.clear();
  progress.Stop();
  status = session.End();
  if (result != 0) return result;
  if (status != 0) {
    return Fail(command + ": the counting run in " + workDir + " failed at its end (status " +
                StatusText(status) + ")");
  }
  summary->seconds = progress.ElapsedSeconds();
  if (converter) {
    summary->unrepresentable = converter->unrepresentable();
    summary->invalid = converter->invalid();
  }
  CountSpillFiles(workDir, summary);
  return 0;
}

void PrintCountSummary(const CountSummary& summary, const CountOptions& options) {
  std::printf("lines read         %s\n", Grouped(summary.lines).c_str());
  std::printf("pairs fed          %s (%s)\n", Grouped(summary.pairsFed).c_str(),
              options.oneWay ? "one way" : "both directions counted");
  std::printf("spill files        %s (%s lines)\n", Grouped(summary.spillFiles).c_str(),
              Grouped(summary.spillLines).c_str());
  if (!options.from.empty()) {
    std::printf("skipped characters %s without a GB2312 form, %s invalid bytes\n",
                Grouped(summary.unrepresentable).c_str(), Grouped(summary.invalid).c_str());
  }
}

}  // namespace ulo::host
