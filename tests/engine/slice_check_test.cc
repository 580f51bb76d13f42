// A file checked slice by slice, as a merge in key ranges checks it, must
// find a flaw exactly when the whole file's check does, wherever it is cut.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/files/pair_check.h"
#include "engine/merge/slice_feed.h"

namespace ulo::engine {
namespace {

struct Flaw {
  const char* name;
  const char* line;  // put in place of a line of the sorted file
};

TEST(SliceCheck, EveryCutFindsTheFlawsOfTheWholeFile) {
  const std::vector<std::string> sorted = {"a\tx\t1", "b\tx\t2", "b\ty\t3", "c\tx\t4",
                                           "d\tx\t5", "d\ty\t6", "e\tx\t7"};
  const Flaw flaws[] = {{"none", nullptr},     {"order", "a\tw\t1"},
                        {"repeat", "b\tx\t9"}, {"count", "c\tz\t1x"},
                        {"one field", "c\tz"}, {"CR LF kept sorted", "c\tx\t4\r"}};
  for (const Flaw& flaw : flaws) {
    SCOPED_TRACE(flaw.name);
    for (size_t at = 0; at < sorted.size(); ++at) {
      SCOPED_TRACE(at);
      std::string file;
      std::vector<size_t> starts;
      for (size_t i = 0; i < sorted.size(); ++i) {
        starts.push_back(file.size());
        file += (flaw.line != nullptr && i == at ? flaw.line : sorted[i]) + std::string("\n");
      }
      bool whole = !PairLinesProblem({}, file, kMergedPairs).empty();
      // Two cuts at any line starts: three slices, empty ones included.
      starts.push_back(file.size());
      for (size_t first : starts) {
        for (size_t second : starts) {
          if (second < first) continue;
          bool found = false;
          for (auto [begin, end] : {std::pair{size_t{0}, first}, std::pair{first, second},
                                    std::pair{second, file.size()}}) {
            found = found || !SliceProblem({file, begin, end, true}).empty();
          }
          EXPECT_EQ(found, whole) << "cut at bytes " << first << " and " << second;
        }
      }
    }
  }
}

}  // namespace
}  // namespace ulo::engine
