#include "lib/win/privilege.h"

namespace ks {
namespace {

OwnedHandle OpenOwnToken() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return {};
  return OwnedHandle(token);
}

// True when the privilege is on; `before` receives the earlier state.
bool Enable(HANDLE token, const wchar_t* name, TOKEN_PRIVILEGES* before) {
  TOKEN_PRIVILEGES wanted{};
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid)) return false;
  DWORD size = sizeof *before;
  return ::AdjustTokenPrivileges(token, FALSE, &wanted, sizeof *before, before, &size) &&
         ::GetLastError() == ERROR_SUCCESS;
}

}  // namespace

PrivilegeScope::PrivilegeScope(std::initializer_list<const wchar_t*> names) : token_(OpenOwnToken()) {
  if (!token_) return;
  all_enabled_ = true;
  for (const wchar_t* name : names) {
    TOKEN_PRIVILEGES before{};
    if (Enable(token_.get(), name, &before)) {
      previous_.push_back(before);
    } else {
      all_enabled_ = false;
    }
  }
}

PrivilegeScope::~PrivilegeScope() {
  for (TOKEN_PRIVILEGES& p : previous_) ::AdjustTokenPrivileges(token_.get(), FALSE, &p, 0, nullptr, nullptr);
}

bool EnablePrivilegeForProcess(const wchar_t* name) {
  const OwnedHandle token = OpenOwnToken();
  TOKEN_PRIVILEGES before{};
  return token && Enable(token.get(), name, &before);
}

}  // namespace ks
