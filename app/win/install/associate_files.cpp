#include "app/win/install/install_steps.h"

#include "integration/win/classes_keys.h"
#include "integration/win/registry_step.h"

namespace ks {

RunEnd AssociateFiles(InstallRun& run) {
  const InstallSettings& settings = run.settings;
  AssociationStepInput in;
  in.records = settings.associations;
  in.display_name = settings.product_name;
  in.language = run.texts.current_language_name();
  in.install_dir = run.choices.install_dir;
  in.removable_drive = IsOnRemovableDrive(run.choices.install_dir);
  in.archive_flags = run.archive_flags;
  in.expand = [&run](const WString& text) { return run.vars.Expanded(text); };
  in.notify_shell = NotifyAssociationsChanged;
  in.log = &run.log;
  RegistryClassesKeys keys;
  AssociateFiles(in, keys, run.uninstall);
  return kGoOn;
}

}  // namespace ks
