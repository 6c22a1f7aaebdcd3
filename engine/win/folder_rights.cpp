#include "engine/win/folder_rights.h"

#include <windows.h>
#include <aclapi.h>

#include <vector>

#include "engine/win/foreign_call_guard.h"
#include "integration/install_log.h"
#include "integration/win/install_log_file.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr std::uint32_t kCrashed = 0x8000FFFF;  // E_UNEXPECTED
constexpr DWORD kModify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

struct LocalFreeCloser {
  void operator()(HLOCAL p) const { ::LocalFree(p); }
};
using OwnedLocal = Owned<HLOCAL, LocalFreeCloser>;

// Enables one privilege of the process token for its lifetime; restores the
// previous state afterwards.
class EnabledPrivilege {
 public:
  explicit EnabledPrivilege(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    token_.reset(token);
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid)) return;
    DWORD size = sizeof(previous_);
    // AdjustTokenPrivileges succeeds without the privilege; the last error
    // then says ERROR_NOT_ALL_ASSIGNED.
    enabled_ = ::AdjustTokenPrivileges(token_.get(), FALSE, &wanted, sizeof(previous_), &previous_, &size) &&
               ::GetLastError() == ERROR_SUCCESS;
  }
  ~EnabledPrivilege() {
    if (enabled_) ::AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
  }
  EnabledPrivilege(const EnabledPrivilege&) = delete;
  EnabledPrivilege& operator=(const EnabledPrivilege&) = delete;
  bool enabled() const { return enabled_; }

 private:
  OwnedHandle token_;
  TOKEN_PRIVILEGES previous_{};
  bool enabled_ = false;
};

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

EXPLICIT_ACCESSW Grant(std::vector<BYTE>& sid, DWORD rights) {
  EXPLICIT_ACCESSW e{};
  e.grfAccessPermissions = rights;
  e.grfAccessMode = GRANT_ACCESS;
  e.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  e.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  e.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  e.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid.data());
  return e;
}

struct SecurityCall {
  WString folder;
  bool may_set_owner = false;
  DWORD result = 0;
};

// The existing access list plus the three grants; owner and group when the
// privileges allow it.
void ApplySecurity(void* context) {
  SecurityCall& call = *static_cast<SecurityCall*>(context);
  std::vector<BYTE> admins = WellKnownSid(WinBuiltinAdministratorsSid);
  if (admins.empty()) {
    call.result = ::GetLastError();
    return;
  }
  if (call.may_set_owner) {
    call.result = ::SetNamedSecurityInfoW(W(call.folder), SE_FILE_OBJECT,
                                          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                                          admins.data(), admins.data(), nullptr, nullptr);
    if (call.result != ERROR_SUCCESS) return;
  }
  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  call.result = ::GetNamedSecurityInfoW(W(call.folder), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, &old_dacl, nullptr, &descriptor);
  if (call.result != ERROR_SUCCESS) return;
  OwnedLocal owned_descriptor(descriptor);
  PACL new_dacl = nullptr;
  call.result = GrantedAccessList(old_dacl, &new_dacl);
  if (call.result != ERROR_SUCCESS) return;
  OwnedLocal owned_dacl(new_dacl);
  call.result = ::SetNamedSecurityInfoW(W(call.folder), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, new_dacl, nullptr);
}

std::uint32_t GrantRights(const WString& folder) {
  if (folder.empty()) return ERROR_BAD_PATHNAME;
  const DWORD attributes = ::GetFileAttributesW(W(folder));
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_PATH_NOT_FOUND;
  const DWORD cleared = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (cleared != attributes && !::SetFileAttributesW(W(folder), cleared)) return ::GetLastError();
  EnabledPrivilege take_ownership(L"SeTakeOwnershipPrivilege");
  EnabledPrivilege restore(L"SeRestorePrivilege");
  // The privilege holders stay outside the guard so that they are released
  // even when the security functions crash.
  SecurityCall call;
  call.folder = folder;
  call.may_set_owner = take_ownership.enabled() && restore.enabled();
  if (!CallGuarded(ApplySecurity, &call)) return kCrashed;
  return call.result;
}

}  // namespace

std::uint32_t GrantedAccessList(PACL existing, PACL* merged) {
  *merged = nullptr;
  std::vector<BYTE> users = WellKnownSid(WinBuiltinUsersSid);
  std::vector<BYTE> admins = WellKnownSid(WinBuiltinAdministratorsSid);
  std::vector<BYTE> system = WellKnownSid(WinLocalSystemSid);
  if (users.empty() || admins.empty() || system.empty()) return ::GetLastError();
  EXPLICIT_ACCESSW grants[] = {Grant(users, kModify), Grant(admins, FILE_ALL_ACCESS), Grant(system, FILE_ALL_ACCESS)};
  return ::SetEntriesInAclW(3, grants, existing, merged);
}

std::uint32_t GrantFolderRights(const WString& folder) {
  LogConcatW(u"Granting rights to directory \"", folder.c_str(), u"\"...", nullptr);
  const std::uint32_t code = GrantRights(folder);
  if (code == 0)
    LogText(kLogOk);
  else
    LogWideF(u"FAILED code %d: %s\r\n\r\n", static_cast<int>(code), SystemErrorText(code).c_str());
  return code;
}

}  // namespace ks
