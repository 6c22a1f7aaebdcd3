#pragma once
// The system-facing pieces of finishing the install log: the Yes/No question
// with the product's own button labels, making the written log usable by
// every user, and opening the log for the user.

#include <windows.h>

#include "lib/text.h"

namespace ks {

// A Yes/No question with a question icon; empty labels keep the system's.
bool AskYesNo(HWND owner, const WString& text, const WString& caption, const WString& yes, const WString& no);

// Clears the read-only, hidden and system attributes and removes every
// access-denied entry from the file's access list, taking ownership first
// when the list cannot be changed otherwise.
void ReleaseLogFileForUsers(const WString& path);

// Opens a document with its registered program as the desktop's user; falls
// back to the shell's ordinary open and then to Notepad.
void OpenForUser(const WString& path);

}  // namespace ks
