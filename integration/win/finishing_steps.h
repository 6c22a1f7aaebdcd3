#pragma once
// The end of the installation road, in the order the product's author relies
// on: documents, search path, uninstall registration, reboot marker,
// Uninstall.DAT, post-installation batch, completion notification, restore
// point, Install.log, restart question, exit batch, empty folders, and the
// launches that the user asked for.

#include "core/install_settings.h"
#include "core/win/archive_open.h"
#include "lib/text.h"

namespace ks {

// Runs every finishing step and ends the process through Terminate (exit
// code 0; a chosen restart ends it after asking the system to restart).
[[noreturn]] void RunFinishingSteps(const SetupArchive& archive, InstallSettings& settings);

// Removes `folder` when it is empty or holds nothing but the shell's
// "thumbs.db" and "desktop.ini" (deleted with it); a folder holding anything
// else stays with all its files. True when the folder is gone.
bool RemoveFolderIfEmpty(const WString& folder);

}  // namespace ks
