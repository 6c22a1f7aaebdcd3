#include "integration/win/driver_packages.h"

#include <windows.h>

#include "core/install_settings.h"
#include "engine/path_variables.h"
#include "engine/win/foreign_call_guard.h"
#include "lib/marked_text.h"
#include "lib/win/system_error.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr DWORD kMediaTypePath = 1;     // SPOST_PATH
constexpr DWORD kForceDelete = 1;       // SUOI_FORCEDELETE
constexpr DWORD kDestinationChars = 260;

using CopyOemInfFn = BOOL(WINAPI*)(const wchar_t* source, const wchar_t* media_location, DWORD media_type,
                                   DWORD copy_style, wchar_t* destination, DWORD destination_size,
                                   DWORD* required_size, wchar_t** component);
using UninstallOemInfFn = BOOL(WINAPI*)(const wchar_t* inf_name, DWORD flags, void* reserved);

// The guarded calls own nothing: a crash abandons their frames.
struct CopyCall {
  CopyOemInfFn copy;
  const wchar_t* source;
  wchar_t* destination;
  BOOL copied;
  DWORD error;
};

void CopyInf(void* context) {
  auto* call = static_cast<CopyCall*>(context);
  call->copied = call->copy(call->source, nullptr, kMediaTypePath, 0, call->destination, kDestinationChars, nullptr,
                            nullptr);
  call->error = call->copied ? 0 : ::GetLastError();
}

struct UninstallCall {
  UninstallOemInfFn uninstall;
  const wchar_t* name;
};

void UninstallInf(void* context) {
  auto* call = static_cast<UninstallCall*>(context);
  call->uninstall(call->name, kForceDelete, nullptr);
}

}  // namespace

void InstallDrivers(const std::vector<WString>& infs, const ComponentProgress& progress, UninstallData& uninstall) {
  InstallLog& log = *progress.log;
  const OwnedModule setupapi = LoadSystemLibrary(L"setupapi.dll");
  if (!setupapi) {
    log.Text(kDriversNoSetupApi);
    return;
  }
  const auto copy = ProcAddress<CopyOemInfFn>(setupapi.get(), "SetupCopyOEMInfW");
  if (!copy) {
    log.Text(kDriversNoCopyFunction);
    return;
  }
  log.Text("\r\n");
  for (const WString& inf : infs) {
    progress.ShowItem(inf);
    log.Wide(DriverLogStart(inf));
    wchar_t destination[kDestinationChars + 1] = {};
    CopyCall call{copy, W(inf), destination, FALSE, 0};
    if (!CallGuarded(CopyInf, &call)) {
      log.Text(kComponentCrashed);
      continue;
    }
    if (!call.copied) {
      const WString message = DriverErrorMessage(call.error, HasSystemMessage(call.error), SystemErrorText(call.error));
      log.Wide(DriverFailedLine(call.error, message));
      continue;
    }
    destination[kDestinationChars] = L'\0';
    const WString final_path = FromW(destination);
    log.Wide(DriverPlacedText(final_path));
    if (!IsBlank(final_path)) uninstall.AddInfLine(final_path);
  }
}

void UninstallDrivers(const std::vector<NString>& inf_lines) {
  if (inf_lines.empty()) return;
  const OwnedModule setupapi = LoadSystemLibrary(L"setupapi.dll");
  const auto uninstall = ProcAddress<UninstallOemInfFn>(setupapi.get(), "SetupUninstallOEMInfW");
  if (!uninstall) return;
  for (const NString& line : inf_lines) {
    const WString name = FileNameOf(DecodeMarkedText(line));
    if (name.empty()) continue;
    UninstallCall call{uninstall, W(name)};
    CallGuarded(UninstallInf, &call);
  }
}

}  // namespace ks
