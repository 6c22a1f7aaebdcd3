#pragma once
// Runs a call into foreign code (a system component that may be broken) so
// that a crash inside it becomes a result instead of the end of the
// installer.

#include <cstdint>

namespace ks {

using ForeignCall = void (*)(void* context);

// Calls `call(context)` on this thread. Returns true when it returned
// normally; false when it raised a processor fault (access violation,
// illegal or privileged instruction, division by zero, in-page error,
// misalignment, bounds); *fault_code then holds the exception code. The
// fault's frames are abandoned, not unwound: `call` must not own resources
// that need releasing across the foreign call. Main thread; not nestable.
bool CallGuarded(ForeignCall call, void* context, std::uint32_t* fault_code = nullptr);

}  // namespace ks
