#pragma once
// The conditions of the conditional deletions as pure functions: the date
// value's text, the size value and the test of one file against a record.

#include <cstdint>

#include "lib/version_compare.h"
#include "lib/text.h"
#include "records/uninstall_data.h"

namespace ks {

inline constexpr int kCorruptDeletionDate = 65;

// Condition codes of a ConditionalDeletion.
inline constexpr std::uint8_t kDeleteWhenDateEqual = 1;
inline constexpr std::uint8_t kDeleteWhenDateFrom = 2;   // equal or later
inline constexpr std::uint8_t kDeleteWhenDateUntil = 3;  // equal or earlier
inline constexpr std::uint8_t kDeleteWhenSizeEqual = 4;
inline constexpr std::uint8_t kDeleteWhenSizeAtLeast = 5;
inline constexpr std::uint8_t kDeleteWhenSizeAtMost = 6;

// Flag bits of a ConditionalDeletion (8, kDeleteAtUninstall, is in uninstall_data.h).
inline constexpr std::uint8_t kDeleteOnlyAtRestart = 0x01;
inline constexpr std::uint8_t kDeleteAtRestartIfBusy = 0x02;
inline constexpr std::uint8_t kDeleteAtInstall = 0x04;

// A date value: "year/month/day" with an optional " hour:minute[:second]";
// "-" and "." also separate the date's parts. The time counts only when the
// hour is 0 to 23 and minute and second are 0 to 59 (hour -1 otherwise).
// False for a value that is no date: a missing year, a month outside 1 to 12
// or a day that the month does not have.
bool ParseDeletionDate(NStringView text, RecordDate* out);

// A size value: a signed 32-bit decimal number (leading blanks and a sign
// allowed; the digits end at the first other character; out of range clamps).
std::int64_t ParseDeletionSize(NStringView text);

bool IsDateCondition(std::uint8_t condition);

enum class DeletionTest { kDelete, kKeep, kCorrupt };

// Whether `record`'s condition holds for a file of this modification time
// (whole seconds) and size. Dates without a valid time part compare only the
// day. kCorrupt for a date condition whose value is no date.
DeletionTest TestDeletionCondition(const ConditionalDeletion& record, const RecordDate& file_time,
                                   std::uint64_t file_size);

// Whether a file's long name matches the name part of a deletion's pattern:
// "*" any run of characters (none too), "?" any one character, letter case
// ignored; "*.*" and a pattern ending in ".*" also take names without an
// extension, as the system's search does. The system's search also matches
// a file's 8.3 short name ("*.tmp" finds "data.tmpl" as "DATA~1.TMP"); the
// deletions match the long name only.
bool MatchesFileNamePattern(WStringView name, WStringView pattern);

}  // namespace ks
