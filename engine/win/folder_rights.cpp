#include "engine/win/folder_rights.h"

#include <windows.h>
#include <aclapi.h>

#include <vector>

#include "engine/win/foreign_call_guard.h"
#include "lib/win/owned.h"
#include "lib/win/privilege.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr std::uint32_t kCrashed = 0x8000FFFF;  // E_UNEXPECTED
constexpr DWORD kModify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

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
  const PrivilegeScope owner_privileges({SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME});
  // The privilege holders stay outside the guard so that they are released
  // even when the security functions crash.
  SecurityCall call;
  call.folder = folder;
  call.may_set_owner = owner_privileges.all_enabled();
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

std::uint32_t GrantFolderRights(const WString& folder, InstallLog& log) {
  log.ConcatW(u"Granting rights to directory \"", folder.c_str(), u"\"...", nullptr);
  const std::uint32_t code = GrantRights(folder);
  if (code == 0)
    log.Text(kLogOk);
  else
    log.WideF(u"FAILED code %d: %s\r\n\r\n", static_cast<int>(code), SystemErrorText(code).c_str());
  return code;
}

}  // namespace ks
