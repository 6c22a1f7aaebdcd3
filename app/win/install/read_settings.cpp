#include "app/win/install/install_steps.h"

#include "core/settings_block.h"
#include "engine/special_folders.h"
#include "engine/win/special_folders.h"
#include "integration/uninstall_values.h"
#include "lib/win/notification_worker.h"
#include "lib/win/os_version_query.h"

namespace ks {
namespace {

SettingsInput MakeSettingsInput(InstallRun& run) {
  SettingsInput input;
  input.silent = run.options.silent;
  input.automatic = run.options.automatic;
  input.product_name_override = run.options.product_name;
  input.archive_flags = run.archive.header.flags;
  input.os_short_name = AnsiToWide(GetOsName(kOsNameShort));
  input.os_name = GetOsNameW();
  input.program_files = ProgramFilesFolder(kFolderMode32);
  input.program_files_64 = ProgramFilesFolder(kFolderMode64);
  // The run's own settings are the ones being read: the install path sees the
  // names, the bitness and the version read before it.
  input.expand_path_variables = [&run](const WString& text) { return run.vars.Expanded(text); };
  return input;
}

}  // namespace

// A corrupt field ends the process; the error address counts from the moment
// its field was read.
RunEnd ReadSettings(InstallRun& run) {
  const SetupArchive& archive = run.archive;
  SettingsReadHooks hooks;
  hooks.after_field_6 = [&run, &archive] {
    // The window paints from the settings as they fill up.
    run.OpenBackgroundWindow();
    return CheckSettingsCrc(archive.settings_stream, archive.header.settings_check) ? 0 : kCorruptSettingsCheck;
  };
  InstallSettings& settings = run.settings;
  const int code =
      ReadInstallSettings(ByteReader(archive.settings_stream), MakeSettingsInput(run), hooks, settings, run.texts);
  SetNotificationVersion(settings.display_version_narrow);
  SetErrorNotificationAddress(settings.error_url);
  if (code != 0) run.reports.Corrupt(code);
  // An extra Uninstall value of an unknown type is known now: found at the
  // registration, it would leave a half-installed product behind.
  std::vector<ExtraValueWrite> extras;
  if (const int corrupt = PlanExtraValues(settings.extra_uninstall_values, &extras)) run.reports.Corrupt(corrupt);
  run.reports.follow_automatic(&settings.automatic);
  run.reports.set_errors_in_automatic(HasFlag(settings.product_flags, product_flag::kErrorsInAutomaticMode));
  run.reports.set_cancel_address(settings.cancel_url);
  run.log.set_failure_label(run.texts.Text(31));
  run.log.set_detailed(HasFlag(settings.product_flags, product_flag::kDetailedLog));
  run.RecordFatalErrors();
  run.page_look = InstallationPageLook(settings, run.archive_flags, run.resources);
  run.wizard.header_text = settings.wizard_caption;
  run.background_title = run.texts.Text(0);
  run.background.Repaint();
  SendNotification(settings.start_url, false);
  return kGoOn;
}

}  // namespace ks
