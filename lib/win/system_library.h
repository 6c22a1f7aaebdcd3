#pragma once
// Loading system DLLs and looking up their functions by name.

#include <windows.h>

#include "lib/text.h"
#include "lib/win/owned.h"

namespace ks {

// Limits the DLL search of every later load by name, the system's own loads
// included, to the system folder. The first thing the program does: an
// installer runs elevated from folders others can write to. Uses
// SetDefaultDllDirectories where the system has it, else takes at least the
// current folder out of the search.
void RestrictDllSearchToSystemFolder();

// Loads a DLL from the system folder by full path. An installer usually runs
// from a downloads folder, where a planted DLL of the same name must not be
// picked up ahead of the system's.
OwnedModule LoadSystemLibrary(const wchar_t* file_name);

// The exported function `name` as type Fn, or nullptr.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char* name) {
  if (!module) return nullptr;
  // Through void(*)(): the cast between unrelated function types is intended.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// The full path of a loaded module (nullptr: the program itself); empty on failure.
WString ModuleFileName(HMODULE module);

}  // namespace ks
