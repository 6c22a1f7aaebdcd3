#include "core/installation.h"

#include "core/win/archive_open.h"
#include "core/win/fatal_error.h"

namespace ks {

int RunInstallation() {
  // Every failure to open the archive ends the process with its own message
  // (no data, foreign version, corrupt archive).
  OpenSetupArchive(TheSetupArchive());
  // Reading the settings and the steps after it are not part of this build
  // yet; say so instead of pretending to install.
  FatalError("Installation is not available in this build");
}

}  // namespace ks
