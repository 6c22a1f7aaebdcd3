#pragma once
// The installation road: archive, settings, existing installation, wizard,
// placement, integration. Runs when the command line asks for no uninstallation.

namespace ks {

// Returns the exit code for Terminate; failures on the way end the process themselves.
int RunInstallation();

}  // namespace ks
