#pragma once
// The install log: the step log that every step writes while installing, the
// failure summary that collects what the user must see, and the texts of the
// "Install.log" file that joins both at the end.
//
// Everything that decides text lives here as plain functions; the Win32 layer
// (records/win/install_log_file.h) owns the temporary step-log file and
// writes Install.log.

#include <cstdint>
#include <vector>

#include "lib/text.h"

namespace ks {

// ---------------------------------------------------------------------------
// The step log and the failure summary of one run.

// Where the step log's UTF-8 bytes go; the Win32 layer provides a file.
class StepLogSink {
 public:
  virtual ~StepLogSink() = default;
  virtual void Append(NStringView utf8) = 0;
};

// The common step endings.
inline constexpr const char* kLogOk = "OK\r\n";
inline constexpr const char* kLogFailed = "FAILED\r\n";

// "Desktop Shortcut(name) >>> path\r\n"
WString ResultLine(WStringView kind, WStringView name, WStringView path);

// What a run writes as it goes: every step's lines in the step log, and what
// the user must see in the failure summary. The writers convert their input
// to UTF-8 and append it; none adds a line end, so callers supply their own
// "\r\n". Without a sink (before the step log is open, when it could not be
// created, or in a run that keeps none) the step log writes have no effect;
// the failure summary is kept all the same.
class InstallLog {
 public:
  InstallLog() = default;
  InstallLog(const InstallLog&) = delete;
  InstallLog& operator=(const InstallLog&) = delete;

  // Not owned; nullptr detaches.
  void set_sink(StepLogSink* sink) { sink_ = sink; }
  bool has_sink() const { return sink_ != nullptr; }

  void Text(const char* text);                // code page 1252, zero-terminated
  void Narrow(NStringView text);              // code page 1252
  void NarrowF(const char* format, ...);      // printf-style, code page 1252
  void Concat(const char* first, ...);        // texts ended by a null pointer
  void Wide(WStringView text);
  // Wide printf-style format: %s takes a const char16_t*, %d %i %u %x %X %c as
  // usual (flags, width and the l/ll length modifiers are understood), %% a percent.
  void WideF(const char16_t* format, ...);
  void ConcatW(const char16_t* first, ...);  // texts ended by a null pointer

  // Result lines appear only with detailed logging (ProductFlags low
  // 0x100000), which the installation sets once the settings are read.
  void set_detailed(bool on) { detailed_ = on; }
  bool detailed() const { return detailed_; }
  void Result(WStringView kind, WStringView name, WStringView path);

  // The failure summary: wide text of complete lines.
  const WString& failures() const { return failures_; }
  bool failed() const { return !failures_.empty(); }
  void AddFailure(WStringView lines) { failures_.append(lines); }
  void ReplaceFailures(WString summary) { failures_ = std::move(summary); }
  // The label in front of every recorded failure (localized text 31).
  void set_failure_label(WString label) { failure_label_ = std::move(label); }
  const WString& failure_label() const { return failure_label_; }

 private:
  void Append(NStringView utf8);

  StepLogSink* sink_ = nullptr;
  bool detailed_ = false;
  WString failures_;
  WString failure_label_;
};

// The wide formatter behind InstallLog::WideF, for callers that build lines
// from formats of their own (never from a localized text: see FormatReportText).
WString FormatWide(const char16_t* format, ...);

// The entry RecordFailure appends: "<text 31> <text>\r\n" and, when `code` is
// not zero, "Code <code text>: <system text>\r\n\r\n".
WString FailureEntry(WStringView label, WStringView text, std::uint32_t code, WStringView system_text);
// RecordFailure itself reads the thread's last error and so lives in the
// Win32 layer: records/win/install_log_file.h.

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

}  // namespace ks
