#include "app/win/install_road.h"

#include "app/win/install/install_steps.h"

namespace ks {

int RunInstallRoad(InstallRun& run) {
  using Step = RunEnd (*)(InstallRun&);
  static constexpr Step kRoad[] = {
      OpenArchive,               // the archive and its settings block
      ReadSettings,              // settings, texts, start notification
      CheckIntegrity,            // the program's own file
      ShowLanguagePage,          // the language; the pages' header text
      CheckInstallationAllowed,  // bitness, systems, master product, lock, earlier installation
      ShowGreetingPage,          // the greeting
      AskPassword,               // the password page
      ShowLicencePages,          // each licence document
      ShowReadmePages,           // each readme document
      CloseRunningPrograms,      // the programs that must not run
      DecideInstallFolder,       // hand-over, downgrade limit, install type, the folder
      ChooseInstallFolder,       // the folder page and its checks
      ChooseStartMenuFolder,     // the Start-menu page
      OpenProgressPage,          // the progress page, open until the end
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
    // The progress page's cancel button: asked and confirmed while a step worked.
    if (run.progress.cancel_requested()) return run.reports.Cancelled(12);
  }
  return 0;
}

}  // namespace ks
