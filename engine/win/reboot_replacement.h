#pragma once
// Reboot-time replacement on Windows: a file in use gets its new contents in
// a temporary file beside it, moved over it by the system at the next restart.

#include <windows.h>

#include <cstdint>

#include "lib/text.h"

namespace ks {

// Creates `folder` with every missing parent. 0 or the system error; when a
// component exists as a file, ERROR_ALREADY_EXISTS (or the error the system
// gave) and *blocking_file is set to that path.
DWORD CreateFolderTree(const WString& folder, WString* blocking_file = nullptr);

// A new, empty file in `folder` (empty: the temporary folder), created
// exclusively; empty when none could be made.
WString MakeTempName(const WString& folder, const WString& extension);

// The system moves `source` over `destination` at the next restart. On
// success the thread's last error is 170 (busy), so a later error text says
// that the file is in use.
bool ScheduleReplacement(const WString& destination, const WString& source);
// The system deletes `path` at the next restart.
bool ScheduleDeletion(const WString& path);

// The legacy method: adds "<destination>=<source>" (8-bit short paths) under
// "[rename]" of "wininit.ini" in `windows_folder`.
bool AddWininitRenameLine(const WString& windows_folder, NStringView destination, NStringView source);

}  // namespace ks
