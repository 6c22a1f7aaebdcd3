#pragma once
// The install log: the step log that every step writes while installing, the
// failure summary that collects what the user must see, and the texts of the
// "Install.log" file that joins both at the end.
//
// Everything that decides text lives here as plain functions; the Win32 layer
// (integration/win/install_log_file.h) owns the temporary step-log file and
// writes Install.log.

#include <cstdint>
#include <vector>

#include "core/product_flags.h"
#include "lib/text.h"

namespace ks {

namespace product_flag {
// Write Install.log even when nothing failed.
inline constexpr ProductFlags kAlwaysWriteLog = FlagLow(0x00000040);
// No final message after a successful installation.
inline constexpr ProductFlags kNoFinalMessage = FlagLow(0x00400000);
}  // namespace product_flag

// ---------------------------------------------------------------------------
// Step log writers. Each converts its input to UTF-8 and appends it; none adds
// a line end, so callers supply their own "\r\n". Before the step log is open
// (and when it could not be created) the writes have no effect.

// Where the step log's UTF-8 bytes go; the Win32 layer installs its file.
class StepLogSink {
 public:
  virtual ~StepLogSink() = default;
  virtual void Append(NStringView utf8) = 0;
};
// Installs (or with nullptr removes) the process-wide sink. Not owned.
void SetStepLogSink(StepLogSink* sink);

void LogText(const char* text);                 // code page 1252, zero-terminated
void LogNarrow(NStringView text);               // code page 1252
void LogNarrowF(const char* format, ...);        // printf-style, code page 1252
void LogConcat(const char* first, ...);         // texts ended by a null pointer
void LogWide(WStringView text);
// Wide printf-style format: %s takes a const char16_t*, %d %i %u %x %X %c as
// usual (flags, width and the l/ll length modifiers are understood), %% a percent.
void LogWideF(const char16_t* format, ...);
void LogConcatW(const char16_t* first, ...);    // texts ended by a null pointer

// The common step endings.
inline constexpr const char* kLogOk = "OK\r\n";
inline constexpr const char* kLogFailed = "FAILED\r\n";

// Result lines ("Desktop Shortcut(name) >>> path\r\n") appear only with
// detailed logging (ProductFlags low 0x100000); the installation sets it once
// the settings are read.
void SetDetailedLogging(bool on);
bool DetailedLogging();
WString ResultLine(WStringView kind, WStringView name, WStringView path);
void LogResult(WStringView kind, WStringView name, WStringView path);

// The wide formatter behind LogWideF, for callers that build failure lines.
WString FormatWide(const char16_t* format, ...);

// ---------------------------------------------------------------------------
// Error texts.

// A non-negative code in decimal; a negative one (a COM-style result) as "0x"
// and eight upper-case hexadecimal digits.
WString ErrorCodeText(std::int32_t code);
NString ErrorCodeTextNarrow(std::int32_t code);

// The parts of the system error text, put together: code 86 is always
// "Incorrect password."; an empty message gives "Error 0x%08X"; trailing white
// space goes; an English message that differs is appended after CR LF.
// The Win32 lookup (SystemErrorText in integration/win/install_log_file.h)
// fetches the two messages and calls this.
WString ComposeSystemErrorText(std::uint32_t code, WStringView user_message, WStringView english_message);

// ---------------------------------------------------------------------------
// Failure summary: wide text of complete lines, held for the whole run.

WString& FailureSummary();
void AppendFailure(WStringView lines);

// The entry RecordFailure appends: "<text 31> <text>\r\n" and, when `code` is
// not zero, "Code <code text>: <system text>\r\n\r\n".
WString FailureEntry(WStringView label, WStringView text, std::uint32_t code, WStringView system_text);
// RecordFailure itself reads the thread's last error and so lives in the
// Win32 layer: integration/win/install_log_file.h.

// ---------------------------------------------------------------------------
// Install.log texts.

inline constexpr const char* kInstallLogName = "Install.log";
inline constexpr const char* kUninstallDataName = "Uninstall.DAT";
inline constexpr const char* kInstallerVersion = "46.0";

// The installation folder joined with the uninstall sub-folder (when set) and
// `file_name` (when set), with single backslashes.
WString UninstallFolderPath(WStringView install_dir, WStringView uninstall_subdir, WStringView file_name = {});

struct LogDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool empty() const { return year == 0 && month == 0 && day == 0 && hour == 0 && minute == 0 && second == 0; }
};

struct InstallLogHeader {
  WString product_name;
  LogDateTime install_date;  // local time
  bool creates_uninstaller = false;
  int install_type = 0;      // 0 new, 1 reinstall, 2 upgrade, 3 downgrade
  WString install_dir;
  LogDateTime build_date;    // empty when the archive carries none
  WString product_version;
  WString overwritten_version;
  WString os_name;
};
WString InstallLogHeaderText(const InstallLogHeader& header);

inline constexpr const char* kLogSeparator = "\r\n\r\n**********************************************\r\n";
inline constexpr const char* kUtf8Bom = "\xEF\xBB\xBF";

// The bytes to put in front of a new section: the byte-order mark in an empty
// file, else the separator.
NString SectionLead(bool file_empty);

// An existing log that does not begin with the UTF-8 byte-order mark is an
// older engine's code page 1252 text: its UTF-8 form with the mark. Returns
// false (and leaves `upgraded` empty) when the log needs no change.
bool UpgradeOldLog(NStringView existing, NString& upgraded);

// The closing lines after the copied step log: "\r\n", then text 43 and
// "\r\n" or "*** FAILURE SUMMARY ***\r\n" and the summary, in UTF-8.
NString SectionTail(WStringView failure_summary, WStringView success_text);

// What FinishInstallLog shows when asked to show a final message.
enum class FinalMessage {
  kNone,             // nothing (automatic mode, or no final message wanted)
  kAskViewLog,       // failed: Yes/No question, text 40 with the log path
  kInformation,      // succeeded: text 42 in an information box
  kSummaryPage,      // succeeded: the wizard's summary page offers its actions
};
struct FinalMessageInput {
  bool failed = false;
  bool automatic = false;
  ProductFlags flags = 0;
  // What the finish page has to offer besides the log.
  bool has_launch_or_open = false;
  // In and out: the finish page's offer to view the log; withdrawn when no
  // log will be written.
  bool offer_view_log = false;
};
FinalMessage ChooseFinalMessage(FinalMessageInput& input);

// Whether Install.log is written at all.
inline bool WritesInstallLog(bool failed, ProductFlags flags) {
  return failed || HasFlag(flags, product_flag::kAlwaysWriteLog);
}

}  // namespace ks
