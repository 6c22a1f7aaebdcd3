#include "lib/version_compare.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(CompareVersions, NumbersThenLengthThenLetter) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"1.9", "2.0", -1},
      {"2.0", "1.9", 1},
      {"1.2", "1.2.0", -1},  // fewer components is older
      {"1.2.0", "1.2", 1},
      {"1.10", "1.9", 1},    // numbers, not text
      {"1.2", "1.2", 0},
      {"1.2b", "1.2a", 1},   // equal numbers: the letter decides
      {"1.2", "1.2a", -1},   // no letter counts as 0
      {"1.2A", "1.2a", 0},   // letters compare without case
      {".5", "0.5", 0},      // a dot before any digit is a 0 component
      {"1..2", "1.0.2", 0},
      {"1a2", "1.2", 1},     // the letter ends the number: [1, 2] with letter a
      {"3, 1, 0", "3.1.0", 0},
      {"", "", 0},
      {"", "0", -1},
      {"99999999999999999999999", "1", 1},  // saturates instead of wrapping
  };
  for (const Case& c : cases) EXPECT_EQ(CompareVersions(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

RecordDate Date(int y, int mo, int d, int h, int mi, int s) {
  RecordDate r;
  r.year = y, r.month = mo, r.day = d, r.hour = h, r.minute = mi, r.second = s;
  return r;
}

TEST(CompareDates, DayThenTimeWithTwoSecondTolerance) {
  struct Case {
    RecordDate a, b;
    int expected;
  };
  const Case cases[] = {
      {Date(2024, 1, 1, 0, 0, 0), Date(2023, 12, 31, 23, 59, 59), 1},
      {Date(2024, 2, 1, 0, 0, 0), Date(2024, 1, 31, 0, 0, 0), 1},
      {Date(2024, 2, 1, 0, 0, 0), Date(2024, 2, 2, 0, 0, 0), -1},
      {Date(2024, 2, 1, 10, 0, 1), Date(2024, 2, 1, 10, 0, 0), 0},   // under 2 s: equal
      {Date(2024, 2, 1, 10, 0, 0), Date(2024, 2, 1, 10, 0, 1), 0},
      {Date(2024, 2, 1, 10, 0, 2), Date(2024, 2, 1, 10, 0, 0), 1},   // 2 s: later
      {Date(2024, 2, 1, 9, 59, 58), Date(2024, 2, 1, 10, 0, 0), -1},
      {Date(0, 0, 0, 10, 0, 0), Date(2030, 1, 1, 10, 0, 0), 1},      // no day part: later
      {Date(2030, 1, 1, 10, 0, 0), Date(0, 0, 0, 10, 0, 0), -1},
      {Date(2024, 2, 1, -1, 0, 0), Date(2024, 2, 1, 23, 59, 59), 1}, // no time part: later
      {Date(2024, 2, 1, -1, 0, 0), Date(2024, 2, 1, -1, 5, 0), 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompareDates(c.a, c.b), c.expected) << FormatRecordDate(c.a) << " vs " << FormatRecordDate(c.b);
}

TEST(FormatRecordDate, YearThenTwoDigitFields) {
  EXPECT_EQ(FormatRecordDate(Date(2024, 3, 7, 9, 5, 1)), "2024/03/07 09:05:01");
  EXPECT_EQ(FormatRecordDate(RecordDate()), "0/00/00 -1:00:00");  // a record without a date
  EXPECT_EQ(FormatRecordDate(Date(-2147483647 - 1, 12, 31, 23, 59, 59)), "-2147483648/12/31 23:59:59");
}

}  // namespace
}  // namespace ks
