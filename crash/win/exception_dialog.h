#pragma once
// The crash dialog ("ExceptionDlg", caption "Illegal Operation"): the report,
// the e-mail address and comments the user may add, and the buttons "Inform
// Us" (disabled without a support address), "Copy Report" (the report on the
// clipboard as 8-bit text; the dialog stays) and "Exit". Shrunk to the
// screen's work area when larger, and centred on it.

#include <windows.h>

#include <optional>

#include "crash/report_form.h"
#include "lib/text.h"

namespace ks {

// The template's controls.
inline constexpr int kInformUsButton = 2700;
inline constexpr int kExitButton = 2701;
inline constexpr int kApologyText = 2702;
inline constexpr int kReportEdit = 2703;
inline constexpr int kCopyReportButton = 2704;
inline constexpr int kEmailEdit = 2705;
inline constexpr int kEmailPrompt = 2706;
inline constexpr int kCommentsEdit = 2707;
inline constexpr int kCommentsPrompt = 2708;

// Shows the dialog modally. The user's input after "Inform Us"; nothing after
// "Exit", the close command, or when the dialog could not be shown.
std::optional<ReportInput> ShowExceptionDialog(HINSTANCE instance, HWND owner, const NString& report,
                                               const NString& support_address);

// Puts 8-bit text (code page 1252) on the clipboard, marked with an English
// locale so that programs reading it as Unicode convert it from that code page.
bool CopyTextToClipboard(HWND owner, NStringView text);

}  // namespace ks
