#include "core/win/report_error.h"

#include <windows.h>

#include <vector>

#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/win/fatal_error.h"
#include "core/win/process_state.h"
#include "core/win/terminate.h"
#include "integration/win/install_log_view.h"
#include "lib/win/notification_worker.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

struct ReportSettings {
  bool taken = false;
  ProductFlags flags = 0;
  bool automatic = false;
  NString cancel_url;
};

ReportSettings& Settings() {
  static ReportSettings settings;
  return settings;
}

bool Silent() { return TheStartOptions().silent; }

// The localized text, or the built-in English one when the table has none.
WString TextOrDefault(int n) {
  WString text = LocalizedText(n);
  if (!text.empty()) return text;
  const char16_t* fallback = DefaultReportText(n);
  return fallback ? ProcessTexts().ReplacePlaceholders(fallback) : WString();
}

bool ErrorsShown() {
  if (Silent()) return false;
  return !ReportsAutomatic() || HasFlag(Settings().flags, product_flag::kErrorsInAutomaticMode);
}

void SendCancelNotification() { SendNotification(Settings().cancel_url, false); }

}  // namespace

void TakeReportSettings(ProductFlags flags, bool automatic, const NString& cancel_url) {
  ReportSettings& s = Settings();
  s.taken = true;
  s.flags = flags;
  s.automatic = automatic;
  s.cancel_url = cancel_url;
}

bool ReportsAutomatic() {
  const ReportSettings& s = Settings();
  return s.taken ? s.automatic : TheStartOptions().automatic;
}

void SetReportsAutomatic(bool automatic) {
  ReportSettings& s = Settings();
  s.taken = true;
  s.automatic = automatic;
}

void ReportError(const WString& message) {
  if (ErrorsShown()) ErrorBox(message);
}

void ReportError(int text_number, std::initializer_list<ReportArg> args) {
  if (!ErrorsShown()) return;
  ErrorBox(FormatReportText(TextOrDefault(text_number), std::vector<ReportArg>(args)));
}

void ReportCancelled(int exit_code) {
  SendCancelNotification();
  if (!ReportsAutomatic() && !Silent()) {
    const WString title = TextOrDefault(TheStartOptions().uninstall ? 101 : 98);
    ::MessageBoxW(Process().background_window, W(TextOrDefault(111)), W(title), MB_OK | MB_ICONWARNING);
  }
  Terminate(exit_code);
}

void ReportCancelledQuietly() {
  SendCancelNotification();
  Terminate(12);
}

bool AskQuestion(const WString& text, const WString& caption, const WString& first_button,
                 const WString& second_button) {
  if (Silent() || ReportsAutomatic()) return true;
  return AskYesNo(Process().background_window, text, caption, first_button, second_button);
}

bool AskYesNo(const WString& text, const WString& caption) {
  if (Silent() || ReportsAutomatic()) return true;
  const int answer = ::MessageBoxW(Process().background_window, W(text), W(caption), MB_YESNO | MB_ICONQUESTION);
  return answer == IDYES;
}

}  // namespace ks
