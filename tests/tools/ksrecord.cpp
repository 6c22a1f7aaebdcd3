// ksrecord: stands in for a program that another one starts (an earlier
// version's uninstaller), so that the tests can see exactly how it was
// started.
//
//   ksrecord ANYTHING...   writes its whole command line, as the process
//                          received it, in UTF-8 to <own path>.cmdline and
//                          ends (exit code 0, else 1)
//
// The file is written under a temporary name and then renamed, so that a
// test that polls for it never reads half a line.

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::wstring OwnPath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

bool WriteWhole(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
                  put == bytes.size();
  CloseHandle(file);
  return ok;
}

}  // namespace

int wmain(int, wchar_t**) {
  const std::wstring self = OwnPath();
  if (self.empty()) return 1;
  const std::wstring target = self + L".cmdline";
  const std::wstring partial = target + L".part";
  if (!WriteWhole(partial, ToUtf8(GetCommandLineW()))) return 1;
  return MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
