#include "integration/win/close_install_log.h"

#include <windows.h>

#include "core/report_text.h"
#include "integration/finishing_rules.h"
#include "lib/win/message_boxes.h"
#include "lib/win/notification_worker.h"
#include "lib/win/os_version_query.h"
#include "lib/win/wide.h"
#include "records/win/install_log_view.h"

namespace ks {
namespace {

// Yes/No with the localized button labels (texts 79 and 80). Text 40 is the
// author's: filled by the safe formatter, a stray "%s" in it reads nothing.
bool AskViewLog(const LocalizedTexts& texts, const WString& log_path) {
  const WString text = FormatReportText(texts.Text(40), {log_path});
  return AskWithLabels(text, texts.Text(41), texts.Text(79), texts.Text(80));
}

void ShowInformation(const LocalizedTexts& texts) {
  ShowMessageBox(texts.Text(42), texts.Text(43), MB_OK | MB_ICONINFORMATION);
}

}  // namespace

void CloseInstallLog(const InstallLogClosing& c, bool show_final_message) {
  const bool failed = c.log->failed();
  if (failed) SendErrorNotification();
  bool view_log = false;
  bool offer_view_log = c.offer_view_log;
  FinalMessage message = FinalMessage::kNone;
  if (show_final_message && !MessageBoxesSilent()) {
    FinalMessageInput in{failed, c.automatic, c.flags, c.finish_page_has_actions, offer_view_log};
    message = ChooseFinalMessage(in);
    offer_view_log = in.offer_view_log;
    if (message == FinalMessage::kAskViewLog) view_log = AskViewLog(*c.texts, c.log_path);
    if (message == FinalMessage::kInformation) ShowInformation(*c.texts);
  }
  if (WritesInstallLog(failed, c.flags)) {
    InstallLogHeader header = c.header;
    header.install_date = LocalNow();
    header.os_name = GetOsNameW();
    if (!WriteInstallLogSection(c.log_path, header, c.steps, c.log->failures(), c.texts->Text(43))) {
      view_log = false;
      offer_view_log = false;
    }
  }
  // The summary page may offer the log, so it opens once the log exists.
  if (message == FinalMessage::kSummaryPage) {
    if (c.summary_page) {
      c.summary_page(offer_view_log);
    } else {
      ShowInformation(*c.texts);
    }
  }
  if (view_log) ViewInstallLog(c.log_path);
  if (c.steps) c.steps->CloseAndDelete();
  c.log->set_sink(nullptr);
}

void ViewInstallLog(const WString& log_path) {
  if (MessageBoxesSilent()) return;
  if (::GetFileAttributesW(W(log_path)) == INVALID_FILE_ATTRIBUTES) return;
  OpenForUser(log_path);
}

}  // namespace ks
