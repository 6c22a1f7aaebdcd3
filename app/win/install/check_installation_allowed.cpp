#include "app/win/install/install_steps.h"

namespace ks {

RunEnd CheckInstallationAllowed(InstallRun& run) {
  return CheckInstallationAllowed(run.settings, run.archive.header.flags, run.reports, run.uninstall, run.earlier);
}

}  // namespace ks
