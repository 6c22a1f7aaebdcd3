#pragma once
// The preparation of the target between the wizard and the first placed file:
// the installation folder, the admin warning, the restore point, the
// uninstall data folder, the shared folder, folder rights, the portable rule
// and the preparation batches. Every step logs; no failure stops the
// installation.

#include <cstdint>
#include <functional>

#include "core/install_settings.h"
#include "lib/text.h"

namespace ks {

// The folders fixed here, held for the rest of the installation. They also go
// into ThePathVariableInputs() as %UninstallDir%, %SharedDir% and %Portable%.
struct PreparedFolders {
  WString install_dir;          // without a trailing backslash
  NString install_dir_marked;   // its 8-bit MarkedText copy
  WString uninstall_dir;        // install_dir, joined with the uninstall sub-folder when set
  NString uninstall_dir_marked;
  WString shared_dir;           // empty without an uninstaller
  bool portable = false;        // removable, CD-ROM or RAM-disk drive
};
const PreparedFolders& ThePreparedFolders();

struct PreparationInput {
  WString install_dir;      // the folder chosen
  WString start_menu_name;  // the Start-menu folder name chosen (relative)
  bool all_users = false;   // the Start-menu folder is the common one
  WString portable_shared_subfolder;
  // Progress page hooks; null ones are skipped.
  std::function<void(const WString&)> set_status;
  std::function<void(int)> set_progress;
};

// The input as the installation knows it now: the folder chosen, the
// Start-menu folder name and the all-users choice of ThePathVariableInputs()
// (the settings' Start-menu name until the wizard chose one).
PreparationInput PreparationInputFor(const WString& install_dir, const InstallSettings& settings);

// The steps in order. May clear `archive_flags` 0x2 (no restore point to
// commit) and ProductFlags 0x4 in `settings` (the portable rule).
void PrepareTarget(const PreparationInput& input, InstallSettings& settings, std::uint32_t& archive_flags);

// Not elevated (a failing query counts as elevated).
bool ProcessLacksAdminRights();

}  // namespace ks
