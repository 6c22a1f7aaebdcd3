#pragma once
// Process-wide fatal paths of the support library.
//
// Two hooks: the fatal-error hook shows an untranslated text and ends the
// process (the engine installs its `FatalError`), and the crash hook receives
// the library's fatal internal errors (the crash handler installs it; until
// then they go to the fatal-error hook). Texts are narrow, in the system ANSI
// code page. A hook is not expected to return; if it does, the process aborts,
// because the caller cannot continue after a broken invariant.

#include <cstddef>
#include <cstdint>

#include "lib/text.h"

namespace ks {

using FatalHook = void (*)(NStringView text);

// Installing nullptr restores the default hook. Each returns the previous hook.
FatalHook SetFatalErrorHook(FatalHook hook);
FatalHook SetCrashHook(FatalHook hook);

// Ends the process through the fatal-error hook.
[[noreturn]] void RaiseFatalError(NStringView text);

// Fatal internal errors, raised to the crash hook.
[[noreturn]] void RaiseInternalError(NStringView text);
[[noreturn]] void RaiseInternalErrorAt(const char* module, int line);
[[noreturn]] void RaiseBoundsError(NStringView type_name, std::int64_t index, std::int64_t max_index);
[[noreturn]] void RaiseOutOfMemory(std::size_t requested);

// The texts of the internal errors, for the crash report and tests.
NString InternalErrorText(const char* module, int line);
NString BoundsErrorText(NStringView type_name, std::int64_t index, std::int64_t max_index);
NString OutOfMemoryText(std::size_t requested);

// True once an out-of-memory error was raised in this process; the crash
// report mentions an earlier one.
bool OutOfMemoryOccurred();

}  // namespace ks

// Raises the internal error with this source file and line.
#define KS_INTERNAL_ERROR() ::ks::RaiseInternalErrorAt(__FILE__, __LINE__)
