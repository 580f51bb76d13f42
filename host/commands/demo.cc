// ulo demo: the whole pipeline on a corpus every machine can have.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "host/commands/commands.h"
#include "host/commands/demo_corpus.h"

namespace ulo::host {
namespace {

namespace fs = std::filesystem;

const char kDefaultCorpus[] = "/usr/share/games/fortunes/tang300";

}  // namespace

Runner AddDemoCommand(CLI::App& app) {
  struct Arguments {
    std::string out = "ulo-demo";
    std::string corpus;
  };
  auto args = std::make_shared<Arguments>();
  CLI::App* command = AddCommand(
      app, "demo", "[--out DIR] [--corpus FILE]",
      "Run the pipeline on the default corpus and show results.\n"
      "Runs the whole pipeline on the Tang poems of Debian's fortunes-zh package (UTF-8,\n"
      "Chinese characters as tokens) or, when they are not installed, on a synthetic\n"
      "corpus, then shows the words most associated with a few characters.");
  command->add_option("--out", args->out, "directory for the results")
      ->type_name("DIR")
      ->capture_default_str();
  command->add_option("--corpus", args->corpus, "a UTF-8 corpus instead of the poems")
      ->type_name("FILE");
  return [args](Host& host) {
    std::error_code code;
    fs::create_directories(args->out, code);
    std::string corpus = args->corpus;
    if (corpus.empty()) {
      if (fs::exists(kDefaultCorpus, code)) {
        corpus = kDefaultCorpus;
        std::printf("corpus: the Tang poems of %s\n\n", kDefaultCorpus);
      } else {
        corpus = (fs::path(args->out) / "synthetic-corpus.txt").string();
        if (!WriteSyntheticCorpus(corpus)) return Fail("demo: cannot write " + corpus);
        std::printf(
            "corpus: %s is not installed (Debian package fortunes-zh), so ulo generated a\n"
            "synthetic corpus of classical-style lines: %s\n\n",
            kDefaultCorpus, corpus.c_str());
      }
    }
    PipelineOptions options;
    options.count.corpora = {corpus};
    options.count.mode = TokenMode::kChars;
    options.count.from = "UTF-8";
    options.count.window = 2;
    options.out = args->out;
    options.top = 16;
    options.threshold = 5;
    options.topn = true;  // the library's own view by confidence, before llr's
    std::string topn;
    if (int failed = RunPipeline(host, options, &topn)) return failed;
    std::printf("\n");
    std::vector<std::string> words(std::begin(kDemoWords), std::end(kDemoWords));
    // The words are this file's, in UTF-8, whatever the terminal's encoding.
    if (int failed = ShowTopN(topn, words, "UTF-8", "UTF-8", 0)) return failed;
    // The same words by the log-likelihood ratio, which discounts frequency.
    std::string pairs = (fs::path(args->out) / "pairs.txt").string();
    RankOptions rank;
    rank.measure = Measure::kLlr;
    rank.top = 8;
    rank.minCount = 2;
    std::printf("by the log-likelihood ratio (ulo show --measure llr):\n\n");
    if (int failed = ShowRanked(pairs, words, "UTF-8", "UTF-8", rank, true))  // just written
      return failed;
    GraphOptions graph;
    graph.pairs = pairs;
    graph.words = words;
    graph.encoding = "UTF-8";
    graph.out = (fs::path(args->out) / "neighbours.svg").string();
    graph.rank = rank;
    graph.trustInput = true;
    std::printf("picture of their neighbourhoods: ");
    std::fflush(stdout);
    if (int failed = DrawGraph(graph)) return failed;
    return 0;
  };
}

}  // namespace ulo::host
