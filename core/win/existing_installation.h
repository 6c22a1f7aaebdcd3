#pragma once
// Before anything is written: may the installation run here, and what kind
// of installation is it? The checks run in a fixed order against the running
// system; each refusal reports itself and ends the process with its exit code.

#include <cstdint>

#include "core/existing_installation.h"
#include "core/install_settings.h"

namespace ks {

// Bitness (exit 5), file-system redirection of a 64-bit product (fatal),
// excluded systems (exit 5), the master product (exit 7), the single-instance
// mutex (exit 8, held until the process ends), the earlier installation from
// the Uninstall key, and the start sound. Runs after the language page.
// `archive_flags`: the archive header's flags (0x2000 records the folder
// registry path in the uninstall data).
void CheckInstallationAllowed(InstallSettings& settings, std::uint32_t archive_flags);

// After the greeting, password, licence and readme pages: the folder from the
// registry (exit 7), or with a usable earlier installation the hand-over to
// its uninstaller (exit 9, 10), the downgrade limit (exit 11), the install
// type with its question (exit 12) and the old-version warning (exit 12).
// Returns the installation folder; `folder_page` tells whether the folder
// page should still be offered (false when the registry or the earlier
// installation fixed the folder).
WString DecideInstallFolder(InstallSettings& settings, bool* folder_page);

}  // namespace ks
