#include "app/win/install/install_steps.h"

#include "integration/uninstall_values.h"
#include "integration/win/registry_step.h"
#include "integration/win/shortcut_system.h"
#include "lib/win/os_version_query.h"

namespace ks {

RunEnd CreateShortcuts(InstallRun& run) {
  const InstallSettings& settings = run.settings;
  const WString& install_dir = run.choices.install_dir;
  ShortcutStepInput in;
  in.records = settings.shortcuts;
  in.records.insert(in.records.end(), run.placed.shortcuts.begin(), run.placed.shortcuts.end());
  in.flags = settings.product_flags;
  in.archive_flags = run.archive_flags;
  in.all_users = settings.shortcut_mode == 1;
  in.install_dir = install_dir;
  in.uninstall_dir = run.choices.uninstall_dir;
  in.start_menu_name = StartMenuNameOf(settings, run.choices);
  in.desktop_folder_name = settings.desktop_folder;
  in.desktop_folder_icon = settings.desktop_folder_icon;
  in.uninstaller_icon = settings.uninstaller_icon;
  in.uninstaller_path = UninstallerPath(install_dir, settings.uninstall_subdir, settings.uninstall_key_name);
  in.uninstall_arguments = UninstallArguments(settings.uninstall_key_name);
  in.install_log_path = UninstallFolderPath(install_dir, settings.uninstall_subdir, Widen(kInstallLogName));
  in.product_name = settings.product_name;
  in.root_command = settings.root_shortcut_command;
  in.root_name = settings.root_shortcut_name;
  in.pin_command = settings.taskbar_pin_command;
  in.pin_name = settings.taskbar_pin_name;
  in.removable_drive = IsOnRemovableDrive(install_dir);
  in.pin_supported = TakesTaskbarPin(GetSystemVersion());
  in.start_menu_copy_for_user = CopiesStartMenuForUser(GetSystemVersion());
  in.text = [&run](int n) { return run.texts.TextOrEnglish(n); };
  in.replace_placeholders = [&run](WStringView text) { return run.texts.ReplacePlaceholders(text); };
  in.expand = [&run](const WString& text) { return run.vars.Expanded(text); };
  in.log = &run.log;
  in.uninstall = &run.uninstall;
  RunningShortcutSystem system;
  CreateShortcuts(in, system);
  return kGoOn;
}

}  // namespace ks
