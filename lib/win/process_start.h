#pragma once
// Starting programs: the command line, its working folder and window, and the
// wait that keeps the caller's windows served.

#include <windows.h>

#include <functional>

#include "lib/text.h"
#include "lib/win/owned.h"

namespace ks {

struct ProcessStart {
  WString command_line;    // program and arguments, quoted as the program expects
  WString folder;          // working folder; empty: this process's
  bool hidden = false;     // the program's first window is hidden
  DWORD creation_flags = 0;
};

// Starts the program; 0 or the system's error. With `process` the caller
// keeps the process handle (to wait for it); otherwise it is closed at once.
DWORD StartProcess(const ProcessStart& start, OwnedHandle* process = nullptr);

// Waits until the process has ended, calling `serve` (may be empty) every
// `interval_ms` meanwhile, so that the caller's windows stay responsive.
void WaitForProcess(HANDLE process, DWORD interval_ms, const std::function<void()>& serve);

// Processes the window messages queued for this thread.
void ServeWindowMessages();
// Processes this thread's window messages for `ms` milliseconds.
void ServeWindowMessagesFor(DWORD ms);

// A program of the system by its full path in the Windows folder (regedit)
// or the system folder (notepad): a bare name would be searched in the
// installer's own folder first, where anybody could have put a program of
// that name. Empty when the folder cannot be had.
WString WindowsProgramPath(const wchar_t* file_name);
WString SystemProgramPath(const wchar_t* file_name);

}  // namespace ks
