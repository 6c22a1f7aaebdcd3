#pragma once
// Writing and loading "Uninstall.DAT".

#include <cstdint>

#include "lib/file_result.h"
#include "records/uninstall_data.h"

namespace ks {

// Writes the whole file to `path` in one write, replacing an older file.
// Success is result 0 or 28; otherwise false, and the system's last-error
// value is set from the result when it is not set already.
bool WriteUninstallData(const WString& path, const UninstallData& data, const UninstallTexts& texts);

// Loads and parses the file; the file result code of the load (0 on success).
FileResult LoadUninstallData(const WString& path, UninstallDataContent& content);

}  // namespace ks
