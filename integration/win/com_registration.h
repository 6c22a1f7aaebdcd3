#pragma once
// Self-registering COM servers and type libraries. A server registers itself
// through the system's regsvr32 (by its full path, hidden, waited for); when
// that fails, through its own DllRegisterServer loaded into the installer.
// Everything that runs foreign code inside the installer is guarded: a
// server that crashes is reported and the next one follows.

#include <vector>

#include "integration/component_texts.h"
#include "lib/text.h"

namespace ks {

// The installation's lists, in record order; each item's outcome goes to
// the step log, crashes also to the failure summary.
void RegisterComServers(const std::vector<WString>& paths, const ComponentProgress& progress);
void RegisterTypeLibraries(const std::vector<WString>& paths, const ComponentProgress& progress);

// The uninstaller's counterparts for a file nobody counts any more: regsvr32
// /u, else DllUnregisterServer; the type library's registration as the file
// describes it. True when the registration is gone (a crash counts as failure).
bool UnregisterComServer(const WString& path);
bool UnregisterTypeLibrary(const WString& path);

}  // namespace ks
