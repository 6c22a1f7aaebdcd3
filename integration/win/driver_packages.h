#pragma once
// Driver packages (INF files): copied into the system's driver store with
// SetupCopyOEMInfW at installation and taken out again with
// SetupUninstallOEMInfW, both looked up in "setupapi.dll" (loaded by its full
// system path) at run time.

#include <vector>

#include "integration/component_texts.h"
#include "lib/text.h"
#include "records/uninstall_data.h"

namespace ks {

// Every placed INF in record order; each final location in the driver store
// is recorded in "[INF]" for the uninstaller. A missing library or function
// skips the list with one log line.
void InstallDrivers(const std::vector<WString>& infs, const ComponentProgress& progress, UninstallData& uninstall);

// The uninstaller's step: each recorded INF (marked text) is removed from the
// driver store, forced. Without the library or function nothing happens.
void UninstallDrivers(const std::vector<NString>& inf_lines);

}  // namespace ks
