#pragma once
// The system-facing pieces of finishing the install log: making the written
// log usable by every user, and opening it for the user.

#include <windows.h>

#include "lib/text.h"

namespace ks {

// Clears the read-only, hidden and system attributes and removes every
// access-denied entry from the file's access list, taking ownership first
// when the list cannot be changed otherwise.
void ReleaseLogFileForUsers(const WString& path);

// Opens a document with its registered program as the desktop's user; falls
// back to the shell's ordinary open and then to Notepad.
void OpenForUser(const WString& path);

}  // namespace ks
