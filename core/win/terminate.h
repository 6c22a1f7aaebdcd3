#pragma once
// The one orderly end of the process. Every path of the installer and the
// uninstaller ends here.

namespace ks {

// Remembers that OLE was initialised on the main thread, so that the end
// uninitialises it.
void NoteOleInitialized();

// Runs the registered end steps in their order (see core/terminate_steps.h;
// the queued window messages are processed here), uninitialises OLE and ends
// the process with `exit_code`.
[[noreturn]] void Terminate(int exit_code);

}  // namespace ks
