#include "app/win/install_road.h"

#include "app/win/install/install_steps.h"

namespace ks {

int RunInstallRoad(InstallRun& run) {
  using Step = RunEnd (*)(InstallRun&);
  static constexpr Step kRoad[] = {
      OpenArchive,               // the archive and its settings block
      ReadSettings,              // settings, texts, start notification
      CheckIntegrity,            // the program's own file
      CheckInstallationAllowed,  // bitness, systems, master product, lock, earlier installation
      DecideInstallFolder,       // hand-over, downgrade limit, install type, the folder
      BeginInstallation,         // step log, begin notification
      PrepareTarget,             // restore point, folders, rights, preparation batches
      ReserveRecordSpace,        // room for the uninstaller, Uninstall.DAT and Install.log
      PlaceFiles,                // the product's files, fonts, packages, Control Panel extensions
      CountSharedFileReferences, // shared-file counts
      RegisterComponents,        // COM servers, type libraries, drivers
      CreateShortcuts,           // shortcuts, desktop folder, root shortcut, taskbar pin
      WriteRegistryEntries,      // product key, records, merge file, App Paths
      AssociateFiles,            // file associations
      AddFirewallExceptions,     // firewall exceptions
      FinishInstallation,        // uninstaller, Uninstall.DAT, Install.log, restart, launches
  };
  for (const Step step : kRoad) {
    if (const RunEnd end = step(run)) return *end;
  }
  return 0;
}

}  // namespace ks
