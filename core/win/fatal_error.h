#pragma once
// The messages that end the process or stop the user: the fatal error, the
// error box and the usage message.

#include "lib/text.h"

namespace ks {

// An untranslated narrow text (code page 1252). Unless silent, shown in a box
// titled "FATAL ERROR - Kestrelon Setup"; then the process ends with -1. While
// window creation is disallowed the text is recorded instead of shown.
[[noreturn]] void FatalError(NStringView text);

// Modal box with the stop icon, owned by the background window when it
// exists, titled by localized text 21 or "Error".
void ErrorBox(WStringView text);

// The usage message with `prefix` (unless silent), then the end with exit code 15.
[[noreturn]] void ShowUsage(WStringView prefix);

// While set, FatalError records its text instead of opening a window.
void SetWindowCreationDisallowed(bool disallowed);
// The texts recorded that way, each behind "fatal + window_creation_disallowed\r\n".
const NString& RecordedFatalText();

}  // namespace ks
