#pragma once
// The road of one installation after the settings are read and checked: the
// steps in order, each in its own module.

#include "core/install_settings.h"
#include "core/win/archive_open.h"

namespace ks {

// Runs the installation steps and ends the process through Terminate.
[[noreturn]] void RunInstallRoad(SetupArchive& archive, InstallSettings& settings);

}  // namespace ks
