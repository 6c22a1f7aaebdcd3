#pragma once
// What component registration writes: the status line while an item is
// registered, the step-log sentences and the failure-summary entries of
// fonts, packages, Control Panel extensions, COM servers, type libraries and
// drivers, and the uninstaller's package failure line. The Win32 steps
// (integration/win/component_registration.h) only fill them in.

#include <cstdint>
#include <functional>

#include "lib/text.h"
#include "records/install_log.h"

namespace ks {

// Where the registrations write: the step log and the failure summary, and
// the progress page's status line (localized text 77 naming the item).
struct ComponentProgress {
  InstallLog* log = nullptr;
  std::function<void(const WString&)> set_status;  // null: no status line
  WString status_text;                             // localized text 77
  void ShowItem(WStringView item) const;
};

// Localized text 77 with "<file>" replaced by the item (every occurrence).
WString ComponentStatusText(WStringView text77, WStringView item);
// The item a Control Panel extension shows in that status line.
WString ControlPanelStatusItem(WStringView name);

// Windows Installer packages.
WString PackageLogStart(WStringView package_path);  // "Installing MSI package \"...\"..."
// "FAILED code <signed decimal>: <message>\r\n"
WString PackageFailedLine(std::int32_t result, WStringView message);
// The uninstaller's failure line for a package that could not be removed.
WString PackageRemovalFailedLine(WStringView file_name, std::int32_t result, WStringView message);
// The command lines: no restart by the package; removal of all of it.
inline constexpr const char16_t* kPackageInstallCommand = u"REBOOT=R";
inline constexpr const char16_t* kPackageRemoveCommand = u"REBOOT=R REMOVE=ALL";
// A crash inside the installer service counts as this result (E_UNEXPECTED).
inline constexpr std::uint32_t kPackageCrashResult = 0x8000FFFF;
// The result when the service has no install function (call not implemented).
inline constexpr std::uint32_t kPackageNoService = 120;
// The user-interface level of a silent run: none.
inline constexpr std::int32_t kPackageSilentUiLevel = 2;

// Control Panel extensions.
WString ControlPanelLogStart(WStringView name);  // "Registering control panel applet \"...\"..."
// "FAILED!\r\n<error text>\r\n\r\n"
WString ControlPanelFailedText(WStringView error_text);
// The registry paths of the extension's two keys (registry path syntax).
WString ControlPanelClassKey(WStringView class_id);
WString ControlPanelNameSpaceKey(WStringView class_id);
// The default value of its open command: the program in quotes, then the
// arguments after a blank when there are any.
WString ControlPanelCommand(WStringView program, WStringView arguments);
// Corrupt codes: no name, no class identifier.
inline constexpr int kCorruptAppletName = 78;
inline constexpr int kCorruptAppletClass = 79;

// COM servers.
WString ComServerLogStart(WStringView path);  // "Registering COM File \"...\"..."
WString ComServerFailedLine(std::int32_t exit_code);  // "FAILED, code %d\r\n"
WString ComServerCrashEntry(WStringView file_name);   // for the failure summary
// The command lines of regsvr32, after its own quoted path.
WString RegisterServerArguments(WStringView path);    // /s "path"
WString UnregisterServerArguments(WStringView path);  // /s /u "path"

// Type libraries.
WString TypeLibraryLogStart(WStringView path);  // "Registering Type Library \"...\"..."
WString TypeLibraryFailedText(WStringView error_text);  // "FAILED\r\n<error text>\r\n"
WString TypeLibraryCrashEntry(WStringView file_name);

// Drivers.
inline constexpr const char* kDriversNoSetupApi = "Cannot install INF files...unable to open Setupapi.dll\r\n";
inline constexpr const char* kDriversNoCopyFunction =
    "Cannot install INF files...unable to link to SetupCopyOEMInf()\r\n";
WString DriverLogStart(WStringView path);  // "Installing driver \"...\"..."
// The error's message: the system's text, or for an unsigned package
// (0xE000022F) that the system has no message for, the sentence that says so.
WString DriverErrorMessage(std::uint32_t error, bool system_has_message, WStringView system_text);
WString DriverFailedLine(std::uint32_t error, WStringView message);  // "FAILED!  Code %d: ...\r\n"
// "OK\r\nFinal driver location: <path>\r\n", or for a blank one "OK, but
// resulting filepath is unknown\r\n".
WString DriverPlacedText(WStringView final_path);
inline constexpr std::uint32_t kDriverNotSigned = 0xE000022F;

// Every kind.
inline constexpr const char* kComponentCrashed = "CRASHED!\r\n";

}  // namespace ks
