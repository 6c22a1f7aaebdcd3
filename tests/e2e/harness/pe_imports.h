#pragma once
// The DLLs a PE file names in its import and delay-import tables, read from
// the file's bytes, so that a test can see what the loader resolves before a
// program's first instruction.

#include <optional>
#include <set>
#include <string>

namespace ks::e2e {

// The imported DLL names in lower case; nullopt when `linux_path` cannot be
// read or is no PE image with well-formed import tables.
std::optional<std::set<std::string>> ImportedDlls(const std::string& linux_path);

}  // namespace ks::e2e
