#include "core/installation.h"

#include "core/install_settings.h"
#include "core/settings_block.h"
#include "core/start_options.h"
#include "core/win/archive_open.h"
#include "core/win/existing_installation.h"
#include "core/win/install_road.h"
#include "core/win/integrity_check.h"
#include "core/win/report_corrupt.h"
#include "core/win/report_error.h"
#include "engine/win/path_variables.h"
#include "engine/win/special_folders.h"
#include "lib/win/notification_worker.h"
#include "lib/win/os_version_query.h"

namespace ks {
namespace {

InstallSettings& TheInstallSettings() {
  static InstallSettings settings;
  return settings;
}

SettingsInput MakeSettingsInput(const SetupArchive& archive) {
  const StartOptions& options = TheStartOptions();
  SettingsInput input;
  input.silent = options.silent;
  input.automatic = options.automatic;
  input.product_name_override = options.product_name;
  input.archive_flags = archive.header.flags;
  input.os_short_name = AnsiToWide(GetOsName(kOsNameShort));
  input.os_name = GetOsNameW();
  input.program_files = ProgramFilesFolder(kFolderMode32);
  input.program_files_64 = ProgramFilesFolder(kFolderMode64);
  input.expand_path_variables = [](const WString& text) {
    WString expanded = text;
    ExpandPathVariables(expanded);
    return expanded;
  };
  return input;
}

// Reads the settings, then sends the start notification. A corrupt field ends
// the process; the error address counts from the moment its field was read.
void ReadSettings(const SetupArchive& archive, InstallSettings& settings) {
  SettingsReadHooks hooks;
  hooks.after_field_6 = [&archive] {
    return CheckSettingsCrc(archive.settings_stream, archive.header.settings_check) ? 0
                                                                                     : kCorruptSettingsCheck;
  };
  const int code = ReadInstallSettings(ByteReader(archive.settings_stream), MakeSettingsInput(archive),
                                       hooks, settings, ProcessTexts());
  SetNotificationVersion(settings.display_version_narrow);
  SetErrorNotificationAddress(settings.error_url);
  if (code != 0) ReportCorrupt(code, false);
  TakeSettingsInputs(ThePathVariableInputs(), settings);
  // %Language% and the batches' "SET Language": the language the texts start in.
  ThePathVariableInputs().language = ProcessTexts().current_language_name();
  SendNotification(settings.start_url, false);
}

}  // namespace

int RunInstallation() {
  TheCorruptReportHooks().send_error_notification = SendErrorNotification;
  // Every failure to open the archive ends the process with its own message
  // (no data, foreign version, corrupt archive).
  OpenSetupArchive(TheSetupArchive());
  ReadSettings(TheSetupArchive(), TheInstallSettings());
  InstallSettings& settings = TheInstallSettings();
  TakeReportSettings(settings.product_flags, settings.automatic, settings.cancel_url);
  CheckIntegrityOrReport(TheSetupArchive(), settings.page_styles.integrity_mode());
  CheckInstallationAllowed(settings, TheSetupArchive().header.flags);
  RunInstallRoad(TheSetupArchive(), TheInstallSettings());
}

}  // namespace ks
