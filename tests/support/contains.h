// A substring check whose failure shows the whole text searched.
#ifndef ULO_TESTS_SUPPORT_CONTAINS_H_
#define ULO_TESTS_SUPPORT_CONTAINS_H_

#include <gtest/gtest.h>

#include <string>

namespace ulo::testing {

// Whether `text` holds `part`; a failed EXPECT_TRUE or EXPECT_FALSE shows both.
inline ::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
  bool found = text.find(part) != std::string::npos;
  return (found ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
         << "\"" << part << (found ? "\" is in:\n" : "\" is not in:\n") << text;
}

}  // namespace ulo::testing

#endif  // ULO_TESTS_SUPPORT_CONTAINS_H_
