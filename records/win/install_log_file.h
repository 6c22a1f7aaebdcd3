#pragma once
// The Win32 side of the install log: the temporary step-log file, the failure
// entry with the system's error text, and the writing of Install.log.

#include <windows.h>

#include <cstdint>

#include "lib/text.h"
#include "lib/win/file.h"
#include "records/install_log.h"

namespace ks {

// The temporary file behind a run's step log. The system deletes it when it
// is closed, by the end of the process however that comes.
class StepLogFile : public StepLogSink {
 public:
  StepLogFile() = default;
  ~StepLogFile() override;
  StepLogFile(const StepLogFile&) = delete;
  StepLogFile& operator=(const StepLogFile&) = delete;

  // Creates the file in `temp_folder`. False when it could not be created:
  // the run then goes on without a step log.
  bool Open(const WString& temp_folder);
  bool IsOpen() const { return file_.IsOpen(); }
  void Append(NStringView utf8) override;
  // Everything written so far; false when it cannot be read back.
  bool ReadBack(NString* out);
  void CloseAndDelete();

 private:
  File file_;
  WString path_;
};

// Reads the thread's last error first, then appends "<label> <text>\r\n" and,
// for a non-zero error, "Code <code>: <system text>\r\n\r\n" to the failure
// summary (the label is the log's failure label, localized text 31).
void RecordFailure(InstallLog& log, WStringView text);
void RecordFailure(InstallLog& log, NStringView text);  // code page 1252

// Appends one section to the Install.log at `path`: the byte-order mark or
// the separator, the header, the step log, and the closing lines with the
// failure summary or `success_text` (localized text 43). An older engine's
// code page 1252 log becomes UTF-8 first. The whole log is written in place
// of the old one (WriteFileAtomically), so that a failure or a killed process
// leaves the old log or the new one, never a part. The file is then opened to
// every user. False when it could not be read or written.
bool WriteInstallLogSection(const WString& path, const InstallLogHeader& header, StepLogFile* steps,
                            const WString& failure_summary, const WString& success_text);

// Appends UTF-8 text to the finished Install.log (the launch failures at the
// very end, after the step log is gone), the same way. Opens the file by its
// wide path, so that a folder name outside the system code page still works.
// False when the file cannot be read or written.
bool AppendToInstallLog(const WString& path, NStringView utf8);

// The local time as the log header shows it.
LogDateTime LocalNow();

}  // namespace ks
