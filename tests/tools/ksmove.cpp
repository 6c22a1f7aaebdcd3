// ksmove: registers a file move (or, without TARGET, a deletion) for the next
// restart with MoveFileExW, as the engine does for locked files, so that the
// tests can check the simulated restart of the Wine fixture.
//
//   ksmove SOURCE [TARGET]      prints "ok" or "error <system error code>"

#include <windows.h>

#include <string>

namespace {

void Print(const std::string& line) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
            &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 3) {
    Print("usage: ksmove SOURCE [TARGET]\n");
    return 1;
  }
  const DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (argc == 3 ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExW(argv[1], argc == 3 ? argv[2] : nullptr, flags)) {
    Print("error " + std::to_string(GetLastError()) + "\n");
    return 1;
  }
  Print("ok\n");
  return 0;
}
