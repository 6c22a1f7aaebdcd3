#include "engine/file_removal_rules.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

RecordDate At(int y, int mo, int d, int h = -1, int mi = 0, int s = 0) {
  RecordDate r;
  r.year = y, r.month = mo, r.day = d, r.hour = h, r.minute = mi, r.second = s;
  return r;
}

TEST(ParseDeletionDate, FormsAndImpossibleDates) {
  RecordDate d;
  ASSERT_TRUE(ParseDeletionDate("2024/02/29 13:05:09", &d));
  EXPECT_EQ(d, At(2024, 2, 29, 13, 5, 9));
  ASSERT_TRUE(ParseDeletionDate("2024-3-4", &d));
  EXPECT_EQ(d, At(2024, 3, 4));
  ASSERT_TRUE(ParseDeletionDate(" 2024.12.31 7:08", &d));
  EXPECT_EQ(d, At(2024, 12, 31, 7, 8, 0));
  // A time out of range counts as no time: only the day is compared.
  ASSERT_TRUE(ParseDeletionDate("2024/1/1 24:00:00", &d));
  EXPECT_FALSE(d.has_time());
  ASSERT_TRUE(ParseDeletionDate("2024/1/1 10:60", &d));
  EXPECT_FALSE(d.has_time());
  for (const char* corrupt : {"", "/02/03", "2023/02/29", "2024/13/01", "2024/0/10", "2024/04/31", "2024/1/0",
                              "2024/1", "yesterday"}) {
    EXPECT_FALSE(ParseDeletionDate(corrupt, &d)) << corrupt;
  }
}

TEST(ParseDeletionSize, SignedThirtyTwoBit) {
  EXPECT_EQ(ParseDeletionSize("0"), 0);
  EXPECT_EQ(ParseDeletionSize(" 1234 bytes"), 1234);
  EXPECT_EQ(ParseDeletionSize("-5"), -5);
  EXPECT_EQ(ParseDeletionSize("99999999999"), 2147483647);
  EXPECT_EQ(ParseDeletionSize("-99999999999"), -2147483648LL);
  EXPECT_EQ(ParseDeletionSize("abc"), 0);
}

struct Case {
  std::uint8_t condition;
  const char* value;
  RecordDate file_time;
  std::uint64_t size;
  DeletionTest expected;
};

TEST(TestDeletionCondition, Table) {
  const RecordDate noon = At(2024, 3, 4, 12, 0, 0);
  const std::vector<Case> cases = {
      {0, "", noon, 5, DeletionTest::kDelete},
      {9, "garbage", noon, 5, DeletionTest::kDelete},  // unknown codes delete without condition
      {1, "2024/03/04 12:00:00", noon, 0, DeletionTest::kDelete},
      {1, "2024/03/04 12:00:01", noon, 0, DeletionTest::kKeep},
      {1, "2024/03/04", noon, 0, DeletionTest::kDelete},  // no time: the day decides
      {1, "2024/03/04 25:00", noon, 0, DeletionTest::kDelete},
      {2, "2024/03/04 11:59:59", noon, 0, DeletionTest::kDelete},
      {2, "2024/03/04 12:00:01", noon, 0, DeletionTest::kKeep},
      {2, "2024/03/05", noon, 0, DeletionTest::kKeep},
      {3, "2024/03/04 12:00:00", noon, 0, DeletionTest::kDelete},
      {3, "2024/03/03", noon, 0, DeletionTest::kKeep},
      {3, "2025/01/01", noon, 0, DeletionTest::kDelete},
      {1, "2024/02/30", noon, 0, DeletionTest::kCorrupt},
      {2, "", noon, 0, DeletionTest::kCorrupt},
      {4, "0", noon, 0, DeletionTest::kDelete},
      {4, "0", noon, 1, DeletionTest::kKeep},
      {5, "10", noon, 10, DeletionTest::kDelete},
      {5, "10", noon, 9, DeletionTest::kKeep},
      {5, "-1", noon, 0, DeletionTest::kDelete},
      {6, "10", noon, 10, DeletionTest::kDelete},
      {6, "10", noon, 11, DeletionTest::kKeep},
      {6, "2147483647", noon, 0x100000000ull, DeletionTest::kKeep},  // 64-bit file size
  };
  for (const Case& c : cases) {
    ConditionalDeletion r;
    r.condition = c.condition;
    r.condition_value = c.value;
    EXPECT_EQ(TestDeletionCondition(r, c.file_time, c.size), c.expected)
        << int(c.condition) << " " << c.value << " size " << c.size;
  }
}

TEST(FileRemovalRules, PatternsMatchTheLongNameOnly) {
  const struct {
    const char16_t* name;
    const char16_t* pattern;
    bool matches;
  } cases[] = {
      {u"a.tmp", u"*.tmp", true},
      {u"data.tmpl", u"*.tmp", false},  // the system would find its short name DATA~1.TMP
      {u"DATA.TMP", u"*.tmp", true},
      {u"x.tmp.bak", u"*.tmp", false},
      {u"log1.txt", u"log?.txt", true},
      {u"log12.txt", u"log?.txt", false},
      {u"readme", u"*.*", true},
      {u"readme", u"read*.*", true},
      {u"readme.txt", u"*.*", true},
      {u"abc", u"*", true},
      {u"", u"*", true},
      {u"a.b.c", u"*.c", true},
      {u"aaaaaaaaaaaaaaaaaaaaab", u"*a*a*a*a*a*c", false},
      {u"caf\u00e9.dat", u"caf?.dat", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchesFileNamePattern(c.name, c.pattern), c.matches)
        << WideToUtf8(c.name) << " ~ " << WideToUtf8(c.pattern);
  }
}

}  // namespace
}  // namespace ks
