#pragma once
// Crash handling: when the installer or the uninstaller crashes (a processor
// exception nobody handles, or a fatal internal error of the support
// library), the report is written into the run's log, shown in the crash
// dialog and, when the user asks, sent to the maker; then the process ends.
// It runs on the crashing thread, once per process.
//
// Process-wide state, kept to what the handler cannot be handed because it
// is called by the system from any thread: the report addresses and the
// program instance (read at start-up), the main thread's id, the run's crash
// recorder, and which thread is handling a crash.

#include <windows.h>

#include <functional>

#include "crash/crash_record.h"
#include "crash/report_form.h"
#include "lib/text.h"

namespace ks {

// Reads the report addresses from the program's string resources, records
// the calling thread as the main thread, and installs the process's
// unhandled-exception filter and the support library's crash hook. The
// entry point calls it first thing.
void InstallCrashHandling(HINSTANCE instance);

// What a run does with a crash: put `entry` ("\r\n\r\nINSTALLER CRASHED!\r\n"
// and the report) into its failure summary and write its log now. An empty
// recorder records nothing (the uninstaller keeps no log).
using CrashRecorder = std::function<void(const WString& entry)>;
void SetCrashRecorder(CrashRecorder recorder);

inline constexpr char kCrashMarker[] = "\r\n\r\nINSTALLER CRASHED!\r\n";

// The addresses read at start-up.
const ReportAddresses& CrashReportAddresses();

// The support library's crash hook: raises `text` as the fatal-error
// exception (kFatalErrorCode), which reaches the filter like any crash.
[[noreturn]] void RaiseFatalErrorException(NStringView text);

// The record of the system's exception information (the filter's first step).
CrashRecord CrashRecordOf(const EXCEPTION_RECORD& exception, const CONTEXT& context);

}  // namespace ks
