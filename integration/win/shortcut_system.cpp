#include "integration/win/shortcut_system.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "engine/path_variables.h"
#include "engine/win/foreign_call_guard.h"
#include "engine/win/reboot_replacement.h"
#include "engine/win/special_folders.h"
#include "lib/win/file.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// The link's calls, made under the guard: the interfaces stay in the
// context, so that a crash inside the shell leaves nothing to unwind.
struct LinkCall {
  const LinkRequest* request = nullptr;
  WString working_folder;
  int show = 0;
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  HRESULT result = E_FAIL;
  DWORD error = 0;
};

void SaveLink(void* context) {
  LinkCall& c = *static_cast<LinkCall*>(context);
  const LinkRequest& r = *c.request;
  c.result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&c.link));
  if (FAILED(c.result)) return;
  c.link->SetPath(W(r.target));
  c.link->SetIconLocation(W(r.icon.empty() ? r.target : r.icon), 0);
  if (!r.arguments.empty()) c.link->SetArguments(W(r.arguments));
  if (c.show != 0) c.link->SetShowCmd(c.show);
  if (!c.working_folder.empty()) c.link->SetWorkingDirectory(W(c.working_folder));
  c.result = c.link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&c.file));
  if (FAILED(c.result)) return;
  ::SetLastError(0);
  c.result = c.file->Save(W(r.path), FALSE);
  c.error = ::GetLastError();
}

// The error a failed call leaves: the thread's last error, else the
// system error inside the COM result, else the result itself.
std::uint32_t FailureCode(DWORD last_error, HRESULT result) {
  if (last_error != 0) return last_error;
  if (HRESULT_FACILITY(result) == FACILITY_WIN32) return HRESULT_CODE(result);
  return static_cast<std::uint32_t>(result);
}

struct PinCall {
  const WString* link = nullptr;
  BOOL done = FALSE;
  DWORD error = 0;
};

void RunPinVerb(void* context) {
  PinCall& c = *static_cast<PinCall*>(context);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"taskbarpin";
  info.lpFile = W(*c.link);
  info.nShow = SW_SHOWNORMAL;
  c.done = ::ShellExecuteExW(&info);
  c.error = c.done ? 0 : ::GetLastError();
}

bool Exists(const WString& path) { return ::GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

SystemOutcome CreateShellLink(const LinkRequest& request) {
  if (request.target.empty()) return SystemOutcome{false, ERROR_INVALID_PARAMETER, false};
  if (!(request.flags & kLinkNoParentFolder)) CreateFolderTree(FolderOfFile(request.path));
  LinkCall call;
  call.request = &request;
  call.working_folder = LinkWorkingFolder(request.start_in);
  call.show = LinkShowCommand(request.flags);
  if (!CallGuarded(SaveLink, &call)) return SystemOutcome{false, 0, true};
  if (call.file) call.file->Release();
  if (call.link) call.link->Release();
  if (SUCCEEDED(call.result)) return SystemOutcome{true, 0, false};
  return SystemOutcome{false, FailureCode(call.error, call.result), false};
}

WString RunningShortcutSystem::Folder(SpecialFolder folder) { return SpecialFolderPath(folder); }

bool RunningShortcutSystem::FolderExists(const WString& path) {
  const DWORD attributes = ::GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::uint32_t RunningShortcutSystem::CreateFolder(const WString& path) { return CreateFolderTree(path); }

// Whole or not at all: an icon cut short by a full disk would show nothing.
std::uint32_t RunningShortcutSystem::WriteFile(const WString& path, const Bytes& bytes) {
  if (WriteFileAtomically(path, bytes.data(), bytes.size()) == kFileSuccess) return 0;
  const DWORD error = ::GetLastError();
  return error != 0 ? error : ERROR_WRITE_FAULT;
}

void RunningShortcutSystem::WriteFolderIcon(const WString& folder, const WString& icon) {
  if (icon.empty()) return;
  const WString ini = JoinPath(folder, u"Desktop.ini");
  if (FolderIconNeedsUnicode(icon) && !Exists(ini)) {
    static const Bytes kUtf16Mark = {0xFF, 0xFE};
    WriteFile(ini, kUtf16Mark);
  }
  ::WritePrivateProfileStringW(L".ShellClassInfo", L"IconIndex", L"0", W(ini));
  ::WritePrivateProfileStringW(L".ShellClassInfo", L"IconFile", W(icon), W(ini));
  ::PathMakeSystemFolderW(W(folder));
  ::SetFileAttributesW(W(ini), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

SystemOutcome RunningShortcutSystem::PinToTaskbar(const WString& link) {
  PinCall call;
  call.link = &link;
  if (!CallGuarded(RunPinVerb, &call)) return SystemOutcome{false, 0, true};
  return SystemOutcome{call.done != FALSE, call.error, false};
}

void RunningShortcutSystem::RemoveFile(const WString& path) { ::DeleteFileW(W(path)); }

WString RunningShortcutSystem::TemporaryFolder() { return SpecialFolderPath(SpecialFolder::kTemp); }

WString RunningShortcutSystem::ErrorText(std::uint32_t error) { return SystemErrorText(error); }

}  // namespace ks
