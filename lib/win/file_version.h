#pragma once
// Version resources of files, read through version.dll. The DLL is loaded
// from the system folder on first use: as a static import the loader would
// resolve it from the installer's own folder before any code of ours runs.

#include <windows.h>

#include "lib/text.h"
#include "lib/win/owned.h"

namespace ks {

class FileVersionReader {
 public:
  // The FileVersion string of the file's first translation, else its fixed
  // version numbers as "a.b.c.d"; commas read as dots. Empty when the file
  // has no version resource or version.dll cannot be loaded.
  WString VersionText(const WString& path);

 private:
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

  bool Load();

  bool tried_ = false;
  OwnedModule module_;
  SizeFn size_ = nullptr;
  InfoFn info_ = nullptr;
  QueryFn query_ = nullptr;
};

}  // namespace ks
