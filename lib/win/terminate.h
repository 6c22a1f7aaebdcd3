#pragma once
// The orderly end of the process: the end-of-process steps in their order
// (lib/end_of_process.h; the queued window messages are processed there),
// then COM is uninitialised and the process ends with the exit code.

#include <cstdint>

namespace ks {

// Remembers that OLE was initialised on the main thread, so that the end
// uninitialises it.
void NoteOleInitialized();

// The entry point's last call, with the exit code its road returned. Nothing
// else calls it.
[[noreturn]] void Terminate(int exit_code);

// The same orderly end for the few paths that stop the run where they stand:
// a fatal error, a corrupt archive. The road's steps return their exit code
// instead.
[[noreturn]] void StopProcess(int exit_code);

// While thread `thread_id` reports a crash, an end of the process that any
// other thread begins waits instead: the crash handler ends the process
// itself once the user has seen the report, which an earlier end would cut
// short.
void HoldEndWhileCrashReported(std::uint32_t thread_id);

// Waits until another thread ends the process, answering the messages sent
// to this thread's windows meanwhile (so that nobody waiting on them hangs).
[[noreturn]] void WaitForProcessEnd();

}  // namespace ks
