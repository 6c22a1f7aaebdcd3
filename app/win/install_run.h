#pragma once
// One installation run: everything the steps of the installation road read
// and settle, held in one place and handed to each step. Nothing of it lives
// anywhere else; the path variables ask it at every expansion.

#include <cstdint>
#include <memory>

#include "core/install_settings.h"
#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/win/archive_open.h"
#include "core/win/existing_installation.h"
#include "core/win/reports.h"
#include "engine/path_variables.h"
#include "engine/win/path_variables.h"
#include "engine/win/place_files.h"
#include "engine/win/restore_point.h"
#include "engine/win/run_batch.h"
#include "integration/component_texts.h"
#include "integration/finishing_rules.h"
#include "integration/firewall.h"
#include "integration/win/close_install_log.h"
#include "integration/win/system_firewall.h"
#include "integration/win/uninstall_registration.h"
#include "lib/win/space_reservation.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"
#include "records/win/install_log_file.h"
#include "ui/win/background_window.h"
#include "ui/win/program_resources.h"
#include "ui/win/progress_page.h"
#include "ui/win/wizard_page.h"
#include "ui/win/wizard_pages.h"

namespace ks {

struct InstallRun {
  InstallRun(const ProgramResources& program_resources, StartOptions start_options)
      : resources(program_resources), options(std::move(start_options)) {
    reports.follow_automatic(&options.automatic);
    page_look.resources = &resources;
    wizard.look = &page_look;
    wizard.texts = &texts;
  }
  InstallRun(const InstallRun&) = delete;
  InstallRun& operator=(const InstallRun&) = delete;

  const ProgramResources& resources;
  const StartOptions options;  // as the command line gave them
  LocalizedTexts texts;
  InstallLog log;
  StepLogFile step_file;
  Reports reports{texts, log};

  SetupArchive archive;
  InstallSettings settings;
  std::uint32_t archive_flags = 0;  // the header's, as the preparation leaves them
  EarlierInstallationState earlier;
  InstallChoices choices;
  bool folder_page = false;  // the folder page may still change the folder
  RestorePoint restore_point;
  SpaceReservation record_space;  // released when the finishing steps begin
  FilePlacementOutputs placed;
  // The SharedFiles text: the earlier installation's, grown by the counts.
  NString shared_files;
  UninstallData uninstall;
  // The system firewall's settings (the real ones unless a test hands its own).
  std::unique_ptr<FirewallSettings> firewall = MakeSystemFirewall();

  // The wizard: its windows and what its pages settle.
  PageLook page_look;        // from the settings, once they are read
  WizardContext wizard;      // the look, the texts, the owner and the header text
  BackgroundWindow background;
  WString background_title;  // localized text 0 of the language last applied
  ProgressPage progress;
  FinishChoices finish;      // the summary page's boxes

  // The values of the moment: the settings as read so far, the language the
  // texts show, the earlier installation and the choices made since.
  PathVariables vars{[this] {
    return InstallationInputs(settings, texts.current_language_name(), earlier.earlier, choices);
  }};

  // What every batch of the run shares.
  BatchContext Batches();
  // Where component registrations write and what they show.
  ComponentProgress Components();
  // What the uninstall registration writes, as the run has settled it.
  RegistrationInput Registration();
  // Install.log's path, header and final-message rules as the run knows them.
  InstallLogClosing LogClosing();
  // The background window, made while the settings are read (unless the
  // product or silent mode wants none); it owns the pages and message boxes.
  void OpenBackgroundWindow();
  // A language was applied: the background's title follows (unless the
  // product keeps it) and the pages' header text.
  void LanguageApplied();
  // The layout style of `page`.
  std::uint32_t PageStyle(WizardPage page) const { return settings.page_styles.layout_variant(page); }
  // From here on a fatal error or a crash goes into the failure summary,
  // into Install.log once the step log is open, and out as the error
  // notification.
  void RecordFatalErrors();
};

}  // namespace ks
