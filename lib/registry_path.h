#pragma once
// Registry paths as the installer and the uninstaller write them
// ("\HKLM\Software\Maker", "\HKEY_CURRENT_USER\Software\Maker",
// "\HKAU\Software\Maker" for every user's hive), the data of the archive's
// registry records, and the records text itself. Pure rules, tested without
// Windows; integration/win/reg_key.h maps the roots to real keys.

#include <cstdint>
#include <vector>

#include "lib/text.h"

namespace ks {

enum class RegRoot { kLocalMachine, kCurrentUser, kClassesRoot, kUsers, kCurrentConfig, kDynData };

// One row of the root table, in parsing order, with wide and narrow forms.
struct RegRootNames {
  RegRoot root;
  const char16_t* short_name;  // u"HKLM"
  const char16_t* long_name;   // u"HKEY_LOCAL_MACHINE"
  const char* short_name_a;
  const char* long_name_a;
  const char* prefix_a;        // "\\HKLM\\"
};
const std::vector<RegRootNames>& RegRootTable();
const RegRootNames& NamesOf(RegRoot root);

// System error 161 (bad path name): what a path that names no root gives.
inline constexpr std::uint32_t kErrorBadPathName = 161;

struct RegPath {
  RegRoot root = RegRoot::kLocalMachine;
  WString key;  // below the root; empty for the root itself
};

// Short prefixes with their backslash first, then short prefixes alone
// (the root itself), then "\" + long name followed by a backslash or
// nothing; letter case is ignored. False (error 161) for anything else.
bool ParseRegistryPath(WStringView path, RegPath& out);
bool ParseRegistryPath(NStringView path, RegPath& out);  // narrow form, same rules

// "HKEY_LOCAL_MACHINE\Software\Maker": how logs and messages name a key.
WString RegDisplayName(RegRoot root, WStringView key);

// "\HKAU\" (exactly, upper case) means the key in every user's hive; it is
// not a root of the parser. On true, `rest` is the path below each hive.
inline constexpr const char16_t* kAllUsersPrefix = u"\\HKAU\\";
bool IsAllUsersPath(WStringView path, WString* rest = nullptr);

// ---------------------------------------------------------------------------
// Value data of the registry records.

// Record types (decimal in the record) and the registry types they give.
inline constexpr std::uint32_t kRegTypeSz = 1;
inline constexpr std::uint32_t kRegTypeExpandSz = 2;
inline constexpr std::uint32_t kRegTypeBinary = 3;
inline constexpr std::uint32_t kRegTypeDword = 4;
inline constexpr std::uint32_t kRegTypeMultiSz = 7;
inline constexpr std::uint32_t kRegTypeQword = 11;

// Hexadecimal digits, spaces removed, two per byte. False for an odd digit
// count or any other character; `out` then holds the bytes of the complete
// pairs before the fault.
bool ParseHexData(WStringView text, std::vector<std::uint8_t>& out);
// Optional "+" or "-", then digits up to the first non-digit; no digits is 0.
// The value is kept modulo 2^64, so that any length is defined.
std::uint32_t ParseDwordData(WStringView text);  // the low 32 bits
std::uint64_t ParseQwordData(WStringView text);

// The bytes a record of `type` stores. `expanded` is the data after the path
// variables were replaced (used by type 1 only). Strings are UTF-16 without
// a terminating zero; types without data give no bytes.
std::vector<std::uint8_t> RecordValueData(std::uint32_t type, WStringView data, WStringView expanded);

// "%.6f" with trailing zeros and then a trailing point removed; a value that
// is not a finite number, and zero, give "0".
NString FormatRegDouble(double value);

// ---------------------------------------------------------------------------
// The registry records text: comma-separated records, one per line.

// Record codes: what the installation does and whether the uninstaller
// deletes the value.
inline bool CodeSetsValue(std::int32_t code) { return code == 1 || code == 3 || code == 6 || code == 7; }
inline bool CodeKeepsExisting(std::int32_t code) { return code == 6 || code == 7; }
inline bool CodeDeletesAtInstall(std::int32_t code) { return code == 4 || code == 5; }
inline bool CodeDeletesAtUninstall(std::int32_t code) {
  return code == 2 || code == 3 || code == 5 || code == 7;
}

struct RegistryRecord {
  WString text;                 // the line as read (for the illegal-record message)
  std::vector<WString> fields;  // one or five fields are meaningful
};

// The non-blank lines of `text` split into fields (CR, LF or both end a line).
std::vector<RegistryRecord> ReadRegistryRecords(WStringView text);

// A decimal field: optional sign, digits up to the first non-digit.
std::int32_t RecordNumber(WStringView field);

// Appends one record, quoted so that ReadRegistryRecords gives the same
// fields back, and CR LF; first a CR LF when `text` ends without a line break.
void AppendRegistryRecord(WString& text, const std::vector<WString>& fields);

// The key's depth for the uninstaller: a one-field record is removed only
// when its path has at least two backslashes.
bool HasTwoBackslashes(WStringView path);

}  // namespace ks
