#pragma once
// Removing the uninstaller after a successful uninstallation.

#include "lib/text.h"

namespace ks {

// Writes "delunins.bat" (or the first free numbered name, when another
// uninstaller's script waits there) to the temporary folder (the current
// folder when none is known) and arranges for it to start, hidden in a new
// console, when the process ends (the self-removal step of the end of the
// process), so that its loop can delete the executable once the process is
// gone. An uninstaller kept apart from a deep installation folder (see
// UninstallerPath) removes the product's folders, when empty, at once, and
// its script removes its own folder and the uninstallers' folder instead.
// A script that could not name the paths exactly (a character the code
// page of an older system lacks) is not written: the uninstaller and its
// folders are registered for deletion at the next restart instead. False
// when neither could be done; the uninstaller and its folders then stay.
bool PrepareSelfDeletion(const WString& install_dir, const WString& uninstall_subdir);

// Starts the script hidden in a new console (the end-of-process step does
// this); falls back to the shell's open.
void StartSelfDeletionScript(const WString& script);

}  // namespace ks
