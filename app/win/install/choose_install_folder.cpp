#include "app/win/install/install_steps.h"

namespace ks {

RunEnd ChooseInstallFolder(InstallRun& run) {
  const InstallSettings& settings = run.settings;
  const ProductFlags flags = settings.product_flags;
  if (!ShowsFolderPage(run.reports.automatic(), flags, run.folder_page)) return kGoOn;
  FolderPageInput in;
  in.style = run.PageStyle(WizardPage::kFolder);
  in.folder = run.choices.install_dir;
  in.start_menu_page_follows = HasFlag(flags, product_flag::kStartMenuPage);
  in.file_system_only = HasFlag(flags, product_flag::kLocalFoldersOnly);
  in.show_space = (run.archive_flags & archive_flag::kShowDiskSpace) != 0;
  in.space_needed = SpaceNeeded(run.archive.header.per_file_values);
  in.rules.flags = flags;
  in.rules.archive_flags = run.archive_flags;
  in.rules.new_installation = run.choices.install_type == InstallType::kNew;
  in.rules.interactive = !run.reports.automatic();
  in.facts = SystemFolderFacts();
  const std::optional<WString> folder = ChooseInstallFolder(run.wizard, in);
  if (!folder) return run.reports.Cancelled(12);
  run.choices.install_dir = *folder;
  return kGoOn;
}

}  // namespace ks
