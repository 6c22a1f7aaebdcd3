// ksplanted.dll: stands in for a DLL that someone planted beside a program.
// The e2e tests copy it under the names of system DLLs next to the engine;
// when a process loads it, it leaves a marker "<its file name>.loaded",
// holding the path of the program that loaded it, in the folder that
// KS_PLANTED_MARKERS names (else beside itself), and stays passive otherwise.

#include <windows.h>

namespace {

void LeaveMarker(HMODULE self) {
  wchar_t own[MAX_PATH];
  const DWORD n = GetModuleFileNameW(self, own, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  wchar_t marker[2 * MAX_PATH + 16];
  const DWORD folder = GetEnvironmentVariableW(L"KS_PLANTED_MARKERS", marker, MAX_PATH);
  if (folder > 0 && folder < MAX_PATH) {
    const wchar_t* name = own;
    for (const wchar_t* p = own; *p; ++p)
      if (*p == L'\\' || *p == L'/') name = p + 1;
    lstrcatW(marker, L"\\");
    lstrcatW(marker, name);
  } else {
    lstrcpyW(marker, own);
  }
  lstrcatW(marker, L".loaded");
  wchar_t program[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  const HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, program, length * sizeof(wchar_t), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LeaveMarker(instance);
  return TRUE;
}
