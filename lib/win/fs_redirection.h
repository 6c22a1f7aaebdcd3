#pragma once
// WOW64 file-system redirection. A 32-bit program on 64-bit Windows sees the
// 32-bit system folders unless redirection is off; a 64-bit product needs the
// real ones. A process that is not under WOW64 has no redirection to switch off.

namespace ks {

// Switches redirection off for the rest of the run and keeps the value that
// restores it. True when it is off or there is none; false when the system
// refused (the caller ends with its fatal error).
bool SwitchOffFsRedirection();

// Puts back the redirection that SwitchOffFsRedirection switched off.
void RestoreFsRedirection();

}  // namespace ks
