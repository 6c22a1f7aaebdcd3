#include "lib/win/system_library.h"

#include "lib/win/wide.h"

namespace ks {

namespace {

WString SystemDirectory() {
  WString dir(MAX_PATH, u'\0');
  for (;;) {
    const UINT n = ::GetSystemDirectoryW(W(dir), static_cast<UINT>(dir.size()));
    if (n == 0) return {};
    if (n < dir.size()) {
      dir.resize(n);
      return dir;
    }
    dir.resize(n);  // n is the size needed, terminator included
  }
}

}  // namespace

void RestrictDllSearchToSystemFolder() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  // Looked up by name: systems without the update that adds it still run us.
  const auto set_default = ProcAddress<SetDefaultDllDirectoriesFn>(::GetModuleHandleW(L"kernel32.dll"),
                                                                   "SetDefaultDllDirectories");
  if (set_default && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  ::SetDllDirectoryW(L"");
}

OwnedModule LoadSystemLibrary(const wchar_t* file_name) {
  WString path = SystemDirectory();
  if (path.empty()) return OwnedModule();
  if (path.back() != u'\\') path += u'\\';
  path += FromW(file_name);
  return OwnedModule(::LoadLibraryW(W(path)));
}

WString ModuleFileName(HMODULE module) {
  // The name may be longer than MAX_PATH (long path names); grow until it fits.
  WString name(MAX_PATH, u'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(module, W(name), static_cast<DWORD>(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    if (name.size() >= 0x10000) return {};  // no path is this long
    name.resize(name.size() * 2);
  }
}

}  // namespace ks
