#include "lib/win/process_start.h"

#include <vector>

#include "lib/win/wide.h"

namespace ks {
namespace {

using FolderQuery = UINT(WINAPI*)(LPWSTR, UINT);

WString InFolder(FolderQuery query, const wchar_t* file_name) {
  std::vector<wchar_t> buffer(MAX_PATH + 1, L'\0');
  UINT n = query(buffer.data(), static_cast<UINT>(buffer.size()));
  if (n >= buffer.size()) {
    buffer.assign(n + 1, L'\0');
    n = query(buffer.data(), static_cast<UINT>(buffer.size()));
  }
  if (n == 0 || n >= buffer.size()) return WString();
  WString path = FromW(buffer.data(), n);
  if (path.back() != u'\\') path += u'\\';
  return path + FromW(file_name);
}

}  // namespace

DWORD StartProcess(const ProcessStart& start, OwnedHandle* process) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (start.hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION info{};
  WString line = start.command_line;  // CreateProcessW may write into it
  if (!::CreateProcessW(nullptr, W(line), nullptr, nullptr, FALSE, start.creation_flags, nullptr,
                        start.folder.empty() ? nullptr : W(start.folder), &startup, &info)) {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
  }
  ::CloseHandle(info.hThread);
  OwnedHandle handle(info.hProcess);
  if (process) *process = std::move(handle);
  return 0;
}

void WaitForProcess(HANDLE process, DWORD interval_ms, const std::function<void()>& serve) {
  while (::WaitForSingleObject(process, interval_ms) == WAIT_TIMEOUT) {
    if (serve) serve();
  }
}

void ServeWindowMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void ServeWindowMessagesFor(DWORD ms) {
  const ULONGLONG until = ::GetTickCount64() + ms;
  do {
    ServeWindowMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  } while (::GetTickCount64() < until);
}

WString WindowsProgramPath(const wchar_t* file_name) { return InFolder(::GetSystemWindowsDirectoryW, file_name); }
WString SystemProgramPath(const wchar_t* file_name) { return InFolder(::GetSystemDirectoryW, file_name); }

}  // namespace ks
