#include "authoring/build_date.h"

namespace ks::authoring {
namespace {

// 253402300799 is 9999-12-31 23:59:59 UTC, the last second a SYSTEMTIME holds.
constexpr std::int64_t kLastSecond = 253402300799;

// Days since 1970-01-01 to civil date (Howard Hinnant's days_from_civil inverse).
void CivilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

SystemTime FromUnixSeconds(std::int64_t seconds) {
  const std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const std::int64_t rest = seconds - days * 86400;
  int y;
  unsigned m, d;
  CivilFromDays(days, y, m, d);
  SystemTime t;
  t.year = static_cast<std::uint16_t>(y);
  t.month = static_cast<std::uint16_t>(m);
  t.day = static_cast<std::uint16_t>(d);
  t.day_of_week = static_cast<std::uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
  t.hour = static_cast<std::uint16_t>(rest / 3600);
  t.minute = static_cast<std::uint16_t>(rest / 60 % 60);
  t.second = static_cast<std::uint16_t>(rest % 60);
  return t;
}

Bytes DateRecord(const std::optional<SystemTime>& date) {
  ByteWriter w;
  const SystemTime t = date.value_or(SystemTime{});
  for (std::uint16_t v : {t.year, t.month, t.day_of_week, t.day, t.hour, t.minute, t.second, t.milliseconds}) {
    w.U16(v);
  }
  w.U64(0);
  return w.Take();
}

std::optional<std::int64_t> ParseSourceDateEpoch(const std::string& text) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const std::int64_t v = std::stoll(text);
  if (v > kLastSecond) return std::nullopt;
  return v;
}

BuildDateResult ChooseBuildDate(bool no_date, const char* source_date_epoch, std::int64_t now_seconds) {
  BuildDateResult r;
  if (no_date) return r;
  if (source_date_epoch) {
    const auto seconds = ParseSourceDateEpoch(source_date_epoch);
    if (!seconds) {
      r.ok = false;
      r.error = std::string("SOURCE_DATE_EPOCH: expected decimal seconds since 1970-01-01 UTC (up to the "
                            "year 9999), found \"") + source_date_epoch + "\"";
      return r;
    }
    r.date = FromUnixSeconds(*seconds);
    return r;
  }
  r.date = FromUnixSeconds(now_seconds);
  return r;
}

}  // namespace ks::authoring
