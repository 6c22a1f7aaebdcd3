#pragma once
// The build date written into the settings (a UTC SYSTEMTIME in the 24-byte
// date-time record). Reproducible builds pin it with SOURCE_DATE_EPOCH.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/bytes.h"

namespace ks::authoring {

struct SystemTime {
  std::uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
  std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// Seconds since 1970-01-01 00:00 UTC as a UTC calendar time (proleptic Gregorian).
SystemTime FromUnixSeconds(std::int64_t seconds);

// The 24 bytes of the date-time record: the SYSTEMTIME's eight u16 values,
// then eight reserved zero bytes. No date gives 24 zero bytes.
Bytes DateRecord(const std::optional<SystemTime>& date);

// Parses SOURCE_DATE_EPOCH's value: decimal seconds from 0 up to the year 9999.
std::optional<std::int64_t> ParseSourceDateEpoch(const std::string& text);

// The build date as the options and the environment decide: nothing with
// --no-date, else SOURCE_DATE_EPOCH when it is set, else the current time.
// A malformed SOURCE_DATE_EPOCH is an error (error is set, ok false) rather
// than a silent fall-back to the clock, which would break reproducibility.
struct BuildDateResult {
  bool ok = true;
  std::string error;
  std::optional<SystemTime> date;
};
BuildDateResult ChooseBuildDate(bool no_date, const char* source_date_epoch, std::int64_t now_seconds);

}  // namespace ks::authoring
