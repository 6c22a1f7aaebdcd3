#include "core/win/reports.h"

#include <vector>

#include "core/corrupt_message.h"
#include "lib/error_text.h"
#include "lib/win/message_boxes.h"
#include "lib/win/notification_worker.h"
#include "lib/win/system_error.h"
#include "lib/win/terminate.h"

namespace ks {

void ErrorBox(const LocalizedTexts& texts, const WString& message) {
  WString title = texts.Text(21);
  if (title.empty()) title = u"Error";
  // Without an owner the box still blocks the thread's other windows.
  const UINT modality = MessageBoxOwner() ? MB_APPLMODAL : MB_TASKMODAL;
  ShowMessageBox(message, title, MB_OK | MB_ICONSTOP | MB_SETFOREGROUND | modality);
}

bool Reports::ErrorsShown() const {
  if (MessageBoxesSilent()) return false;
  return !automatic() || errors_in_automatic_;
}

void Reports::Error(const WString& message) const {
  if (ErrorsShown()) ErrorBox(texts_, message);
}

void Reports::Error(int text_number, std::initializer_list<ReportArg> args) const {
  if (!ErrorsShown()) return;
  ErrorBox(texts_, FormatReportText(Text(text_number), std::vector<ReportArg>(args)));
}

int Reports::Cancelled(int exit_code) const {
  SendNotification(cancel_address_, false);
  if (!automatic()) ShowMessageBox(Text(111), Text(uninstalling_ ? 101 : 98), MB_OK | MB_ICONWARNING);
  return exit_code;
}

int Reports::CancelledQuietly() const {
  SendNotification(cancel_address_, false);
  return 12;
}

bool Reports::Ask(const WString& text, const WString& caption, const WString& first_button,
                  const WString& second_button) const {
  if (MessageBoxesSilent() || automatic()) return true;
  return AskWithLabels(text, caption, first_button, second_button);
}

bool Reports::AskYesNo(const WString& text, const WString& caption) const {
  if (MessageBoxesSilent() || automatic()) return true;
  return ShowMessageBox(text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

WString CorruptReportText(const LocalizedTexts& texts, int code, DWORD system_error) {
  WString message = CorruptMessage(texts.Text(13), code);
  if (system_error != 0) {
    message += SystemErrorSuffix(ErrorCodeText(static_cast<std::int32_t>(system_error)),
                                 SystemErrorText(system_error));
  }
  return message;
}

void Reports::Corrupt(int code, DWORD system_error) const {
  const WString message = CorruptReportText(texts_, code, system_error);
  log_.ReplaceFailures(message);
  SendErrorNotification();
  ErrorBox(texts_, message);
  StopProcess(2);
}

}  // namespace ks
