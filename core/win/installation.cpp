#include "core/installation.h"

#include "core/win/fatal_error.h"

namespace ks {

// The archive reader is not wired in yet, so every engine behaves as one that
// carries no ".setup" section.
int RunInstallation() {
  FatalError(
      "This program performs installations and uninstallations.\r\n"
      "There is no installation data present.\r\n"
      "No uninstallation parameters were specified.\r\n\r\n"
      "You should not delete this program or execute it directly.");
}

}  // namespace ks
