#pragma once
// The uninstaller: removes the installed product that the command line names.

#include "lib/text.h"

namespace ks {

// Uninstalls `product_name`; returns the uninstaller's result, 0 on success,
// which becomes the exit code.
int RunUninstaller(const WString& product_name);

// After a successful uninstallation: the uninstall notification and the
// preparation of the uninstaller's removal of itself.
void FinishSuccessfulUninstallation();

}  // namespace ks
