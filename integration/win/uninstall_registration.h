#pragma once
// Writing the uninstaller into the uninstall data folder and registering the
// product under the system's Uninstall key (HKLM, 32-bit view). The values
// are the uninstaller's configuration and what the next installation reads
// back (integration/uninstall_values.h).

#include "core/install_settings.h"
#include "core/win/archive_open.h"
#include "lib/text.h"

namespace ks {

// The uninstaller's path: the uninstall data folder and "uninstall.exe".
WString UninstallerPath();

// Writes the uninstaller: the compact engine image (with the archive's
// uninstaller icon) when the archive built one, else a copy of the running
// program; a program in use is replaced at the next restart (the reboot bit
// of `settings.product_flags` is set then). False when no uninstaller was
// written (the failure summary says why).
bool WriteUninstaller(const SetupArchive& archive, InstallSettings& settings);

// The whole step: the uninstaller, the product icon, the Uninstall key values
// with the extra values (and their removal records), the read-back check, and
// the install-path value. Failures go to the step log and the failure
// summary; nothing here stops the installation. An extra value of an unknown
// type is a corrupt installer (code 200) and ends the process.
void RegisterUninstaller(const SetupArchive& archive, InstallSettings& settings);

}  // namespace ks
