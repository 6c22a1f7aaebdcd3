// kshold: holds a file open without sharing, as a running program holds its
// own module, so that the tests can meet a locked destination.
//
//   kshold FILE SECONDS     writes FILE.held once the file is held, then
//                           waits SECONDS and ends (exit code 0, else 1)

#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 1;
  HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const std::wstring marker = std::wstring(argv[1]) + L".held";
  HANDLE held = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  Sleep(static_cast<DWORD>(_wtoi(argv[2])) * 1000);
  CloseHandle(file);
  return 0;
}
