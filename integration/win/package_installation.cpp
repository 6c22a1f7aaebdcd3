#include "integration/win/package_installation.h"

#include "engine/win/foreign_call_guard.h"
#include "lib/win/message_boxes.h"
#include "lib/win/system_error.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// What the guarded call needs; it owns nothing, as a crash abandons its frame.
struct ServiceCall {
  int (WINAPI* set_internal_ui)(int, HWND*);
  UINT(WINAPI* install_product)(const wchar_t*, const wchar_t*);
  const wchar_t* package;
  const wchar_t* command;
  int ui_level;
  HWND owner;
  UINT result;
};

void CallService(void* context) {
  auto* call = static_cast<ServiceCall*>(context);
  if (call->set_internal_ui) call->set_internal_ui(call->ui_level, &call->owner);
  call->result = call->install_product(call->package, call->command);
}

}  // namespace

void PackageService::Load() {
  if (loaded_) return;
  loaded_ = true;
  module_ = LoadSystemLibrary(L"msi.dll");
  set_internal_ui_ = ProcAddress<SetInternalUiFn>(module_.get(), "MsiSetInternalUI");
  install_product_ = ProcAddress<InstallProductFn>(module_.get(), "MsiInstallProductW");
}

std::uint32_t PackageService::Run(const WString& package, const wchar_t* command, std::int32_t ui_level,
                                  HWND owner) {
  Load();
  if (!install_product_) return kPackageNoService;
  ServiceCall call{set_internal_ui_, install_product_, W(package), command, ui_level, owner, 0};
  if (!CallGuarded(CallService, &call)) return kPackageCrashResult;
  return call.result;
}

void InstallPackage(PackageService& service, const PackageRecord& record, bool silent,
                    const ComponentProgress& progress, UninstallData& uninstall) {
  progress.ShowItem(record.path);
  WString text = PackageLogStart(record.path);
  const std::int32_t level = silent ? kPackageSilentUiLevel : record.option;
  // The service's windows belong to the installer's own (the background window).
  const std::uint32_t result =
      service.Run(record.path, reinterpret_cast<const wchar_t*>(kPackageInstallCommand), level, MessageBoxOwner());
  if (result == 0) {
    text += u"OK\r\n";
    if (record.remove_at_uninstall) uninstall.AddMsiPackage(record.path, record.option);
  } else {
    text += PackageFailedLine(static_cast<std::int32_t>(result), SystemErrorText(result));
    progress.log->AddFailure(text);
  }
  progress.log->Wide(text);
}

}  // namespace ks
