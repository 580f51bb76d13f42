#include "text/field_cut.h"

#include <gtest/gtest.h>

#include <string>

namespace ulo::text {
namespace {

struct CutCase {
  std::string line;
  CutResult result;
  std::string word1 = "";
  std::string word2 = "";
  std::string rest = "";
};

void ExpectCut(const CutCase& c, const FieldLimits& limits) {
  PairFields fields;
  CutResult result = CutPairLine(c.line, limits, &fields);
  ASSERT_EQ(result, c.result) << "line: " << c.line;
  if (result != CutResult::kCut) return;
  EXPECT_EQ(fields.word1, c.word1);
  EXPECT_EQ(fields.word2, c.word2);
  EXPECT_EQ(fields.rest, c.rest);
}

TEST(FieldCutTest, SplitsAtTheFirstTwoTabs) {
  const CutCase cases[] = {
      {"a\tb\t12\n", CutResult::kCut, "a", "b", "12"},
      {"a\t\t5\n", CutResult::kCut, "a", "", "5"},
      {"a\tb\t\n", CutResult::kCut, "a", "b", ""},
      {"a\tb\t7\tx\n", CutResult::kCut, "a", "b", "7\tx"},
      {"a\tb\t9", CutResult::kCut, "a", "b", "9"},      // last line without LF
      {"a\tb\t9\r", CutResult::kCut, "a", "b", "9\r"},  // a lone CR stays
      {"\xBC\xD7\t\xD2\xD2\t-3\n", CutResult::kCut, "\xBC\xD7", "\xD2\xD2", "-3"},
      {"a\tb\n", CutResult::kNoTabs},
      {"ab\n", CutResult::kNoTabs},
      {"\n", CutResult::kNoTabs},
      {"", CutResult::kNoTabs},
  };
  for (const CutCase& c : cases)
    ExpectCut(c, kFilterLimits);
}

TEST(FieldCutTest, NulEndsTheLine) {
  ExpectCut({std::string("a\0\tb\t1\n", 7), CutResult::kNoTabs}, kFilterLimits);
  ExpectCut({std::string("a\tb\t1\0\t2\n", 9), CutResult::kCut, "a", "b", "1"}, kFilterLimits);
}

TEST(FieldCutTest, FieldsAtTheirLimitsAreTakenWhole) {
  std::string word(127, 'w');
  std::string rest(126, '7');
  ExpectCut({word + "\t" + word + "\t" + rest + "\n", CutResult::kCut, word, word, rest},
            kFilterLimits);
  // The LF counts in the rest: 127 bytes without it still fit when it is missing.
  ExpectCut({"a\tb\t" + rest + "7", CutResult::kCut, "a", "b", rest + "7"}, kFilterLimits);
}

TEST(FieldCutTest, FieldsBeyondTheirLimitsAreRefusedWhole) {
  std::string word(128, 'w');
  ExpectCut({word + "\tb\t1\n", CutResult::kTooLong}, kFilterLimits);
  ExpectCut({"a\t" + word + "\t1\n", CutResult::kTooLong}, kFilterLimits);
  ExpectCut({"a\tb\t" + std::string(127, '7') + "\n", CutResult::kTooLong}, kFilterLimits);
  // Top-N: 63-byte words and a 31-byte rest.
  ExpectCut({std::string(63, 'w') + "\tb\t" + std::string(30, '1') + "\n", CutResult::kCut,
             std::string(63, 'w'), "b", std::string(30, '1')},
            kTopNLimits);
  ExpectCut({std::string(64, 'w') + "\tb\t1\n", CutResult::kTooLong}, kTopNLimits);
  ExpectCut({"a\tb\t" + std::string(31, '1') + "\n", CutResult::kTooLong}, kTopNLimits);
}

TEST(FieldCutTest, SupportLineLimitCountsTheWholeLine) {
  // Two words of 500 bytes fit their fields, but the line passes 1021 bytes.
  std::string word(500, 'w');
  std::string fits = word + "\t" + word + "\t" + std::string(18, '1') + "\n";
  ASSERT_EQ(fits.size(), 1021u);
  ExpectCut({fits, CutResult::kCut, word, word, std::string(18, '1')}, kSupportLimits);
  ExpectCut({word + "\t" + word + "\t" + std::string(19, '1') + "\n", CutResult::kTooLong},
            kSupportLimits);
}

}  // namespace
}  // namespace ulo::text
