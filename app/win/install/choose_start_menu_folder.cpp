#include "app/win/install/install_steps.h"

#include "engine/prepare_rules.h"
#include "lib/win/wide.h"

namespace ks {

RunEnd ChooseStartMenuFolder(InstallRun& run) {
  const InstallSettings& settings = run.settings;
  const EarlierInstallation& earlier = run.earlier.earlier;
  // Where the earlier installation is, its Start-menu folder stays.
  if (earlier.folder_exists && !earlier.start_menu.empty()) run.choices.start_menu_name = earlier.start_menu;
  StartMenuPageInput in;
  in.automatic = run.reports.automatic();
  in.silent = run.options.silent;
  in.flags = settings.product_flags;
  in.archive_flags = run.archive_flags;
  in.earlier_folder_exists = earlier.folder_exists;
  const WString root = DriveRootOf(InstallFolderOf(settings, run.choices));
  in.portable_drive = !root.empty() && IsPortableDriveType(::GetDriveTypeW(W(root)));
  if (!ShowsStartMenuPage(in)) return kGoOn;
  WString name = StartMenuNameOf(settings, run.choices);
  if (!RunStartMenuPage(run.wizard, run.PageStyle(WizardPage::kStartMenu), name, settings.shortcut_mode == 1))
    return run.reports.Cancelled(12);
  run.choices.start_menu_name = name;
  return kGoOn;
}

}  // namespace ks
