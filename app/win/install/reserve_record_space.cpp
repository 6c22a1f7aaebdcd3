#include "app/win/install/install_steps.h"

#include "engine/prepare_rules.h"
#include "engine/win/reboot_replacement.h"

namespace ks {

// A full disk must not take the space that the uninstaller, Uninstall.DAT and
// Install.log need at the end; without it nothing could be uninstalled.
RunEnd ReserveRecordSpace(InstallRun& run) {
  RecordSpaceInput in;
  if (HasFlag(run.settings.product_flags, product_flag::kRegisterUninstaller))
    in.uninstaller_bytes = run.archive.has_engine_image ? run.archive.engine_image.size() : run.archive.file_size;
  in.file_records = run.archive.header.per_file_values.size();
  in.install_dir_chars = run.choices.install_dir.size();
  in.registry_chars = run.settings.registry_entries.size();
  in.icon_bytes = run.settings.product_icon.size();
  const WString& folder = run.choices.uninstall_dir;
  CreateFolderTree(folder);
  if (!run.record_space.Reserve(folder, RecordSpace(in)))
    run.log.Text("Warning: no room to hold back for the uninstall data and the log.\r\n\r\n");
  return kGoOn;
}

}  // namespace ks
