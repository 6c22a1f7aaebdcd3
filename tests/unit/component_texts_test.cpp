// The sentences component registration writes, byte for byte.

#include "integration/component_texts.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(ComponentTexts, LogSentences) {
  struct Case {
    WString got, expected;
  };
  const Case cases[] = {
      {ComponentStatusText(u"Registering <file> (<file>)", u"C:\\a.dll"), u"Registering C:\\a.dll (C:\\a.dll)"},
      {ComponentStatusText(u"Registering...", u"C:\\a.dll"), u"Registering..."},
      {ComponentStatusText(u"<file>", ControlPanelStatusItem(u"Pad")), u"Control Panel extension \"Pad\""},
      {PackageLogStart(u"C:\\P\\r.msi"), u"Installing MSI package \"C:\\P\\r.msi\"..."},
      {PackageFailedLine(1603, u"Fatal error during installation."),
       u"FAILED code 1603: Fatal error during installation.\r\n"},
      {PackageFailedLine(static_cast<std::int32_t>(kPackageCrashResult), u"Catastrophic failure"),
       u"FAILED code -2147418113: Catastrophic failure\r\n"},
      {PackageRemovalFailedLine(u"r.msi", 1605, u"This action is only valid for products that are currently installed."),
       u"Failed to uninstall r.msi, code 1605: This action is only valid for products that are currently "
       u"installed.\r\n"},
      {ControlPanelLogStart(u"Pad"), u"Registering control panel applet \"Pad\"..."},
      {ControlPanelFailedText(u"Access denied."), u"FAILED!\r\nAccess denied.\r\n\r\n"},
      {ControlPanelClassKey(u"{1}"), u"\\HKLM\\Software\\Classes\\CLSID\\{1}"},
      {ControlPanelNameSpaceKey(u"{1}"),
       u"\\HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\{1}"},
      {ControlPanelCommand(u"C:\\P\\pad.exe", u""), u"\"C:\\P\\pad.exe\""},
      {ControlPanelCommand(u"C:\\P\\pad.exe", u"/cpl x"), u"\"C:\\P\\pad.exe\" /cpl x"},
      {ComServerLogStart(u"C:\\W\\a.dll"), u"Registering COM File \"C:\\W\\a.dll\"..."},
      {ComServerFailedLine(3), u"FAILED, code 3\r\n"},
      {ComServerCrashEntry(u"a.dll"), u"Crashed while registering COM file a.dll\r\n"},
      {RegisterServerArguments(u"C:\\W\\a.dll"), u"/s \"C:\\W\\a.dll\""},
      {UnregisterServerArguments(u"C:\\W\\a.dll"), u"/s /u \"C:\\W\\a.dll\""},
      {TypeLibraryLogStart(u"C:\\W\\t.tlb"), u"Registering Type Library \"C:\\W\\t.tlb\"..."},
      {TypeLibraryFailedText(u"Error loading type library/DLL."), u"FAILED\r\nError loading type library/DLL.\r\n"},
      {TypeLibraryCrashEntry(u"t.tlb"), u"Crashed while registering TLB file t.tlb\r\n"},
      {DriverLogStart(u"C:\\P\\d.inf"), u"Installing driver \"C:\\P\\d.inf\"..."},
      {DriverFailedLine(0xE000022F, u"x"), u"FAILED!  Code -536870353: x\r\n"},
      {DriverFailedLine(2, u"The system cannot find the file specified."),
       u"FAILED!  Code 2: The system cannot find the file specified.\r\n"},
      {DriverPlacedText(u"C:\\windows\\inf\\oem3.inf"), u"OK\r\nFinal driver location: C:\\windows\\inf\\oem3.inf\r\n"},
      {DriverPlacedText(u""), u"OK, but resulting filepath is unknown\r\n"},
      {DriverPlacedText(u" \t"), u"OK, but resulting filepath is unknown\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(ComponentTexts, UnsignedDriverWithoutSystemText) {
  const WString unsigned_text = u"The INF does not contain digital signature information.";
  EXPECT_EQ(DriverErrorMessage(kDriverNotSigned, false, u"Error 0xE000022F"), unsigned_text);
  EXPECT_EQ(DriverErrorMessage(kDriverNotSigned, true, u"The system's own text."), u"The system's own text.");
  EXPECT_EQ(DriverErrorMessage(5, false, u"Error 0x00000005"), u"Error 0x00000005");
}

TEST(ComponentTexts, ProgressShowsTheItemInTheStatusLine) {
  InstallLog log;
  ComponentProgress progress;
  progress.log = &log;
  progress.status_text = u"Registering <file>...";
  WString shown;
  progress.set_status = [&shown](const WString& text) { shown = text; };
  progress.ShowItem(u"C:\\a.dll");
  EXPECT_EQ(shown, u"Registering C:\\a.dll...");
}

}  // namespace
}  // namespace ks
