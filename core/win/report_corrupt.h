#pragma once
// The one report for malformed archive data: the localized corrupt-installer
// message with its code, then the end with exit code 2.

#include <windows.h>

#include "lib/text.h"

namespace ks {

// What the report needs from parts that are wired in later. Unset members are
// skipped (summary, notification) or replaced by plain built-in texts.
struct CorruptReportHooks {
  // Makes the message the failure summary's content.
  void (*set_failure_summary)(const WString& message) = nullptr;
  // Requests the settings' error notification and waits until it has left.
  void (*send_error_notification)() = nullptr;
  // The code as the install log writes it, and the system's message for it.
  WString (*error_code_text)(DWORD code) = nullptr;
  WString (*system_error_text)(DWORD code) = nullptr;
};

CorruptReportHooks& TheCorruptReportHooks();

// The message that ReportCorrupt shows; `system_error` 0 adds nothing.
WString CorruptReportText(int code, DWORD system_error);

// Reports code `code` (with the thread's last error when asked and not 0),
// shows it unless silent, and ends the process with exit code 2.
[[noreturn]] void ReportCorrupt(int code, bool add_system_error);

}  // namespace ks
