#include "app/win/install/install_steps.h"

#include "integration/win/shared_file_counts.h"

namespace ks {

RunEnd CountSharedFileReferences(InstallRun& run) {
  run.shared_files = run.earlier.earlier.shared_files;
  // Without an uninstaller nobody would lower the counts again; a portable
  // installation's shared files are removed plainly instead.
  if (HasFlag(run.settings.product_flags, product_flag::kRegisterUninstaller) && !run.choices.portable) {
    CountSharedFiles(run.placed.shared_files, run.shared_files, run.log);
  }
  return kGoOn;
}

}  // namespace ks
