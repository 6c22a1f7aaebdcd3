#pragma once
// The Win32 side of the install log: the temporary step-log file, the system
// error texts, RecordFailure, and the writing of Install.log at the end.

#include <cstdint>

#include "integration/install_log.h"
#include "lib/text.h"

namespace ks {

// Creates the step log's temporary file and directs the step-log writers to
// it; its closing is registered with Terminate. False when it could not be
// created: the writers then do nothing and the installation goes on.
bool OpenStepLog();
// Closes the step log and deletes its temporary file (also Terminate's step).
void CloseStepLog();

// The system's message for `code` in the user's language (with the English
// one appended when it differs); see ComposeSystemErrorText.
WString SystemErrorText(std::uint32_t code);

// Reads the thread's last error first, then appends "<text 31> <text>\r\n"
// and, for a non-zero error, "Code <code>: <system text>\r\n\r\n" to the
// failure summary.
void RecordFailure(WStringView text);
void RecordFailure(NStringView text);  // code page 1252

// What Install.log's header and FinishInstallLog need of the installation;
// the installation fills it once it knows them.
struct InstallLogContext {
  WString install_dir;
  WString uninstall_subdir;
  WString product_name;
  WString product_version;
  WString overwritten_version;
  int install_type = 0;
  ProductFlags flags = 0;
  LogDateTime build_date;
  bool automatic = false;      // the settings' automatic rule; "/a" counts too
  bool finish_page_has_actions = false;  // launch, open or document at the end
  bool offer_view_log = false;           // the finish page's view-the-log offer
};
InstallLogContext& ProcessInstallLogContext();

struct InstallSettings;
// Takes the product name and version, the uninstall sub-folder, the flags, the
// build date and the automatic rule from the settings, and sets the detailed
// logging of the step-log writers.
void TakeInstallLogSettings(const InstallSettings& settings);

// Lets ReportCorrupt put its message into the failure summary and use the
// log's error texts. Called once at start-up, before the archive is read.
void ConnectInstallLog();

// Paths in the uninstall data folder.
WString UninstallFolderFile(WStringView file_name);
WString InstallLogPath();
NString InstallLogPathNarrow();
WString UninstallDataPath();

// The wizard's summary page, which offers the finish actions; installed by
// the wizard. Without it the information box is shown instead.
using SummaryPageHook = void (*)(InstallLogContext& context);
void SetSummaryPageHook(SummaryPageHook hook);

// Writes Install.log and ends the step log; see install_log.h for the texts.
void FinishInstallLog(WString failure_summary, bool show_final_message);

// Appends UTF-8 text to the finished Install.log (the launch failures at the
// very end, after the step log is gone). Opens the file by its wide path, so
// that a folder name outside the system code page still works. False when the
// file cannot be opened or written.
bool AppendToInstallLog(NStringView utf8);

// Opens Install.log for the user (nothing in silent mode).
void ViewInstallLog();

}  // namespace ks
