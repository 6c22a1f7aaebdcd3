#pragma once
// The steps of the installation road, in road order, one file each. Every
// step takes the run and says whether it goes on (core/run_end.h).

#include "app/win/install_run.h"
#include "core/run_end.h"

namespace ks {

// The archive in the program's own file: header and settings block.
RunEnd OpenArchive(InstallRun& run);
// The settings and the texts; the start notification.
RunEnd ReadSettings(InstallRun& run);
// The program's own file against the integrity mode of the settings.
RunEnd CheckIntegrity(InstallRun& run);
// The language page (with more than one language); the pages' header text.
RunEnd ShowLanguagePage(InstallRun& run);
// Bitness, excluded systems, the master product, the single-instance lock,
// the earlier installation, the start sound.
RunEnd CheckInstallationAllowed(InstallRun& run);
// The greeting page (or box), the password page, the licence and readme pages.
RunEnd ShowGreetingPage(InstallRun& run);
RunEnd AskPassword(InstallRun& run);
RunEnd ShowLicencePages(InstallRun& run);
RunEnd ShowReadmePages(InstallRun& run);
// The programs-to-close list: closes, asks or ends the listed programs.
RunEnd CloseRunningPrograms(InstallRun& run);
// The installation folder, with an earlier installation its hand-over,
// downgrade limit, install type and warning.
RunEnd DecideInstallFolder(InstallRun& run);
// The folder page and the checks of the chosen folder.
RunEnd ChooseInstallFolder(InstallRun& run);
// The Start-menu page (or the earlier installation's folder).
RunEnd ChooseStartMenuFolder(InstallRun& run);
// The progress page, open until the end of the run.
RunEnd OpenProgressPage(InstallRun& run);
// The installation proper begins: the step log and the begin notification.
RunEnd BeginInstallation(InstallRun& run);
// Restore point, folders, rights and the preparation batches.
RunEnd PrepareTarget(InstallRun& run);
// Disk space held back for what the end of the installation writes.
RunEnd ReserveRecordSpace(InstallRun& run);
// The product's files, with the fonts, packages and Control Panel extensions
// among them registered as they are placed.
RunEnd PlaceFiles(InstallRun& run);
// The shared files' reference counts and the SharedFiles text.
RunEnd CountSharedFileReferences(InstallRun& run);
// COM servers, type libraries and drivers.
RunEnd RegisterComponents(InstallRun& run);
// The shortcuts, the desktop folder, the root shortcut and the taskbar pin.
RunEnd CreateShortcuts(InstallRun& run);
// The product key, the registry records, the merge file and App Paths.
RunEnd WriteRegistryEntries(InstallRun& run);
// The file associations.
RunEnd AssociateFiles(InstallRun& run);
// The firewall exceptions.
RunEnd AddFirewallExceptions(InstallRun& run);
// The uninstaller and its registration, the documents, Uninstall.DAT, the
// batches, Install.log, the restart and the launches.
RunEnd FinishInstallation(InstallRun& run);

}  // namespace ks
