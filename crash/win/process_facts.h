#pragma once
// What the crash report says about the process, gathered from the system at
// the moment of the crash: times, system and language, the loaded modules
// (the process-module functions, else a snapshot) and the call stack (the
// debugging help library, loaded from the system folder). Whatever the
// system cannot tell leaves its part empty; gathering never fails.

#include <windows.h>

#include "crash/crash_record.h"
#include "crash/crash_report.h"

namespace ks {

// The processor registers of a system context.
ProcessorContext ProcessorContextOf(const CONTEXT& context);

// `context` is the crashing thread's; `thread` a handle of that thread.
ProcessFacts GatherProcessFacts(const CONTEXT& context, HANDLE thread, DWORD thread_id, DWORD main_thread_id);

}  // namespace ks
