// The support records' text as the tests expect it, labels in GB2312.
#ifndef ULO_TESTS_SUPPORT_SUPPORT_RECORD_H_
#define ULO_TESTS_SUPPORT_SUPPORT_RECORD_H_

#include <string>

namespace ulo::testing {

inline std::string SupportRecord(const std::string& base, const std::string& associated,
                                 const std::string& confidence, const std::string& support) {
  return "<rec>\n<\xBB\xF9\xD7\xBC\xB9\xE6\xD4\xF2>=" + base +
         "\n<\xB9\xD8\xC1\xAA\xB9\xE6\xD4\xF2>=" + associated +
         "\n<\xD6\xC3\xD0\xC5\xB6\xC8>=" + confidence + "\n<\xD6\xA7\xB3\xD6\xB6\xC8>=" + support +
         "\n";
}

// A line's two records, word1's first.
inline std::string SupportRecords(const std::string& word1, const std::string& word2,
                                  const std::string& confidence1, const std::string& confidence2,
                                  const std::string& support) {
  return SupportRecord(word1, word2, confidence1, support) +
         SupportRecord(word2, word1, confidence2, support);
}

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_SUPPORT_RECORD_H_
