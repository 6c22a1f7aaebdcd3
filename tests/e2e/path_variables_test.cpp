// The special folders and all 56 path variables as the engine's code resolves
// them in the test prefix (64-bit Wine, x86_64 build), printed by kspaths.exe.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "harness/key_values.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

using Lines = KeyValueLines;
class PathValues : public WineTest {};

TEST_F(PathValues, AllFiftySixVariablesInTheirOrder) {
  const std::string tool = CopyIntoPrefix(BuildProgramLinuxPath("kspaths.exe"), ScratchFolder());
  ASSERT_FALSE(tool.empty());
  const WineResult r = RunWine({tool, "install_dir=\\\\srv\\share\\Prod", "product_name=Prod",
                                "old_version=2..5", "creates_uninstaller=1", "existing=2",
                                "install_64bit=1", "start_menu_name=Prod Menu"},
                               120);
  ASSERT_TRUE(r.started && !r.timed_out) << r.out;
  ASSERT_EQ(r.status, 0) << r.out;
  const Lines lines = ParseKeyValueLines(r.out);

  const char* names[] = {
      "AppDataAllDir", "AppDataDir", "Automatic", "Bits", "BootDrive", "CommonDir", "CommonDir32",
      "CommonDir64", "DesktopAllDir", "DesktopDir", "DesktopShortcuts", "DeviceDir", "DocumentAllDir",
      "DocumentDir", "Existing", "FavoritesAllDir", "FavoritesDir", "FontDir", "Inetpub", "InstallDir",
      "InstallDrive", "InstallerDir", "InstallerDrive", "InstallerFilename", "InstallerFilepath", "Language",
      "MediaDir", "NetworkInstall", "OldVersion", "OldVersionMajor", "OldVersionMinor", "Portable",
      "ProductName", "CompanyName", "ProgramsDir", "ProgramsDir32", "ProgramsDir64", "SharedDir",
      "SMProgramsAllDir", "SMProgramsDir", "StartMenuAllDir", "StartMenuChosen", "StartMenuDir",
      "StartupAllDir", "StartupDir", "SystemDir", "Temp", "UninstallDir", "Version", "WinDir", "OS",
      "OSMajor", "OSMinor", "OSName", "OSDescription", "OSServer"};
  std::vector<std::string> printed;
  for (const auto& kv : lines) {
    if (kv.first.rfind("var.", 0) == 0) printed.push_back(kv.first.substr(4));
  }
  EXPECT_EQ(printed, std::vector<std::string>(std::begin(names), std::end(names)));

  // Values that follow from the folders and the inputs.
  EXPECT_EQ(ValueOf(lines, "var.WinDir"), ValueOf(lines, "folder.windows"));
  EXPECT_EQ(ValueOf(lines, "var.Temp"), ValueOf(lines, "folder.temp"));
  EXPECT_TRUE(PrefixFileExists(ValueOf(lines, "folder.temp")));
  EXPECT_EQ(ValueOf(lines, "var.ProgramsDir"), ValueOf(lines, "programs.2"));
  EXPECT_EQ(ValueOf(lines, "var.ProgramsDir32"), ValueOf(lines, "programs.1"));
  EXPECT_EQ(ValueOf(lines, "var.CommonDir64"), ValueOf(lines, "common.2"));
  EXPECT_EQ(ValueOf(lines, "var.StartMenuChosen"), ValueOf(lines, "folder.programs") + "\\Prod Menu");
  EXPECT_EQ(ValueOf(lines, "var.InstallerFilepath"), tool);
  EXPECT_EQ(ValueOf(lines, "var.InstallerDir") + "\\" + ValueOf(lines, "var.InstallerFilename"), tool);
  EXPECT_EQ(ValueOf(lines, "var.InstallDrive"), "");
  EXPECT_EQ(ValueOf(lines, "var.NetworkInstall"), "1");
  EXPECT_EQ(ValueOf(lines, "var.OldVersionMajor"), "2");
  EXPECT_EQ(ValueOf(lines, "var.OldVersionMinor"), "5");
  EXPECT_EQ(ValueOf(lines, "var.Existing"), "2");
  EXPECT_EQ(ValueOf(lines, "var.BootDrive"), ValueOf(lines, "boot_drive") + ":");
  // The 64-bit prefix: the 64-bit folders are the native ones in every mode 2 and 4.
  EXPECT_EQ(ValueOf(lines, "var.Bits"), "64");
  EXPECT_EQ(ValueOf(lines, "programs.2"), "C:\\Program Files");
  EXPECT_EQ(ValueOf(lines, "programs.4"), "C:\\Program Files");
  EXPECT_EQ(ValueOf(lines, "common.2"), "C:\\Program Files\\Common Files");
  EXPECT_EQ(ValueOf(lines, "folder.inetpub"), "c:\\Inetpub");
}

}  // namespace
}  // namespace ks::e2e
