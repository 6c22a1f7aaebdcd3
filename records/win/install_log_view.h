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

// Asks the desktop's shell to open `file` (a program with `arguments`, in
// `folder`), so that it runs with the logged-on user's rights even when the
// installer runs elevated. False when the desktop's shell cannot be reached
// or refuses.
bool ExecuteAsDesktopUser(const WString& file, const WString& arguments, const WString& folder);

}  // namespace ks
