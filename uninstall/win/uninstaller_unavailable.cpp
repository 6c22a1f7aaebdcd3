#include "core/win/fatal_error.h"
#include "uninstall/uninstaller.h"

namespace ks {

// The uninstaller is not part of this build yet; say so instead of pretending.
// This file goes away when the uninstaller itself arrives.
int RunUninstaller(const WString&) { FatalError("Uninstallation is not available in this build"); }

void FinishSuccessfulUninstallation() {}

}  // namespace ks
