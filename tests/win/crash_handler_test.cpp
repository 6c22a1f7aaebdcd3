// The crash handler in a child process (a death test): a crash on the main
// thread, in code with C++ frames and a catch-all around it, reaches the
// handler, whose report goes to the run's recorder; in silent mode no dialog
// waits, and the process ends with the exception's code. An end of the
// process begun elsewhere meanwhile waits for the report.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "crash/win/crash_handler.h"
#include "lib/end_of_process.h"
#include "lib/fatal.h"
#include "lib/win/message_boxes.h"
#include "lib/win/terminate.h"

namespace ks {
namespace {

// The recorded entry on one line ("~" for each line end): the death test's
// simple expressions do not match across lines.
void PrintRecorded(const WString& entry) {
  std::string text = WideToUtf8(entry);
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "~");
  std::fprintf(stderr, "recorded[%s]", text.c_str());
  std::fflush(stderr);
}

// The crash happens below frames that own objects and would catch anything
// C++ can catch: neither may swallow it.
template <typename Crash>
void CrashInsideCxxFrames(Crash crash) {
  SetMessageBoxesSilent(true);
  InstallCrashHandling(::GetModuleHandleW(nullptr));
  SetCrashRecorder(PrintRecorded);
  try {
    const std::string owned(64, 'x');
    crash();
    std::fprintf(stderr, "went on after %s", owned.c_str());
  } catch (...) {
    std::fprintf(stderr, "caught");
  }
}

TEST(CrashHandlerDeathTest, FatalInternalErrorIsReportedWithoutRegisters) {
  EXPECT_EXIT(CrashInsideCxxFrames([] { RaiseInternalErrorAt("C:\\src\\array.h", 42); }),
              ::testing::ExitedWithCode(static_cast<int>(0xD1EB17CC)),
              "^recorded\\[~~INSTALLER CRASHED!~Fatal error: Internal Fatal Error~Module: array.h~Line: 42~~"
              "Product: Kestrelon Setup 46.0 Standard Edition~Thread ID: \\d+  Main Thread: \\d+~");
}

TEST(CrashHandlerDeathTest, AccessViolationOnTheMainThread) {
  const std::string digits = sizeof(void*) == 8 ? "000000000000" : "0000";
  EXPECT_EXIT(CrashInsideCxxFrames([] {
                volatile std::uintptr_t address = 0x20;  // not known to the compiler
                *reinterpret_cast<volatile int*>(address) = 1;
              }),
              ::testing::ExitedWithCode(static_cast<int>(0xC0000005)),
              "^recorded\\[~~INSTALLER CRASHED!~Exception: Illegal memory access.~.*Read/write: write~Memory address: " +
                  digits + "0020~.*~CPU Registers:~Flags: .*~Modules:~.*ks_win_tests.exe~");
}

// A stack overflow is reported from a thread of its own, for the crashed
// thread. (Wine ends a process whose stack really overflowed before any
// filter runs, so the exception is raised here as the system would.)
TEST(CrashHandlerDeathTest, StackOverflowIsReportedFromAFreshStack) {
  EXPECT_EXIT(CrashInsideCxxFrames([] { ::RaiseException(0xC00000FD, EXCEPTION_NONCONTINUABLE, 0, nullptr); }),
              ::testing::ExitedWithCode(static_cast<int>(0xC00000FD)),
              "^recorded\\[~~INSTALLER CRASHED!~Exception: Stack overflow.~~Product: .*~Exception code: C00000FD~"
              ".*Thread ID: \\d+  Main Thread: \\d+~");
}

// While one thread reports a crash, the main thread's end of the process
// waits, still answering what is sent to its windows; the reporting thread
// ends the process. Were the end not held, the first end-of-process step
// would end it with 5 before the window answered.
HANDLE g_held = nullptr;
HWND g_main_window = nullptr;

DWORD WINAPI ReportingThread(void*) {
  HoldEndWhileCrashReported(::GetCurrentThreadId());
  ::SetEvent(g_held);
  ::SendMessageW(g_main_window, WM_APP, 0, 0);  // answered only while the end waits
  std::fprintf(stderr, "answered");
  std::fflush(stderr);
  ::ExitProcess(7);
}

TEST(CrashHandlerDeathTest, AnEndBegunElsewhereWaitsForTheReport) {
  EXPECT_EXIT(
      {
        g_main_window = ::CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        g_held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetTerminateStep(TerminateStep::kProgressWindow, [] { ::ExitProcess(5); });
        ::CreateThread(nullptr, 0, ReportingThread, nullptr, 0, nullptr);
        ::WaitForSingleObject(g_held, INFINITE);
        StopProcess(0);
      },
      ::testing::ExitedWithCode(7), "answered");
}

}  // namespace
}  // namespace ks
