#include "records/win/install_log_view.h"

#include <windows.h>

#include <aclapi.h>
#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <utility>
#include <vector>

#include "lib/win/owned.h"
#include "lib/win/privilege.h"
#include "lib/win/process_start.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// ---------------------------------------------------------------------------
// Access lists.

// The access list without its access-denied entries; false when it has none.
bool WithoutDeniedEntries(PACL acl, std::vector<BYTE>& out) {
  if (!acl) return false;
  ACL_SIZE_INFORMATION info{};
  if (!::GetAclInformation(acl, &info, sizeof info, AclSizeInformation)) return false;
  out.assign(info.AclBytesInUse, 0);
  PACL fresh = reinterpret_cast<PACL>(out.data());
  if (!::InitializeAcl(fresh, static_cast<DWORD>(out.size()), ACL_REVISION)) return false;
  bool removed = false;
  for (DWORD i = 0; i < info.AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(acl, i, &ace)) return false;
    const ACE_HEADER* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE) {
      removed = true;
      continue;
    }
    if (!::AddAce(fresh, fresh->AclRevision, MAXDWORD, ace, header->AceSize)) return false;
  }
  return removed;
}

// Makes the current user the file's owner, so that the owner may rewrite the list.
void TakeOwnership(const WString& path) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return;
  OwnedHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size ? size : 1);
  if (!::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return;
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  WString mutable_path = path;
  ::SetNamedSecurityInfoW(W(mutable_path), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, sid, nullptr, nullptr,
                          nullptr);
}

bool SetAcl(const WString& path, std::vector<BYTE>& acl) {
  WString mutable_path = path;
  return ::SetNamedSecurityInfoW(W(mutable_path), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 reinterpret_cast<PACL>(acl.data()), nullptr) == ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Opening as the desktop's user: the shell's own ShellExecute runs in the
// desktop's process, so an elevated installer does not start an elevated viewer.

template <typename T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (p_) p_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T** out() { return &p_; }
  void** out_void() { return reinterpret_cast<void**>(&p_); }
  T* operator->() const { return p_; }
  T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(const WString& s) : b_(::SysAllocString(W(s))) {}
  ~Bstr() { ::SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }

 private:
  BSTR b_;
};

bool DesktopShellDispatch(Com<IShellDispatch2>& shell) {
  Com<IShellWindows> windows;
  if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.out_void())))
    return false;
  VARIANT location{};
  location.vt = VT_I4;
  location.lVal = CSIDL_DESKTOP;
  VARIANT empty{};
  long hwnd = 0;
  Com<IDispatch> found;
  if (windows->FindWindowSW(&location, &empty, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, found.out()) != S_OK)
    return false;
  Com<IServiceProvider> provider;
  Com<IShellBrowser> browser;
  Com<IShellView> view;
  Com<IDispatch> background;
  Com<IShellFolderViewDual> folder_view;
  Com<IDispatch> application;
  return found.get() && SUCCEEDED(found->QueryInterface(IID_IServiceProvider, provider.out_void())) &&
         SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.out_void())) &&
         SUCCEEDED(browser->QueryActiveShellView(view.out())) &&
         SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.out_void())) &&
         SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, folder_view.out_void())) &&
         SUCCEEDED(folder_view->get_Application(application.out())) &&
         SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, shell.out_void()));
}

// An empty text stays an empty variant: the shell then uses its default.
void SetText(VARIANT& variant, const Bstr& text, bool given) {
  if (!given) return;
  variant.vt = VT_BSTR;
  variant.bstrVal = text.get();
}

bool OpenWithNotepad(const WString& path) {
  const WString notepad = SystemProgramPath(L"notepad.exe");
  if (notepad.empty()) return false;
  ProcessStart start;
  start.command_line = u"\"" + notepad + u"\" \"" + path + u"\"";
  return StartProcess(start) == 0;
}

}  // namespace

void ReleaseLogFileForUsers(const WString& path) {
  const DWORD attributes = ::GetFileAttributesW(FsPath(path));
  const DWORD unwanted = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & unwanted)) {
    ::SetFileAttributesW(FsPath(path), attributes & ~unwanted);
  }
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(W(path), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                              &descriptor) != ERROR_SUCCESS)
    return;
  OwnedLocal owner(descriptor);
  std::vector<BYTE> fresh;
  if (!WithoutDeniedEntries(acl, fresh) || SetAcl(path, fresh)) return;
  PrivilegeScope privileges({SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME});
  TakeOwnership(path);
  SetAcl(path, fresh);
}

bool ExecuteAsDesktopUser(const WString& file, const WString& arguments, const WString& folder) {
  Com<IShellDispatch2> shell;
  if (!DesktopShellDispatch(shell)) return false;
  const Bstr name(file), args_text(arguments), folder_text(folder), verb(u"open");
  VARIANT args{}, dir{}, operation{}, show{};
  SetText(args, args_text, !arguments.empty());
  SetText(dir, folder_text, !folder.empty());
  SetText(operation, verb, true);
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  return SUCCEEDED(shell->ShellExecute(name.get(), args, dir, operation, show));
}

void OpenForUser(const WString& path) {
  if (ExecuteAsDesktopUser(path, WString(), WString())) return;
  const auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", W(path), nullptr, nullptr,
                                                                SW_SHOWNORMAL));
  if (result > 32) return;
  OpenWithNotepad(path);
}

}  // namespace ks
