#pragma once
// The preparation of the target between the wizard and the first placed file:
// the installation folder, the admin warning, the restore point, the
// uninstall data folder, the shared folder, folder rights, the portable rule
// and the preparation batches. Every step logs; no failure stops the
// installation.

#include <cstdint>
#include <functional>

#include "core/install_settings.h"
#include "core/localized_texts.h"
#include "engine/path_variables.h"
#include "engine/win/restore_point.h"
#include "engine/win/run_batch.h"
#include "lib/text.h"
#include "records/install_log.h"

namespace ks {

// What the preparation needs besides the settings and the choices.
struct PreparationInput {
  InstallLog* log = nullptr;
  const LocalizedTexts* texts = nullptr;  // the progress texts
  RestorePoint* restore_point = nullptr;
  const BatchContext* batches = nullptr;
  NString pre_installation_addition;      // "/b1:"
  bool earlier_folder_exists = false;     // a usable earlier installation
  WString portable_shared_subfolder;
  // Progress page hooks; null ones are skipped.
  std::function<void(const WString&)> set_status;
  std::function<void(int)> set_progress;
};

// The steps in order. Fixes the choices' installation folder (without a
// trailing backslash), uninstall data folder, shared folder and portable
// flag, which the path variables then show as %InstallDir%, %UninstallDir%,
// %SharedDir% and %Portable%. May clear `archive_flags` 0x2 (no restore point
// to commit) and ProductFlags 0x4 in `settings` (the portable rule).
void PrepareTarget(const PreparationInput& input, InstallSettings& settings, std::uint32_t& archive_flags,
                   InstallChoices& choices);

// Not elevated (a failing query counts as elevated).
bool ProcessLacksAdminRights();

}  // namespace ks
