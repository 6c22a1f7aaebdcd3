// ksloadlib: the planting tests' control program.
//
//   ksloadlib NAME   loads the DLL NAME the way a careless program would, with
//                    the default search order; prints "loaded" or "failed"
//   ksloadlib -      loads nothing and exits 0
//
// It imports the same system DLLs as the engine (the test compares the
// import tables), so that "-" shows which DLLs Wine's loader takes from the
// program's folder for those imports before any code of the program runs.

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>

namespace {

// Never called with true; the calls make the imports.
void TouchImports(bool really) {
  if (!really) return;
  HKEY key = nullptr;
  ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key);  // advapi32
  ::GetStockObject(WHITE_BRUSH);                                      // gdi32
  ::CoTaskMemFree(nullptr);                                           // ole32
  ::SysFreeString(nullptr);                                           // oleaut32
  ::DragFinish(nullptr);                                              // shell32
  ::PathMakeSystemFolderW(L"");                                       // shlwapi
  ::GetDesktopWindow();                                               // user32
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 1;
  volatile bool never = false;  // opaque to the optimizer, so the imports stay
  TouchImports(never);
  if (std::wcscmp(argv[1], L"-") == 0) return 0;
  const HMODULE module = LoadLibraryW(argv[1]);
  std::printf(module ? "loaded\n" : "failed\n");
  return module ? 0 : 2;
}
