#include "engine/file_removal_rules.h"

#include <algorithm>
#include <limits>

namespace ks {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of digits at `pos` (at most 9, which keeps it in range).
bool ReadNumber(NStringView text, std::size_t& pos, std::int32_t* out) {
  std::size_t start = pos;
  std::int64_t value = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    if (pos - start < 9) value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == start) return false;
  *out = static_cast<std::int32_t>(value);
  return true;
}

bool ReadSeparator(NStringView text, std::size_t& pos, NStringView separators) {
  if (pos >= text.size() || separators.find(text[pos]) == NStringView::npos) return false;
  ++pos;
  return true;
}

void SkipBlanks(NStringView text, std::size_t& pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
}

bool IsLeapYear(std::int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::int32_t DaysInMonth(std::int32_t year, std::int32_t month) {
  static const std::int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// " hour:minute[:second]" after the date; hour -1 when it is not a valid time.
void ReadTime(NStringView text, std::size_t pos, RecordDate* d) {
  d->hour = -1;
  SkipBlanks(text, pos);
  std::int32_t h = 0, m = 0, s = 0;
  if (!ReadNumber(text, pos, &h) || !ReadSeparator(text, pos, ":") || !ReadNumber(text, pos, &m)) return;
  if (ReadSeparator(text, pos, ":") && !ReadNumber(text, pos, &s)) return;
  if (h > 23 || m > 59 || s > 59) return;
  d->hour = h, d->minute = m, d->second = s;
}

int Compare(std::int64_t a, std::int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

int CompareDays(const RecordDate& a, const RecordDate& b) {
  if (int c = Compare(a.year, b.year)) return c;
  if (int c = Compare(a.month, b.month)) return c;
  return Compare(a.day, b.day);
}

int CompareFileWithValue(const RecordDate& file, const RecordDate& value) {
  if (int c = CompareDays(file, value)) return c;
  if (!value.has_time()) return 0;
  return Compare(file.hour * 3600 + file.minute * 60 + file.second,
                 value.hour * 3600 + value.minute * 60 + value.second);
}

}  // namespace

bool ParseDeletionDate(NStringView text, RecordDate* out) {
  std::size_t pos = 0;
  SkipBlanks(text, pos);
  RecordDate d;
  if (!ReadNumber(text, pos, &d.year) || !ReadSeparator(text, pos, "/-.") || !ReadNumber(text, pos, &d.month) ||
      !ReadSeparator(text, pos, "/-.") || !ReadNumber(text, pos, &d.day))
    return false;
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > DaysInMonth(d.year, d.month)) return false;
  ReadTime(text, pos, &d);
  *out = d;
  return true;
}

std::int64_t ParseDeletionSize(NStringView text) {
  std::size_t pos = 0;
  SkipBlanks(text, pos);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  std::int64_t value = 0;
  const std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  while (pos < text.size() && IsDigit(text[pos])) {
    value = std::min(value * 10 + (text[pos++] - '0'), limit);
  }
  if (negative) return -value;
  return std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max());
}

bool IsDateCondition(std::uint8_t condition) {
  return condition >= kDeleteWhenDateEqual && condition <= kDeleteWhenDateUntil;
}

DeletionTest TestDeletionCondition(const ConditionalDeletion& r, const RecordDate& file_time, std::uint64_t size) {
  const auto verdict = [](bool holds) { return holds ? DeletionTest::kDelete : DeletionTest::kKeep; };
  if (IsDateCondition(r.condition)) {
    RecordDate value;
    if (!ParseDeletionDate(r.condition_value, &value)) return DeletionTest::kCorrupt;
    const int c = CompareFileWithValue(file_time, value);
    if (r.condition == kDeleteWhenDateEqual) return verdict(c == 0);
    if (r.condition == kDeleteWhenDateFrom) return verdict(c >= 0);
    return verdict(c <= 0);
  }
  const std::int64_t value = ParseDeletionSize(r.condition_value);
  const std::int64_t file = size > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                                ? std::numeric_limits<std::int64_t>::max()
                                : static_cast<std::int64_t>(size);
  switch (r.condition) {
    case kDeleteWhenSizeEqual: return verdict(file == value);
    case kDeleteWhenSizeAtLeast: return verdict(file >= value);
    case kDeleteWhenSizeAtMost: return verdict(file <= value);
    default: return DeletionTest::kDelete;
  }
}

namespace {

char16_t Folded(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool Matches(WStringView name, WStringView pattern) {
  // Iterative, with one back-up point for the last "*": linear in practice,
  // and no recursion a long hostile pattern could exhaust.
  std::size_t n = 0, p = 0;
  std::size_t star = WStringView::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || Folded(pattern[p]) == Folded(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (star != WStringView::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesFileNamePattern(WStringView name, WStringView pattern) {
  if (Matches(name, pattern)) return true;
  // "name.*" also takes "name" itself.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" && name.find(u'.') == WStringView::npos)
    return Matches(name, pattern.substr(0, pattern.size() - 2));
  return false;
}

}  // namespace ks
