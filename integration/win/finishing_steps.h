#pragma once
// The end of the installation road, in the order the product's author relies
// on: documents, search path, uninstall registration, reboot marker,
// Uninstall.DAT, post-installation batch, completion notification, restore
// point, Install.log, restart question, exit batch, empty folders, and the
// launches that the user asked for.

#include "core/install_settings.h"
#include "core/win/archive_open.h"

namespace ks {

// Runs every finishing step and ends the process through Terminate (exit
// code 0; a chosen restart ends it after asking the system to restart).
[[noreturn]] void RunFinishingSteps(const SetupArchive& archive, InstallSettings& settings);

}  // namespace ks
