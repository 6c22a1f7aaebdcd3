#pragma once
// Closing the programs that must not run while the product is installed or
// removed: the walk over the other programs' top-level windows and the ways
// of ending them. The installation's pass is here; the uninstaller's rules
// (uninstall/win/auto_close.h) use the same pieces.

#include <windows.h>

#include <vector>

#include "core/install_settings.h"
#include "core/localized_texts.h"
#include "lib/text.h"

namespace ks {

struct TopWindow {
  HWND window = nullptr;
  WString window_class, title;
  DWORD process = 0;
};

// The top-level windows of every process but this one, in the system's order.
std::vector<TopWindow> OtherProgramsWindows();

// Ends the process with `exit_code`, with the rights that takes.
void TerminateProgram(DWORD process, UINT exit_code);

// Asks, retry or cancel with the warning icon, as long as the window exists.
// False when the user chose cancel.
bool AskUntilClosed(HWND window, const WString& text, const WString& caption);

// The installation's pass over the programs-to-close list: each window gets
// the action of the first entry for the installation that fits it. Asking
// (action 2) happens unless silent, with text 99 and title 65. False when
// the user cancelled there; the run then ends as cancelled.
bool CloseProgramsForInstallation(const std::vector<CloseProgramEntry>& entries, const LocalizedTexts& texts,
                                  bool silent);

}  // namespace ks
