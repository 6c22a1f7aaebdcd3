#pragma once
// The special folders of the running system: the resolvers of
// engine/special_folders.h over the shell, the registry and the environment.

#include <windows.h>

#include <memory>

#include "engine/special_folders.h"

namespace ks {

// The methods as the running system answers them. The registry is read in
// the process's own view, so the 32-bit engine on 64-bit Windows sees the
// 32-bit program folders as its default answers.
std::unique_ptr<FolderMethods> MakeSystemFolderMethods();

// The resolvers over the running system. Process-wide like the system they
// ask: they hold no run's data, only the temporary folder, resolved once per
// process. Main thread only.
SpecialFolders& SystemSpecialFolders();

inline WString SpecialFolderPath(SpecialFolder folder) { return SystemSpecialFolders().Get(folder); }
inline WString ProgramFilesFolder(int mode) { return SystemSpecialFolders().ProgramFiles(mode); }
inline WString CommonFilesFolder(int mode) { return SystemSpecialFolders().CommonFiles(mode); }

// The shell's change-notification call (SHChangeNotify), looked up with the
// folder calls; nullptr when shell32 lacks it.
using ShellChangeNotifyFn = void(WINAPI*)(LONG event, UINT flags, LPCVOID item1, LPCVOID item2);
ShellChangeNotifyFn ShellChangeNotify();

}  // namespace ks
