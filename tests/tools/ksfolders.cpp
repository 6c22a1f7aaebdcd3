// ksfolders: the special folders as the shell itself reports them, for tests
// whose expectation must not come from the engine's own folder code.
//
//   ksfolders CSIDL...   prints "<csidl>=<path>" per number (decimal), in
//                        UTF-8, from SHGetFolderPathW without creating the
//                        folder; "<csidl>=" when the shell has no answer.
//                        Exit code 0, or 1 for an argument that is not a number.

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

namespace {

void Print(const std::wstring& line) {
  const std::wstring text = line + L"\n";
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    wchar_t* end = nullptr;
    const long csidl = std::wcstol(argv[i], &end, 10);
    if (end == argv[i] || *end != L'\0') return 1;
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, static_cast<int>(csidl), nullptr, SHGFP_TYPE_CURRENT, path))) path[0] = L'\0';
    Print(std::wstring(argv[i]) + L"=" + path);
  }
  return 0;
}
