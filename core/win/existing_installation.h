#pragma once
// Before anything is written: may the installation run here, and what kind
// of installation is it? The checks run in a fixed order against the running
// system; a refusal is reported and its exit code returned, which ends the run.

#include <cstdint>
#include <functional>

#include "core/existing_installation.h"
#include "core/install_settings.h"
#include "core/run_end.h"
#include "core/start_options.h"
#include "core/win/reports.h"
#include "lib/win/owned.h"
#include "records/uninstall_data.h"

namespace ks {

// What the earlier-installation steps read and settle for the run.
struct EarlierInstallationState {
  EarlierInstallation earlier;
  // "Kestrelon TKS", held until the process ends once taken.
  OwnedHandle single_instance_lock;
};

// Bitness (exit 5), file-system redirection of a 64-bit product (fatal),
// excluded systems (exit 5), the master product (exit 7), the single-instance
// mutex (exit 8), the earlier installation from the Uninstall key, and the
// start sound. Runs after the language page. `archive_flags`: the archive
// header's flags (0x2000 records the folder registry path in `uninstall`).
RunEnd CheckInstallationAllowed(InstallSettings& settings, std::uint32_t archive_flags, const Reports& reports,
                                UninstallData& uninstall, EarlierInstallationState& state);

// The installation folder and whether the folder page may still change it
// (not when the registry or the earlier installation fixed it), and the
// install type settled with a usable earlier installation.
struct FolderDecision {
  WString folder;
  bool folder_page = false;
  InstallType install_type = InstallType::kNew;
};

// What deciding the folder needs besides the settings.
struct FolderDecisionInput {
  const StartOptions* options = nullptr;  // "/d:", the own command line's silent request
  const Reports* reports = nullptr;
  // Expands path variables in the folder read from the registry.
  std::function<WString(const WString&)> expand;
};

// After the greeting, password, licence and readme pages: the folder from the
// registry (exit 7), or with a usable earlier installation the hand-over to
// its uninstaller (exit 9, 10), the downgrade limit (exit 11), the install
// type with its question (exit 12) and the old-version warning (exit 12).
// Sets `*decision` unless the run ends.
RunEnd DecideInstallFolder(InstallSettings& settings, const EarlierInstallation& earlier,
                           const FolderDecisionInput& input, FolderDecision* decision);

}  // namespace ks
