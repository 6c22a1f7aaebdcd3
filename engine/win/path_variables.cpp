#include "engine/win/path_variables.h"

#include <windows.h>

#include <vector>

#include "engine/win/special_folders.h"
#include "lib/win/os_version_query.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr DWORD kModuleNameRoom = 1024;

class SystemPathValues : public PathVariableSystem {
 public:
  WString Folder(SpecialFolder folder) override { return SpecialFolderPath(folder); }
  WString ProgramFiles(int mode) override { return ProgramFilesFolder(mode); }
  WString CommonFiles(int mode) override { return CommonFilesFolder(mode); }
  char16_t BootDrive() override { return SystemSpecialFolders().BootDrive(); }

  // A path that fills the room may be cut, and a cut path is worse than none.
  WString InstallerPath() override {
    std::vector<wchar_t> buffer(kModuleNameRoom, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), kModuleNameRoom);
    return (n == 0 || n >= kModuleNameRoom) ? WString() : FromW(buffer.data(), n);
  }

  bool IsRemoteDrive(char16_t letter) override {
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    return ::GetDriveTypeW(root) == DRIVE_REMOTE;
  }

  const SystemVersion& Version() override { return GetSystemVersion(); }
};

}  // namespace

PathVariableSystem& RunningSystem() {
  static SystemPathValues values;
  return values;
}

std::optional<WString> ExpandEnvironmentText(const WString& text) {
  std::vector<wchar_t> buffer(kExpansionRoom, L'\0');
  DWORD n = ::ExpandEnvironmentStringsW(W(text), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0) return std::nullopt;
  if (n > buffer.size()) {
    // Too long for the room: expand whole, the caller cuts it where the room ends.
    buffer.assign(n, L'\0');
    n = ::ExpandEnvironmentStringsW(W(text), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n > buffer.size()) return std::nullopt;
  }
  buffer.back() = L'\0';
  return FromW(buffer.data());
}

WString PathVariables::Value(PathVariable variable) const {
  return PathVariableValue(variable, inputs_(), RunningSystem());
}

void PathVariables::Expand(WString& text) const {
  ExpandPathVariables(text, inputs_(), RunningSystem(), ExpandEnvironmentText);
}

}  // namespace ks
