// Times one ULO_MulMergeFile call of the shared library.
//
//   merge_bench INPUT_DIR OUTPUT
// Prints the seconds the call took; exits with 1 when it returned non-zero.
#include <chrono>
#include <cstdio>

#include "vorn_ulo.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: merge_bench INPUT_DIR OUTPUT\n", stderr);
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  int32_t result = ULO_MulMergeFile(argv[1], argv[2]);
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.3f\n", elapsed.count());
  if (result != 0) {
    std::fprintf(stderr, "merge_bench: ULO_MulMergeFile returned %d\n", static_cast<int>(result));
    return 1;
  }
  return 0;
}
