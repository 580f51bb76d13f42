// ulo export: pairs or a ranking for spreadsheets, data frames and graph tools.
#include <memory>

#include "engine/export/export.h"
#include "host/commands/commands.h"

namespace ulo::host {

Runner AddExportCommand(CLI::App& app) {
  struct Arguments {
    FileArguments files;
    ExportOptions settings;
  };
  auto args = std::make_shared<Arguments>();
  args->settings.rank.top = 0;  // every pair unless --top
  CLI::App* command = AddCommand(
      app, "export",
      "PAIRS_OR_RANKED OUT [--format csv|gexf|graphml] [--measure M] [--top N] [--min-count C] "
      "[--to ENCODING] ...",
      "Write pairs or a ranking for other tools, in UTF-8 (a CSV also in another, --to).\n"
      "CSV has a header line: 'word1,word2,count,score,frequency1,frequency2' for a\n"
      "pair-count file, 'word,other,score,count,side' for a ranking (what 'ulo rank'\n"
      "writes). GEXF 1.3 (Gephi) and GraphML (networkx, Gephi) hold the words as nodes\n"
      "with their frequency (label, frequency) and the pairs as edges with count\n"
      "(also as weight) and score by the measure. Pairs counted both ways give an\n"
      "undirected graph with each pair once; counted one way (--one-way), a directed\n"
      "graph from word1 to the word2 that followed it. A ranking gives a directed graph\n"
      "from each word to its associated words, with their side; its scores are kept and\n"
      "--measure does not apply. The format follows OUT's extension unless --format.");
  command->add_option("PAIRS_OR_RANKED", args->files.in, "a merged pair-count file or a ranking")
      ->required();
  command->add_option("OUT", args->files.out, "the file to write (.csv, .gexf, .graphml)")
      ->required();
  command->add_option("--format", args->settings.format, "csv, gexf or graphml")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"csv", "gexf", "graphml"}));
  AddMeasureOption(*command, &args->settings.rank.measure);
  AddRankOptions(*command, &args->settings.rank,
                 "only pairs among either word's N best (default: every pair); of a ranking, "
                 "each word's first N lines",
                 nullptr);
  command
      ->add_option("--to", args->settings.rank.to,
                   "the encoding of a CSV (GEXF and GraphML are UTF-8)")
      ->type_name("ENCODING")
      ->check(WritableEncoding())
      ->capture_default_str();
  return [args](Host& host) {
    ExportOptions settings = args->settings;
    settings.top = settings.rank.top;
    uint64_t lossy = 0;
    std::string failure =
        ExportFile(args->files.in, args->files.out, settings, host.options().operations(), &lossy);
    if (!failure.empty()) return Fail("export: " + failure);
    if (lossy > 0) Tell("export: " + LossyWordsNote(lossy, settings.rank.to));
    return 0;
  };
}

}  // namespace ulo::host
