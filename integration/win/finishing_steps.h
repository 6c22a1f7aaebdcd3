#pragma once
// The end of the installation road, in the order the product's author relies
// on: documents, search path, uninstall registration, reboot marker,
// Uninstall.DAT, post-installation batch, completion notification, restore
// point, Install.log, restart question, exit batch, empty folders, and the
// launches that the user asked for.

#include <cstdint>
#include <functional>

#include "core/existing_installation.h"
#include "core/install_settings.h"
#include "core/start_options.h"
#include "core/win/reports.h"
#include "engine/win/restore_point.h"
#include "engine/win/run_batch.h"
#include "integration/finishing_rules.h"
#include "integration/win/close_install_log.h"
#include "integration/win/uninstall_registration.h"
#include "lib/text.h"

namespace ks {

// What the finishing steps read and write of the installation.
struct FinishingInput {
  RegistrationInput registration;  // archive, settings, folders, log, uninstall data
  std::uint32_t archive_flags = 0;  // the run's (the preparation may have cleared 0x2)
  const StartOptions* options = nullptr;  // "/r:", "/b2:", "/b3:"
  const Reports* reports = nullptr;
  RestorePoint* restore_point = nullptr;
  const BatchContext* batches = nullptr;
  InstallLogClosing log_closing;    // with everything but the final flags
  WString uninstall_dir;
  InstallType install_type = InstallType::kNew;
  bool earlier_folder_exists = false;
  // The progress page: the finishing stage and the files saved; null ones
  // are skipped.
  std::function<void(const WString&)> set_stage;
  std::function<void(const WString&)> set_status;
  // The summary page's boxes, filled when the log's closing shows it.
  const FinishChoices* choices = nullptr;
  // Path variables for the finish page's file, folder and application.
  std::function<WString(const WString&)> expand;
};

// Runs every finishing step and returns the exit code: 0, also after asking
// the system for a chosen restart (then nothing is launched).
int RunFinishingSteps(FinishingInput& input);

// Removes `folder` when it is empty or holds nothing but the shell's
// "thumbs.db" and "desktop.ini" (deleted with it); a folder holding anything
// else stays with all its files. True when the folder is gone.
bool RemoveFolderIfEmpty(const WString& folder);

}  // namespace ks
