// Runs one library operation, or the read-and-scan floor, on a file; the
// statistics benchmark (bench/run, through bench/runner.py) times each run from outside.
//
//   stats_driver support IN OUT      ULO_GetWordSupportRec
//   stats_driver topn IN OUT N       ULO_GetTopNWordSupportRec
//   stats_driver filter IN OUT T     ULO_Filtrate
//   stats_driver scan IN             reads IN in 1 MiB blocks, counts TABs
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vorn_ulo.h"

namespace {

// The floor: what reading the file and looking at every byte costs.
int Scan(const char* path) {
  FILE* in = std::fopen(path, "rb");
  if (in == nullptr) {
    std::perror(path);
    return 1;
  }
  std::vector<char> block(size_t{1} << 20);
  unsigned long long tabs = 0;
  size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), in)) > 0) {
    for (size_t i = 0; i < got; ++i)
      tabs += block[i] == '\t';
  }
  std::fclose(in);
  std::printf("%llu tabs\n", tabs);
  return 0;
}

int Usage() {
  std::fputs("usage: stats_driver support IN OUT | topn IN OUT N | filter IN OUT T | scan IN\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string command = argv[1];
  if (command == "scan" && argc == 3) return Scan(argv[2]);
  if (command == "support" && argc == 4) return ULO_GetWordSupportRec(argv[2], argv[3]) ? 0 : 1;
  if (command == "topn" && argc == 5) {
    return ULO_GetTopNWordSupportRec(argv[2], argv[3], std::atoi(argv[4])) ? 0 : 1;
  }
  if (command == "filter" && argc == 5) {
    return ULO_Filtrate(argv[2], argv[3], std::atoi(argv[4])) ? 0 : 1;
  }
  return Usage();
}
