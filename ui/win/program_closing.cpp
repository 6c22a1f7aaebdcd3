#include "ui/win/program_closing.h"

#include "core/report_text.h"
#include "lib/win/message_boxes.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"
#include "ui/wizard_rules.h"

namespace ks {
namespace {

WString WindowText(HWND window) {
  const int capacity = ::GetWindowTextLengthW(window) + 1;
  WString text(static_cast<std::size_t>(capacity), u'\0');
  const int length = ::GetWindowTextW(window, W(text), capacity);
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return text;
}

WString ClassName(HWND window) {
  WString name(257, u'\0');  // class names hold at most 256 characters
  const int length = ::GetClassNameW(window, W(name), static_cast<int>(name.size()));
  name.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return name;
}

BOOL CALLBACK Collect(HWND window, LPARAM param) {
  auto* windows = reinterpret_cast<std::vector<TopWindow>*>(param);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != 0 && process != ::GetCurrentProcessId()) {
    windows->push_back({window, ClassName(window), WindowText(window), process});
  }
  return TRUE;
}

}  // namespace

std::vector<TopWindow> OtherProgramsWindows() {
  std::vector<TopWindow> windows;
  ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

void TerminateProgram(DWORD process, UINT exit_code) {
  const OwnedHandle handle(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, process));
  if (handle) ::TerminateProcess(handle.get(), exit_code);
}

bool AskUntilClosed(HWND window, const WString& text, const WString& caption) {
  while (::IsWindow(window)) {
    if (ShowMessageBox(text, caption, MB_RETRYCANCEL | MB_ICONWARNING) != IDRETRY) return false;
  }
  return true;
}

bool CloseProgramsForInstallation(const std::vector<CloseProgramEntry>& entries, const LocalizedTexts& texts,
                                  bool silent) {
  if (entries.empty()) return true;
  for (const TopWindow& top : OtherProgramsWindows()) {
    const int index = FirstMatchingCloseEntry(entries, top.window_class, top.title);
    if (index < 0) continue;
    const CloseProgramEntry& entry = entries[static_cast<std::size_t>(index)];
    switch (entry.action) {
      case 0:
        ::PostMessageW(top.window, WM_CLOSE, 0, 0);
        break;
      case 1:
        ::PostMessageW(top.window, WM_QUIT, 0, 0);
        break;
      case 2: {
        if (silent) break;
        const WString text = FormatReportText(texts.TextOrEnglish(99), {AnsiToWide(entry.display_name)});
        if (!AskUntilClosed(top.window, text, texts.TextOrEnglish(65))) return false;
        break;
      }
      case 3:
        TerminateProgram(top.process, 0);
        break;
      default:
        break;
    }
  }
  return true;
}

}  // namespace ks
