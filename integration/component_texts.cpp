#include "integration/component_texts.h"

#include <string>

#include "core/install_settings.h"

namespace ks {
namespace {

WString Concat(std::initializer_list<WStringView> parts) {
  WString text;
  for (WStringView part : parts) text.append(part);
  return text;
}

WString Decimal(std::int64_t value) { return Widen(std::to_string(value)); }

}  // namespace

void ComponentProgress::ShowItem(WStringView item) const {
  if (set_status) set_status(ComponentStatusText(status_text, item));
}

WString ComponentStatusText(WStringView text77, WStringView item) {
  static constexpr WStringView kPlaceholder = u"<file>";
  WString text;
  std::size_t at = 0;
  for (std::size_t found; (found = text77.find(kPlaceholder, at)) != WStringView::npos;
       at = found + kPlaceholder.size()) {
    text.append(text77.substr(at, found - at));
    text.append(item);
  }
  text.append(text77.substr(at));
  return text;
}

WString ControlPanelStatusItem(WStringView name) { return Concat({u"Control Panel extension \"", name, u"\""}); }

WString PackageLogStart(WStringView package_path) {
  return Concat({u"Installing MSI package \"", package_path, u"\"..."});
}

WString PackageFailedLine(std::int32_t result, WStringView message) {
  return Concat({u"FAILED code ", Decimal(result), u": ", message, u"\r\n"});
}

WString PackageRemovalFailedLine(WStringView file_name, std::int32_t result, WStringView message) {
  return Concat({u"Failed to uninstall ", file_name, u", code ", Decimal(result), u": ", message, u"\r\n"});
}

WString ControlPanelLogStart(WStringView name) {
  return Concat({u"Registering control panel applet \"", name, u"\"..."});
}

WString ControlPanelFailedText(WStringView error_text) { return Concat({u"FAILED!\r\n", error_text, u"\r\n\r\n"}); }

WString ControlPanelClassKey(WStringView class_id) { return Concat({u"\\HKLM\\Software\\Classes\\CLSID\\", class_id}); }

WString ControlPanelNameSpaceKey(WStringView class_id) {
  return Concat({u"\\HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\", class_id});
}

WString ControlPanelCommand(WStringView program, WStringView arguments) {
  WString command = Concat({u"\"", program, u"\""});
  if (!arguments.empty()) command += Concat({u" ", arguments});
  return command;
}

WString ComServerLogStart(WStringView path) { return Concat({u"Registering COM File \"", path, u"\"..."}); }

WString ComServerFailedLine(std::int32_t exit_code) { return Concat({u"FAILED, code ", Decimal(exit_code), u"\r\n"}); }

WString ComServerCrashEntry(WStringView file_name) {
  return Concat({u"Crashed while registering COM file ", file_name, u"\r\n"});
}

WString RegisterServerArguments(WStringView path) { return Concat({u"/s \"", path, u"\""}); }

WString UnregisterServerArguments(WStringView path) { return Concat({u"/s /u \"", path, u"\""}); }

WString TypeLibraryLogStart(WStringView path) { return Concat({u"Registering Type Library \"", path, u"\"..."}); }

WString TypeLibraryFailedText(WStringView error_text) { return Concat({u"FAILED\r\n", error_text, u"\r\n"}); }

WString TypeLibraryCrashEntry(WStringView file_name) {
  return Concat({u"Crashed while registering TLB file ", file_name, u"\r\n"});
}

WString DriverLogStart(WStringView path) { return Concat({u"Installing driver \"", path, u"\"..."}); }

WString DriverErrorMessage(std::uint32_t error, bool system_has_message, WStringView system_text) {
  if (!system_has_message && error == kDriverNotSigned) return u"The INF does not contain digital signature information.";
  return WString(system_text);
}

WString DriverFailedLine(std::uint32_t error, WStringView message) {
  return Concat({u"FAILED!  Code ", Decimal(static_cast<std::int32_t>(error)), u": ", message, u"\r\n"});
}

WString DriverPlacedText(WStringView final_path) {
  if (IsBlank(final_path)) return u"OK, but resulting filepath is unknown\r\n";
  return Concat({u"OK\r\nFinal driver location: ", final_path, u"\r\n"});
}

}  // namespace ks
