#include "uninstall/win/auto_close.h"

#include <windows.h>

#include "core/report_text.h"
#include "lib/win/message_boxes.h"
#include "ui/win/program_closing.h"
#include "uninstall/removal_plan.h"

namespace ks {
namespace {

// Asks until the window is gone; false when the user chose cancel.
bool AskToClose(HWND window, const AutoCloseRule& rule, const LocalizedTexts& texts) {
  const WString text = FormatReportText(texts.TextOrEnglish(107), {Cp1252ToWide(rule.display_name)});
  if (AskUntilClosed(window, text, texts.TextOrEnglish(55))) return true;
  ShowMessageBox(texts.TextOrEnglish(101), texts.TextOrEnglish(111), MB_OK | MB_ICONWARNING);
  return false;
}

bool Apply(const TopWindow& top, const AutoCloseRule& rule, const LocalizedTexts* ask) {
  switch (rule.action) {
    case 0:
      ::SetForegroundWindow(top.window);
      ::PostMessageW(top.window, WM_CLOSE, 0, 0);
      return true;
    case 1:
      ::PostMessageW(top.window, WM_QUIT, 0, 0);
      return true;
    case 2:
      return !ask || AskToClose(top.window, rule, *ask);
    case 3:
      TerminateProgram(top.process, 1);
      return true;
    default:
      return true;
  }
}

}  // namespace

bool RunAutoCloseRules(const std::vector<AutoCloseRule>& rules, std::uint8_t pass, const LocalizedTexts* ask) {
  if (rules.empty()) return true;
  for (const TopWindow& top : OtherProgramsWindows()) {
    const int index = FirstMatchingAutoCloseRule(rules, pass, top.window_class, top.title);
    if (index < 0) continue;
    if (!Apply(top, rules[static_cast<std::size_t>(index)], ask)) return false;
  }
  return true;
}

}  // namespace ks
