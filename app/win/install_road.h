#pragma once
// The road of one installation: every step in its order.

#include "app/win/install_run.h"

namespace ks {

// Runs the steps in order until one ends the run; returns the exit code.
int RunInstallRoad(InstallRun& run);

}  // namespace ks
