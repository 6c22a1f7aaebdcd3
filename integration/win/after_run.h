#pragma once
// What both the installer and the uninstaller do at their very end: ask the
// system for a restart, and start the program that the command line's "/r:"
// named.

#include <windows.h>

#include "lib/text.h"

namespace ks {

// Enables the shutdown privilege and asks the system to restart (reason
// 0x80040002: application, installation, planned). The shutdown call works
// from a service's session too (deployment tools install silently as the
// system account), where ExitWindowsEx refuses; the latter is the fall-back.
// 0 when the request was taken, else the system's error.
DWORD RequestSystemRestart();

struct RunAfterRules {
  // Start it in the program's own folder when that folder exists (the
  // installer); otherwise in this process's current folder.
  bool in_program_folder = false;
  // A command that cannot be started as a program is opened by the shell
  // as a document (the uninstaller).
  bool open_as_document = false;
};

// Starts `command` (a program with its arguments) without waiting; an empty
// command starts nothing. 0, or the system's error of the failed start.
DWORD StartRunAfter(const WString& command, const RunAfterRules& rules);

}  // namespace ks
