#pragma once
// Reboot-time replacement, the parts that are plain data: the temporary-name
// generator and its search, and the legacy "wininit.ini" rename list.

#include <cstdint>
#include <functional>

#include "lib/file_result.h"
#include "lib/text.h"

namespace ks {

inline constexpr const char16_t* kTempPrefix = u"LKT";

// xorshift over a 64-bit state (shifts 12, 25, 27); each step yields a 16-bit
// name number.
class TempNameGenerator {
 public:
  explicit TempNameGenerator(std::uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  std::uint16_t Next();

 private:
  std::uint64_t state_;
};

// "LKT%04X.tmp" without a given extension; "LKT%4X.ext" (blank-padded) with one.
// A leading "." of the extension is dropped.
WString TempFileName(std::uint16_t number, WStringView extension, bool extension_given);

// What the name search needs from the file system.
struct TempNameSystem {
  std::function<bool(const WString& folder)> create_folder;  // with all parents
  std::function<bool(const WString& path)> exists;
  std::function<FileResult(const WString& path)> create_exclusive;
  std::function<WString()> temp_folder;
  // The system's unique temporary name with the prefix (the system creates
  // the file); empty when it fails.
  std::function<WString(const WString& folder)> system_temp_name;
};

inline constexpr int kTempNameAttempts = 400;
inline constexpr int kTempNameDeniedLimit = 20;

// MakeTempName over `sys`: the folder (empty: the temporary folder) is
// created first; without an extension the system's name is tried first; then
// up to 400 generated names, moving to the temporary folder at attempt 200
// and to "c:\temp" at attempt 300. Empty when no file could be created.
WString MakeTempNameWith(WString folder, WStringView extension, TempNameSystem& sys, TempNameGenerator& gen);

// Adds one pending move to the text of "wininit.ini": directly after an
// existing "[rename]" (any case) as "\r\n<dest>=<source>", or, when the
// section is missing, at the end after a line break as "[rename]\r\n<dest>=<source>".
NString AddWininitRename(NStringView ini, NStringView destination, NStringView source);

}  // namespace ks
