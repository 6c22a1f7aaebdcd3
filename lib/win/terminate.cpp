#include "lib/win/terminate.h"

#include <windows.h>

#include <ole2.h>

#include "lib/end_of_process.h"

namespace ks {

namespace {

bool g_ole_initialized = false;
volatile LONG g_crash_thread = 0;

// Lets windows that are being closed finish their work. Bounded, because a
// window that keeps posting to itself must not keep the process alive.
void ProcessQueuedMessages() {
  MSG msg;
  for (int i = 0; i < 10000 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

[[noreturn]] void EndProcess(int exit_code) {
  const DWORD crash_thread = static_cast<DWORD>(::InterlockedCompareExchange(&g_crash_thread, 0, 0));
  if (crash_thread != 0 && crash_thread != ::GetCurrentThreadId()) WaitForProcessEnd();
  // Registered once: an end that starts inside a step must not run it again.
  static bool messages_step_registered = false;
  if (!messages_step_registered) {
    messages_step_registered = true;
    SetTerminateStep(TerminateStep::kQueuedMessages, ProcessQueuedMessages);
  }
  RunTerminateSteps();
  if (g_ole_initialized) {
    g_ole_initialized = false;
    ::OleUninitialize();
  }
  ::ExitProcess(static_cast<UINT>(exit_code));
}

}  // namespace

void HoldEndWhileCrashReported(std::uint32_t thread_id) {
  ::InterlockedExchange(&g_crash_thread, static_cast<LONG>(thread_id));
}

void WaitForProcessEnd() {
  for (;;) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_SENDMESSAGE);
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void NoteOleInitialized() { g_ole_initialized = true; }

void Terminate(int exit_code) { EndProcess(exit_code); }
void StopProcess(int exit_code) { EndProcess(exit_code); }

}  // namespace ks
