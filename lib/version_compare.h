#pragma once
// Version and date comparison: the pure rules behind "is the file newer?".

#include <cstdint>

#include "lib/text.h"

namespace ks {

// Compares two version texts. Runs of digits are numbers; a "." met before
// any digit of a component counts as a 0 component; a letter is remembered
// (the last one wins) and ends the number in front of it. The lists are
// compared number by number; a list that ends first is the older; equal lists
// are decided by the remembered letter (none counts as 0).
// Returns -1 when a is older, 0 when equal, 1 when a is newer.
int CompareVersions(NStringView a, NStringView b);

// A date as the file records carry it (UTC). A month of 0 means "no day
// part", a negative hour "no time part".
struct RecordDate {
  std::int32_t year = 0, month = 0, day = 0, hour = -1, minute = 0, second = 0;

  bool has_day() const { return month != 0; }
  bool has_time() const { return hour >= 0; }
  bool is_real() const { return has_day() && has_time(); }
  bool operator==(const RecordDate& o) const;
};

// Compares by year, month and day, then by time of day in seconds; less than
// 2 seconds apart counts as equal (FAT keeps times in 2-second steps). A
// missing day part is later than any real day, a missing time part later
// than any real time. Returns -1, 0 or 1 (a earlier, equal, later).
int CompareDates(const RecordDate& a, const RecordDate& b);

// "%d/%02d/%02d %02d:%02d:%02d"
NString FormatRecordDate(const RecordDate& date);

}  // namespace ks
