#include "app/win/install/install_steps.h"

#include "integration/win/com_registration.h"
#include "integration/win/driver_packages.h"

namespace ks {

// After the shared-file counts, in this order, each list in record order.
RunEnd RegisterComponents(InstallRun& run) {
  const ComponentProgress progress = run.Components();
  const FilePlacementOutputs& placed = run.placed;
  if (!placed.com_servers.empty()) RegisterComServers(placed.com_servers, progress);
  if (!placed.type_libraries.empty()) RegisterTypeLibraries(placed.type_libraries, progress);
  if (!placed.drivers.empty()) InstallDrivers(placed.drivers, progress, run.uninstall);
  return kGoOn;
}

}  // namespace ks
