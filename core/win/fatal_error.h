#pragma once
// The messages that end the process before or outside a road: the fatal
// error and the usage message.

#include <functional>

#include "lib/text.h"

namespace ks {

// The installer caption: titles every message shown before the product's own
// texts are known.
inline constexpr char kInstallerCaption[] = "Kestrelon Setup";

// An untranslated narrow text (code page 1252). Once the run has a log, the
// text goes into its failure summary first (see SetFatalErrorRecorder).
// Unless silent, shown in a box titled "FATAL ERROR - Kestrelon Setup"; then
// the process ends with -1. While window creation is disallowed the text is
// recorded instead of shown. This is the support library's fatal-error hook.
[[noreturn]] void FatalError(NStringView text);

// What a run does with a fatal error's text before the process ends: put it
// into the failure summary, write Install.log and send the error
// notification. Process-wide, like the fatal error itself, which the support
// library raises from wherever it is; an empty recorder records nothing.
using FatalErrorRecorder = std::function<void(const WString& text)>;
void SetFatalErrorRecorder(FatalErrorRecorder recorder);

// The usage message with `prefix` (unless silent) for the entry point, which
// then ends with exit code 15.
void ShowUsage(WStringView prefix);

// While set, FatalError records its text instead of opening a window.
void SetWindowCreationDisallowed(bool disallowed);
// The texts recorded that way, each behind "fatal + window_creation_disallowed\r\n".
const NString& RecordedFatalText();

}  // namespace ks
