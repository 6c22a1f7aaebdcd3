#include "uninstall/win/auto_close.h"

#include <windows.h>

#include "core/report_text.h"
#include "lib/win/message_boxes.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"
#include "uninstall/removal_plan.h"

namespace ks {
namespace {

struct TopWindow {
  HWND window;
  WString window_class, title;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  auto* windows = reinterpret_cast<std::vector<TopWindow>*>(param);
  WString window_class(256, u'\0');
  const int class_length = ::GetClassNameW(window, W(window_class), static_cast<int>(window_class.size()));
  window_class.resize(class_length > 0 ? static_cast<std::size_t>(class_length) : 0);
  const int title_capacity = ::GetWindowTextLengthW(window) + 1;
  WString title(static_cast<std::size_t>(title_capacity), u'\0');
  const int title_length = ::GetWindowTextW(window, W(title), title_capacity);
  title.resize(title_length > 0 ? static_cast<std::size_t>(title_length) : 0);
  windows->push_back({window, std::move(window_class), std::move(title)});
  return TRUE;
}

void TerminateOwner(DWORD process_id) {
  const OwnedHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, process_id));
  if (process) ::TerminateProcess(process.get(), 1);
}

// Asks until the window is gone; false when the user chose cancel.
bool AskUntilClosed(HWND window, const AutoCloseRule& rule, const LocalizedTexts& texts) {
  const WString text = FormatReportText(texts.TextOrEnglish(107), {Cp1252ToWide(rule.display_name)});
  const WString caption = texts.TextOrEnglish(55);
  while (::IsWindow(window)) {
    const int answer = ShowMessageBox(text, caption, MB_RETRYCANCEL | MB_ICONWARNING);
    if (answer != IDRETRY) {
      ShowMessageBox(texts.TextOrEnglish(101), texts.TextOrEnglish(111), MB_OK | MB_ICONWARNING);
      return false;
    }
  }
  return true;
}

bool Apply(const TopWindow& top, const AutoCloseRule& rule, DWORD owner, const LocalizedTexts* ask) {
  switch (rule.action) {
    case 0:
      ::SetForegroundWindow(top.window);
      ::PostMessageW(top.window, WM_CLOSE, 0, 0);
      return true;
    case 1:
      ::PostMessageW(top.window, WM_QUIT, 0, 0);
      return true;
    case 2:
      return !ask || AskUntilClosed(top.window, rule, *ask);
    case 3:
      TerminateOwner(owner);
      return true;
    default:
      return true;
  }
}

}  // namespace

bool RunAutoCloseRules(const std::vector<AutoCloseRule>& rules, std::uint8_t pass, const LocalizedTexts* ask) {
  if (rules.empty()) return true;
  std::vector<TopWindow> windows;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  const DWORD self = ::GetCurrentProcessId();
  for (const TopWindow& top : windows) {
    const int index = FirstMatchingAutoCloseRule(rules, pass, top.window_class, top.title);
    if (index < 0) continue;
    DWORD owner = 0;
    ::GetWindowThreadProcessId(top.window, &owner);
    if (owner == 0 || owner == self) continue;
    if (!Apply(top, rules[static_cast<std::size_t>(index)], owner, ask)) return false;
  }
  return true;
}

}  // namespace ks
