#pragma once
// The Linux processes behind the Windows programs of this run's prefix, for
// tests that end a program the hard way, at a moment of their choosing.

#include <sys/types.h>

#include <string>

namespace ks::e2e {

// The process of the program started from `windows_path` (a C:\ path,
// compared without regard to case) in this run's prefix; 0 when none runs.
pid_t FindWindowsProcess(const std::string& windows_path);

// Ends the process at once (SIGKILL): it runs no code of its own any more,
// and the wine server closes its handles as Windows does for a process that
// is terminated or crashes. Returns once it is gone (or after 10 s: false).
bool KillProcess(pid_t pid);

}  // namespace ks::e2e
