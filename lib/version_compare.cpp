#include "lib/version_compare.h"

#include <cstdio>
#include <vector>

namespace ks {
namespace {

struct ParsedVersion {
  std::vector<std::uint64_t> numbers;
  char letter = 0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char LowerLetter(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Saturates instead of wrapping, so that an absurdly long run of digits still
// compares as large rather than as some small remainder.
std::uint64_t AppendDigit(std::uint64_t value, char digit) {
  const std::uint64_t d = static_cast<std::uint64_t>(digit - '0');
  if (value > (UINT64_MAX - d) / 10) return UINT64_MAX;
  return value * 10 + d;
}

ParsedVersion ParseVersion(NStringView text) {
  ParsedVersion out;
  bool in_number = false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (IsDigit(c)) {
      value = in_number ? AppendDigit(value, c) : static_cast<std::uint64_t>(c - '0');
      in_number = true;
      continue;
    }
    if (in_number) out.numbers.push_back(value);
    else if (c == '.') out.numbers.push_back(0);
    in_number = false;
    if (IsLetter(c)) out.letter = LowerLetter(c);
  }
  if (in_number) out.numbers.push_back(value);
  return out;
}

int Sign(std::int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

}  // namespace

int CompareVersions(NStringView a, NStringView b) {
  const ParsedVersion pa = ParseVersion(a);
  const ParsedVersion pb = ParseVersion(b);
  const std::size_t common = pa.numbers.size() < pb.numbers.size() ? pa.numbers.size() : pb.numbers.size();
  for (std::size_t i = 0; i < common; ++i) {
    if (pa.numbers[i] != pb.numbers[i]) return pa.numbers[i] < pb.numbers[i] ? -1 : 1;
  }
  if (pa.numbers.size() != pb.numbers.size()) return pa.numbers.size() < pb.numbers.size() ? -1 : 1;
  return Sign(static_cast<unsigned char>(pa.letter) - static_cast<unsigned char>(pb.letter));
}

bool RecordDate::operator==(const RecordDate& o) const {
  return year == o.year && month == o.month && day == o.day && hour == o.hour && minute == o.minute &&
         second == o.second;
}

int CompareDates(const RecordDate& a, const RecordDate& b) {
  if (a.has_day() != b.has_day()) return a.has_day() ? -1 : 1;
  if (a.has_day()) {
    if (a.year != b.year) return a.year < b.year ? -1 : 1;
    if (a.month != b.month) return a.month < b.month ? -1 : 1;
    if (a.day != b.day) return a.day < b.day ? -1 : 1;
  }
  if (a.has_time() != b.has_time()) return a.has_time() ? -1 : 1;
  if (!a.has_time()) return 0;
  const std::int64_t sa = std::int64_t{a.hour} * 3600 + std::int64_t{a.minute} * 60 + a.second;
  const std::int64_t sb = std::int64_t{b.hour} * 3600 + std::int64_t{b.minute} * 60 + b.second;
  const std::int64_t diff = sa - sb;
  if (diff > -2 && diff < 2) return 0;
  return Sign(diff);
}

NString FormatRecordDate(const RecordDate& d) {
  static const char kFormat[] = "%d/%02d/%02d %02d:%02d:%02d";
  const int n = std::snprintf(nullptr, 0, kFormat, d.year, d.month, d.day, d.hour, d.minute, d.second);
  if (n <= 0) return NString();
  NString out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), kFormat, d.year, d.month, d.day, d.hour, d.minute, d.second);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

}  // namespace ks
