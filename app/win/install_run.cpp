#include "app/win/install_run.h"

#include "core/win/fatal_error.h"
#include "crash/win/crash_handler.h"
#include "engine/win/reboot_replacement.h"
#include "lib/end_of_process.h"
#include "lib/win/message_boxes.h"
#include "lib/win/notification_worker.h"

namespace ks {
namespace {

LogDateTime BuildDate(const BuildDateRecord& b) {
  // An archive without a build date carries an all-zero record.
  if (b == BuildDateRecord{}) return {};
  return {b.year, b.month, b.day, b.hour, b.minute, b.second};
}

}  // namespace

BatchContext InstallRun::Batches() {
  BatchContext batches;
  batches.vars = &vars;
  batches.log = &log;
  batches.texts = &texts;
  batches.silent = options.silent;
  batches.automatic = options.automatic || settings.automatic;
  return batches;
}

ComponentProgress InstallRun::Components() {
  ComponentProgress shown;
  shown.log = &log;
  shown.status_text = texts.Text(77);
  shown.set_status = [this](const WString& text) { progress.SetItem(text); };
  return shown;
}

RegistrationInput InstallRun::Registration() {
  RegistrationInput in;
  in.archive = &archive;
  in.settings = &settings;
  in.install_dir = choices.install_dir;
  in.start_menu_name = StartMenuNameOf(settings, choices);
  in.shared_dir = choices.shared_dir;
  in.font_list = placed.font_list;
  in.shared_files = shared_files;
  in.log = &log;
  in.uninstall = &uninstall;
  return in;
}

InstallLogClosing InstallRun::LogClosing() {
  InstallLogClosing closing;
  closing.log = &log;
  closing.steps = &step_file;
  closing.texts = &texts;
  closing.log_path =
      UninstallFolderPath(InstallFolderOf(settings, choices), settings.uninstall_subdir, Widen(kInstallLogName));
  InstallLogHeader& h = closing.header;
  h.product_name = settings.product_name;
  h.creates_uninstaller = HasFlag(settings.product_flags, product_flag::kRegisterUninstaller);
  h.install_type = static_cast<int>(choices.install_type);
  h.install_dir = InstallFolderOf(settings, choices);
  h.build_date = BuildDate(settings.build_date);
  h.product_version = settings.display_version;
  // Settled only with a usable earlier installation, never as "New".
  if (choices.install_type != InstallType::kNew) h.overwritten_version = earlier.earlier.version;
  closing.flags = settings.product_flags;
  closing.automatic = settings.automatic || options.automatic;
  closing.finish_page_has_actions =
      !settings.launch_on_exit.empty() || !settings.finishing_text1.empty() || !settings.finishing_text2.empty();
  closing.offer_view_log = HasFlag(settings.product_flags, product_flag::kSummaryCheckBox);
  closing.summary_page = [this](bool offer_view_log) {
    const SummaryBoxes shown =
        SummaryBoxesShown(offer_view_log, settings.finishing_text2, settings.finishing_text1, settings.launch_on_exit);
    const SummaryBoxes ticked = RunSummaryPage(wizard, PageStyle(WizardPage::kSummary), shown);
    finish = {ticked.view_log, ticked.document, ticked.open, ticked.launch};
  };
  return closing;
}

void InstallRun::OpenBackgroundWindow() {
  if (HasFlag(settings.product_flags, product_flag::kNoBackgroundWindow)) return;
  const auto look = [this] { return InstallationBackgroundLook(settings, background_title); };
  const bool maximised = HasFlag(settings.product_flags, product_flag::kBackgroundMaximised);
  if (!background.Create(resources, look, maximised, options.minimised_background)) return;
  wizard.owner = background.window();
  SetMessageBoxOwner(background.window());
  SetTerminateStep(TerminateStep::kBackgroundWindow, [this] { background.Destroy(); });
}

void InstallRun::LanguageApplied() {
  if (!HasFlag(settings.product_flags, product_flag::kKeepBackgroundTitle)) background_title = texts.Text(0);
  background.Repaint();
}

void InstallRun::RecordFatalErrors() {
  const auto record = [this](const WString& entry) {
    log.AddFailure(entry);
    if (step_file.IsOpen()) {
      // The log is written as after any failure, into a folder made for it
      // when no file was placed yet; a fatal end shows no final message.
      const InstallLogClosing closing = LogClosing();
      CreateFolderTree(FolderOfFile(closing.log_path));
      CloseInstallLog(closing, false);
    } else {
      SendErrorNotification();
    }
  };
  SetFatalErrorRecorder([record](const WString& text) { record(text + u"\r\n"); });
  SetCrashRecorder(record);
}

}  // namespace ks
