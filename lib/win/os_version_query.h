#pragma once
// The process-wide system-version record, filled from the running system on
// first use, and the OS functions over it.

#include "lib/os_version.h"

namespace ks {

// Filled once on the first call and never refreshed. Only the main thread
// calls it, so the first-use guard is not synchronised.
const SystemVersion& GetSystemVersion();

// Fills a record from the system without touching the process-wide one.
SystemVersion QuerySystemVersion();

inline std::uint32_t GetOsCode() { return OsCode(GetSystemVersion()); }
inline std::int32_t GetOsNumber() { return OsNumber(GetSystemVersion()); }
inline NString GetOsName(unsigned flags) { return OsName(GetSystemVersion(), flags); }
inline WString GetOsNameW() { return OsNameW(GetSystemVersion()); }

}  // namespace ks
