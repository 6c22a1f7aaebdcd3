#pragma once
// How a run speaks to its user: error reports, questions, the cancellation
// and the corrupt-archive report. Boxes follow the process's message-box
// rules (lib/win/message_boxes.h: none at all in silent mode, owned by the
// background window); automatic mode answers every question with its first
// button and shows errors only when the product asks for them.

#include <windows.h>

#include <initializer_list>

#include "core/localized_texts.h"
#include "core/product_flags.h"
#include "core/report_text.h"
#include "lib/text.h"
#include "records/install_log.h"

namespace ks {

// A box with the stop icon, titled by localized text 21 or "Error"; none in
// silent mode.
void ErrorBox(const LocalizedTexts& texts, const WString& message);

class Reports {
 public:
  // Both live as long as the run; the table is the run's (its texts change
  // when the settings are read, or the uninstaller loads its own).
  Reports(const LocalizedTexts& texts, InstallLog& log) : texts_(texts), log_(log) {}
  Reports(const Reports&) = delete;
  Reports& operator=(const Reports&) = delete;

  // Where the run keeps its automatic mode: the command line's request until
  // the settings are read, then the settings' rule (which the uninstall-first
  // hand-over switches off for the rest of the run). Not owned.
  void follow_automatic(const bool* automatic) { automatic_ = automatic; }
  bool automatic() const { return automatic_ && *automatic_; }
  // ProductFlags high 0x8: errors are shown in automatic mode too.
  void set_errors_in_automatic(bool shown) { errors_in_automatic_ = shown; }
  // The settings' cancellation address (sent with every cancellation).
  void set_cancel_address(NString address) { cancel_address_ = std::move(address); }
  // The cancellation box is titled "Uninstallation" instead of "Installation".
  void set_uninstalling(bool uninstalling) { uninstalling_ = uninstalling; }

  // Localized text n, or the engine's English one.
  WString Text(int n) const { return texts_.TextOrEnglish(n); }

  // Shows the message in an error box unless silent, or automatic without
  // errors_in_automatic. Returns; the caller ends the run with its code.
  void Error(const WString& message) const;
  // The same with text `text_number` filled with `args` (FormatReportText:
  // an author's text whose % codes do not match cannot read garbage).
  void Error(int text_number, std::initializer_list<ReportArg> args = {}) const;

  // The cancellation: sends the cancellation notification and, unless
  // automatic, shows text 111 titled by text 98 (101 when uninstalling).
  // Returns `exit_code` for the road to end with.
  int Cancelled(int exit_code) const;
  // The variant without the box (a declined greeting or old-version
  // warning): notifies; returns 12.
  int CancelledQuietly() const;

  // A question with two buttons labelled by the given texts (empty labels
  // keep the system's). True for the first button; silent or automatic: no
  // box, true.
  bool Ask(const WString& text, const WString& caption, const WString& first_button,
           const WString& second_button) const;
  bool AskYesNo(const WString& text, const WString& caption) const;

  // Malformed archive data: text 13 with the code (and the system's error
  // text for a non-zero `system_error`) becomes the failure summary, the
  // error notification leaves, the box shows unless silent, and the process
  // ends with exit code 2.
  [[noreturn]] void Corrupt(int code, DWORD system_error = 0) const;

 private:
  bool ErrorsShown() const;

  const LocalizedTexts& texts_;
  InstallLog& log_;
  const bool* automatic_ = nullptr;
  bool errors_in_automatic_ = false;
  bool uninstalling_ = false;
  NString cancel_address_;
};

// The message Corrupt shows; `system_error` 0 adds nothing.
WString CorruptReportText(const LocalizedTexts& texts, int code, DWORD system_error);

}  // namespace ks
