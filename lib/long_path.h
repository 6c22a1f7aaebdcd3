#pragma once
// Paths beyond MAX_PATH. The plain Win32 form of a path stops at 260
// characters (248 for a folder to create); the extended-length form
// ("\\?\C:\..." or "\\?\UNC\server\share\...") goes to about 32,767, but
// the system takes it literally: no "/" for "\", no "." or ".." parts.

#include <cstddef>

#include "lib/text.h"

namespace ks {

// The length from which a path is handed to the system in its extended form:
// the plain limit of a folder to create, the lowest of the plain limits.
inline constexpr std::size_t kPlainPathLimit = 248;

// The form of `path` the file-system calls take at any length: an absolute
// drive or UNC path of kPlainPathLimit characters or more in its extended
// form, with "/" made "\", empty and "." parts dropped and ".." parts
// resolved (never above the root); any other path as it is.
WString ExtendedLengthPath(WStringView path);

// `path` without an extended-length prefix ("\\?\C:\a" -> "C:\a",
// "\\?\UNC\s\x" -> "\\s\x"): the form to show, log and compare.
WString WithoutExtendedPrefix(WStringView path);

}  // namespace ks
