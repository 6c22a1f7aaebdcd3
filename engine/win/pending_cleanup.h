#pragma once
// Removes from the system's list of operations pending until the next restart
// ("PendingFileRenameOperations") the entries that would delete or overwrite
// a file that the running installation has just placed, or that would bring
// back a file that the running uninstallation has just deleted.

#include <set>

#include "lib/text.h"
#include "records/install_log.h"

namespace ks {

// `marked_lowercase_paths`: the files, as marked text lower-cased in the ASCII
// range (PendingPathKey of engine/pending_cleanup.h). An installation passes
// its log for the step-log lines; the uninstallation logs nothing. Failures
// to read or write the value are silent.
void CleanPendingOperations(const std::set<NString>& marked_lowercase_paths, InstallLog* installation_log);

}  // namespace ks
