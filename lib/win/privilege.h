#pragma once
// Privileges of the process token, enabled for as long as they are needed.

#include <windows.h>

#include <initializer_list>
#include <vector>

#include "lib/win/owned.h"

namespace ks {

// Enables the named privileges (SE_*_NAME) for the scope's lifetime and puts
// back the earlier state when it ends. A privilege the token lacks stays off;
// AdjustTokenPrivileges "succeeds" then with ERROR_NOT_ALL_ASSIGNED, which is
// why all_enabled() checks the last error.
class PrivilegeScope {
 public:
  explicit PrivilegeScope(std::initializer_list<const wchar_t*> names);
  ~PrivilegeScope();
  PrivilegeScope(const PrivilegeScope&) = delete;
  PrivilegeScope& operator=(const PrivilegeScope&) = delete;

  // Every named privilege is enabled now.
  bool all_enabled() const { return all_enabled_; }

 private:
  OwnedHandle token_;
  std::vector<TOKEN_PRIVILEGES> previous_;
  bool all_enabled_ = false;
};

// Enables a privilege for the rest of the process (no earlier state to keep);
// false when the token does not hold it.
bool EnablePrivilegeForProcess(const wchar_t* name);

}  // namespace ks
