#pragma once
// Writing and loading "Uninstall.DAT".

#include <cstdint>

#include "lib/file_result.h"
#include "records/uninstall_data.h"

namespace ks {

// Writes the whole file to `path`, replacing an older file: the path holds
// the old or the new file, never a part (WriteFileAtomically). False on
// failure, with the system's last-error value set from the result when it is
// not set already.
bool WriteUninstallData(const WString& path, const UninstallData& data, const UninstallTexts& texts);

// Loads and parses the file; the file result code of the load (0 on success).
FileResult LoadUninstallData(const WString& path, UninstallDataContent& content);

}  // namespace ks
