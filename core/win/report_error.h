#pragma once
// The messages that stop an installation or ask the user before it goes on:
// ReportError (a localized error, after which the caller ends the process),
// ReportCancelled (the cancellation notification, a notice, then the end)
// and the question boxes. All honour automatic and silent mode: silent shows
// nothing at all, automatic answers every question with its first button.

#include <initializer_list>

#include "core/product_flags.h"
#include "core/report_text.h"
#include "lib/text.h"

namespace ks {

// What the reports take from the settings; set once they are read. Until
// then the command line's automatic and silent requests count.
void TakeReportSettings(ProductFlags flags, bool automatic, const NString& cancel_url);
// Whether the run is automatic for the reports and questions. The
// uninstall-first step switches it off for the rest of the run.
bool ReportsAutomatic();
void SetReportsAutomatic(bool automatic);

// Shows `message` in an error box (localized text 21, default "Error") unless
// silent, or automatic without ProductFlags high 0x8. Returns; the caller
// ends the process with its exit code.
void ReportError(const WString& message);
// The same with localized text `text_number` formatted with `args` (%s, %d
// and friends, each taking the next argument; see core/report_text.h). An
// empty localized text falls back to the built-in English one.
void ReportError(int text_number, std::initializer_list<ReportArg> args = {});

// Sends the cancellation notification; unless automatic shows localized text
// 111 with the warning icon, titled by text 98 (installation) or 101
// (uninstallation); then Terminate with `exit_code`.
[[noreturn]] void ReportCancelled(int exit_code);
// The variant without the box (a declined greeting or old-version warning):
// notifies and ends with exit code 12.
[[noreturn]] void ReportCancelledQuietly();

// A question with two buttons labelled by the given texts (a message box
// whose Yes and No buttons are relabelled; empty labels keep the system's).
// True when the first button was chosen; any other answer is a refusal.
// Silent or automatic: no box, true.
bool AskQuestion(const WString& text, const WString& caption, const WString& first_button,
                 const WString& second_button);
// A plain Yes/No question; the same rules as AskQuestion.
bool AskYesNo(const WString& text, const WString& caption);

}  // namespace ks
