#pragma once
// Windows Installer packages: installed through the system's installer
// service ("msi.dll", loaded by its full system path at first use), each call
// guarded so that a crash inside the service becomes a result.

#include <windows.h>

#include <cstdint>

#include "integration/component_texts.h"
#include "lib/text.h"
#include "lib/win/owned.h"
#include "records/uninstall_data.h"

namespace ks {

class PackageService {
 public:
  // Sets the user-interface level (with `owner` for its windows) and runs the
  // service on the package with `command`. Returns the service's result: 0
  // success, kPackageNoService without the service, kPackageCrashResult
  // when it crashed.
  std::uint32_t Run(const WString& package, const wchar_t* command, std::int32_t ui_level, HWND owner);

 private:
  using SetInternalUiFn = int(WINAPI*)(int level, HWND* owner);
  using InstallProductFn = UINT(WINAPI*)(const wchar_t* package, const wchar_t* command);
  void Load();

  bool loaded_ = false;
  OwnedModule module_;
  SetInternalUiFn set_internal_ui_ = nullptr;
  InstallProductFn install_product_ = nullptr;
};

struct PackageRecord {
  WString path;                      // the placed package
  std::int32_t option = 0;           // the user-interface level of the record
  bool remove_at_uninstall = false;  // flags 0x80: listed in "[MSI]"
};

// After a package is placed: installs it (silent: no user interface) and
// logs the outcome; a failure also goes to the failure summary. A package
// listed for removal gets its "[MSI]" line once installed.
void InstallPackage(PackageService& service, const PackageRecord& record, bool silent,
                    const ComponentProgress& progress, UninstallData& uninstall);

}  // namespace ks
