#include "app/win/install/install_steps.h"

#include "integration/win/registry_step.h"

namespace ks {

RunEnd WriteRegistryEntries(InstallRun& run) {
  const InstallSettings& settings = run.settings;
  RegistryStepInput in;
  in.install_dir = run.choices.install_dir;
  in.product_registry = settings.product_registry;
  in.entries = settings.registry_entries;
  in.merge_file = settings.registry_merge;
  in.app_path = settings.app_path_text;
  in.view64 = HasFlag(settings.product_flags, product_flag::kProductRegistryKey);
  in.removable_drive = IsOnRemovableDrive(run.choices.install_dir);
  in.skip_on_removable = (run.archive_flags & kArchiveFlagNoRegistryOnRemovable) != 0;
  in.expand = [&run](const WString& text) { return run.vars.Expanded(text); };
  in.log = &run.log;
  WriteRegistryEntries(in, run.uninstall);
  return kGoOn;
}

}  // namespace ks
