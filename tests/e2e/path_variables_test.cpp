// The special folders and all 56 path variables as the engine's code resolves
// them in the test prefix (64-bit Wine, x86_64 build), printed by kspaths.exe.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "harness/wine.h"

namespace ks::e2e {
namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

Lines Parse(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return lines;
}

std::string Get(const Lines& lines, const std::string& key) {
  for (const auto& kv : lines) {
    if (kv.first == key) return kv.second;
  }
  ADD_FAILURE() << "no line " << key;
  return {};
}

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
  const Lines lines = Parse(r.out);

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
  EXPECT_EQ(Get(lines, "var.WinDir"), Get(lines, "folder.windows"));
  EXPECT_EQ(Get(lines, "var.Temp"), Get(lines, "folder.temp"));
  EXPECT_TRUE(PrefixFileExists(Get(lines, "folder.temp")));
  EXPECT_EQ(Get(lines, "var.ProgramsDir"), Get(lines, "programs.2"));
  EXPECT_EQ(Get(lines, "var.ProgramsDir32"), Get(lines, "programs.1"));
  EXPECT_EQ(Get(lines, "var.CommonDir64"), Get(lines, "common.2"));
  EXPECT_EQ(Get(lines, "var.StartMenuChosen"), Get(lines, "folder.programs") + "\\Prod Menu");
  EXPECT_EQ(Get(lines, "var.InstallerFilepath"), tool);
  EXPECT_EQ(Get(lines, "var.InstallerDir") + "\\" + Get(lines, "var.InstallerFilename"), tool);
  EXPECT_EQ(Get(lines, "var.InstallDrive"), "");
  EXPECT_EQ(Get(lines, "var.NetworkInstall"), "1");
  EXPECT_EQ(Get(lines, "var.OldVersionMajor"), "2");
  EXPECT_EQ(Get(lines, "var.OldVersionMinor"), "5");
  EXPECT_EQ(Get(lines, "var.Existing"), "2");
  EXPECT_EQ(Get(lines, "var.BootDrive"), Get(lines, "boot_drive") + ":");
  // The 64-bit prefix: the 64-bit folders are the native ones in every mode 2 and 4.
  EXPECT_EQ(Get(lines, "var.Bits"), "64");
  EXPECT_EQ(Get(lines, "programs.2"), "C:\\Program Files");
  EXPECT_EQ(Get(lines, "programs.4"), "C:\\Program Files");
  EXPECT_EQ(Get(lines, "common.2"), "C:\\Program Files\\Common Files");
  EXPECT_EQ(Get(lines, "folder.inetpub"), "c:\\Inetpub");
}

}  // namespace
}  // namespace ks::e2e
