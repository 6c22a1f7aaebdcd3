// The product's batches run by a real installer under Wine: a named batch's
// output lands in Install.log, every SET variable carries the value the
// engine's own resolvers give, the file is UTF-8 behind "@chcp 65001 >nul" on
// a system that reports Windows 10 (code page 1252 on Vista), PAUSE lines go in
// silent mode, the "/b1:" addition follows the script, the batches of an
// upgrade run at their place, and a batch file that cannot be written is
// reported while the installation goes on.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/install_settings.h"
#include "core/product_flags.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/key_values.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

constexpr ProductFlags kAlwaysLog = FlagLow(0x00000040);
constexpr std::uint32_t kNamePreInstallation = 0x040;
constexpr std::uint32_t kNameUpgrade = 0x100;
constexpr std::uint32_t kNameReinstall = 0x200;

// The variables a batch sees, in the order of its SET lines.
const char* const kSetNames[] = {
    "Automatic",       "InstallDir",       "Bits",         "UninstallDir",   "SharedDir",
    "InstallerFilepath", "InstallerDir",   "InstallerFilename", "InstallerDrive", "SystemDir",
    "DeviceDir",       "MediaDir",         "FavoritesDir", "FavoritesAllDir", "FontDir",
    "DesktopDir",      "DesktopAllDir",    "DesktopShortcuts", "DocumentDir", "DocumentAllDir",
    "ProductName",     "CompanyName",      "ProgramsDir",  "ProgramsDir32",  "ProgramsDir64",
    "StartMenuAllDir", "StartMenuChosen",  "StartMenuDir", "SMProgramsDir",  "SMProgramsAllDir",
    "StartupDir",      "StartupAllDir",    "CommonDir",    "CommonDir32",    "CommonDir64",
    "Inetpub",         "AppDataDir",       "AppDataAllDir", "InstallDrive",  "BootDrive",
    "Version",         "OldVersion",       "Portable",     "Existing",       "NetworkInstall",
    "Language",        "OldVersionMajor",  "OldVersionMinor", "OS",          "OSMajor",
    "OSMinor",         "OSName",           "OSDescription", "OSServer"};

using Lines = KeyValueLines;

InstallSettings Product(const std::string& install_dir, const WString& name) {
  InstallSettings s;
  s.product_name = name;
  s.publisher = u"Maker";
  s.display_version = u"3.1";
  s.install_path = Widen(install_dir);
  s.product_flags = kAlwaysLog;
  return s;
}

std::string Build(const InstallSettings& settings, std::uint32_t archive_flags) {
  InstallerSpec plan;
  plan.settings = settings;
  plan.archive.flags = archive_flags;
  return MakeInstaller(plan);
}

DriverRun Install(const std::string& installer, const std::vector<std::string>& args) {
  DriverOptions options;
  options.timeout_seconds = 120;
  return RunProgram(installer, args, options);
}

std::string FileNameOf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

class Batches : public WineTest {};

TEST_F(Batches, EverySetVariableShowsItsValueInInstallLog) {
  const std::string dir = ScratchFolder() + "\\App";
  ASSERT_TRUE(WritePrefixFile(dir + "\\kept.txt", "the batch runs in the installation folder"));
  InstallSettings s = Product(dir, u"Batch Vars");
  std::string script;
  for (const char* name : kSetNames) script += std::string("echo ") + name + "=[%" + name + "%]\r\n";
  script += "  @pause  \r\n";  // silent: nobody could press a key
  s.pre_install_batch = script;
  const std::string installer = Build(s, kNamePreInstallation);
  ASSERT_FALSE(installer.empty());

  // Exactly as typed: the addition's quotes are the installer's own syntax.
  DriverOptions options;
  options.timeout_seconds = 120;
  const DriverRun run = RunCommandLine(installer + " /silent /b1:\"echo added~~echo `quoted`\"", options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const std::string log = ReadPrefixFile(dir + "\\Install.log").value_or("");
  const std::string captured = CapturedBatchOutput(log, "Pre-Installation Batch");
  const Lines got = ParseKeyValueLines(captured, '=');
  std::vector<std::string> names;
  for (const auto& kv : got) names.push_back(kv.first);
  EXPECT_EQ(names, std::vector<std::string>(std::begin(kSetNames), std::end(kSetNames))) << captured;
  EXPECT_NE(captured.find("]\r\nadded\r\n\"quoted\""), std::string::npos) << "the /b1: addition runs last\n"
                                                                          << captured;

  // The same variables as the engine's resolvers give them for these inputs
  // (an empty Start-menu name is the product name; the folders as the system
  // reports them are compared by the path-variable input tests).
  const std::string tool = CopyIntoPrefix(BuildProgramLinuxPath("kspaths.exe"), ScratchFolder());
  ASSERT_FALSE(tool.empty());
  const WineResult r = RunWine({tool, "install_dir=" + dir, "product_name=Batch Vars", "company_name=Maker",
                                "version=3.1", "language=English", "automatic=1", "uninstall_dir=" + dir,
                                "start_menu_name=Batch Vars"},
                               120);
  ASSERT_TRUE(r.started && !r.timed_out && r.status == 0) << r.out;
  const Lines want = ParseKeyValueLines(r.out, '=');
  for (const char* name : kSetNames) {
    const std::string value = ValueOf(got, name);
    if (std::string(name).rfind("Installer", 0) == 0) continue;  // kspaths is another program
    EXPECT_EQ(value, "[" + ValueOf(want, std::string("var.") + name) + "]") << name;
  }
  EXPECT_EQ(ValueOf(got, "InstallerFilepath"), "[" + installer + "]");
  EXPECT_EQ(ValueOf(got, "InstallerFilename"), "[" + FileNameOf(installer) + "]");
  EXPECT_EQ(ValueOf(got, "InstallerDrive"), "[C:]");
  EXPECT_EQ(ValueOf(got, "InstallDir"), "[" + dir + "]");
  EXPECT_EQ(ValueOf(got, "Automatic"), "[1]");
  EXPECT_EQ(ValueOf(got, "Existing"), "[0]");
  EXPECT_EQ(ValueOf(got, "ProductName"), "[Batch Vars]");
  EXPECT_FALSE(PrefixFileExists(dir + "\\SETUPBAT.BAT"));
  EXPECT_FALSE(PrefixFileExists(dir + "\\ks_batch.log"));
}

struct CodePageCase {
  const char* name;
  const char* wine_version;  // what the prefix reports to the installer
  std::string first_line;
  std::string product_line;
};

class BatchCodePage : public WineTestWithParam<CodePageCase> {};

// The batch copies itself, so the test sees the file as the interpreter ran it.
TEST_P(BatchCodePage, NonAsciiProductName) {
  const CodePageCase& c = GetParam();
  const std::string dir = ScratchFolder() + "\\App";
  ASSERT_TRUE(WritePrefixFile(dir + "\\kept.txt", "the batch runs in the installation folder"));
  InstallSettings s = Product(dir, u"Caf\u00E9 \u4E2D");
  s.pre_install_batch = "echo one\r\n@PAUSE\r\ncopy /y \"%~f0\" \"%InstallDir%\\saved.bat\" >nul\r\n";
  const std::string installer = Build(s, 0);
  ASSERT_FALSE(installer.empty());
  ASSERT_TRUE(RegAddString("HKCU\\Software\\Wine\\AppDefaults\\" + FileNameOf(installer), "Version",
                           c.wine_version, RegView::k64));

  const DriverRun run = Install(installer, {"/silent"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const std::string saved = ReadPrefixFile(dir + "\\saved.bat").value_or("<no copy>");
  EXPECT_EQ(saved.rfind(c.first_line + "@echo off\r\nSET Automatic=1\r\n", 0), 0u) << saved;
  EXPECT_NE(saved.find("\r\n" + c.product_line + "\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\r\nSET OSMajor=" + std::string(c.wine_version == std::string("vista") ? "6" : "10")),
            std::string::npos)
      << saved;
  const std::string tail = "SET OSServer=0\r\necho one\r\ncopy /y \"%~f0\" \"%InstallDir%\\saved.bat\" >nul\r\n";
  EXPECT_EQ(saved.substr(saved.size() - std::min(saved.size(), tail.size())), tail) << "PAUSE removed";
}

INSTANTIATE_TEST_SUITE_P(
    Batches, BatchCodePage,
    ::testing::Values(CodePageCase{"Windows10", "win10", "@chcp 65001 >nul\r\n",
                                   "SET \"ProductName=Caf\xC3\xA9 \xE4\xB8\xAD\""},
                      CodePageCase{"Vista", "vista", "@chcp 1252 >nul\r\n", "SET \"ProductName=Caf\xE9 ?\""}),
    [](const ::testing::TestParamInfo<CodePageCase>& case_info) { return std::string(case_info.param.name); });

TEST_F(Batches, UpgradeRunsThePreparationBatchesInOrder) {
  const std::string name = UniqueName("BatchUp");
  const std::string earlier = ScratchFolder() + "\\Old";
  ASSERT_TRUE(WritePrefixFile(earlier + "\\old.txt", "old"));
  const std::string key = kUninstallKey + name;
  ASSERT_TRUE(RegAddString(key, "InstallLocation", earlier, RegView::k32));
  ASSERT_TRUE(RegAddString(key, "DisplayVersion", "0.9", RegView::k32));

  InstallSettings s = Product(ScratchFolder() + "\\Fresh", Widen(name));
  s.uninstall_key_name = Widen(name);
  s.display_version = u"1.0";
  // An uninstaller, compared versions, and every preparation batch hidden.
  s.product_flags = kAlwaysLog | product_flag::kRegisterUninstaller | product_flag::kCompareVersions |
                    FlagLow(0x00800000) | FlagHigh(0x10000000) | FlagHigh(0x20000000);
  s.pre_install_batch = "echo pre %Existing%";
  s.upgrade_batch = "echo up %Existing% %OldVersion% %OldVersionMajor%";
  s.reinstall_batch = "echo re";
  const std::string installer = Build(s, kNamePreInstallation | kNameUpgrade | kNameReinstall);
  ASSERT_FALSE(installer.empty());

  // Automatic rather than silent: silent mode does not compare versions.
  const DriverRun run = Install(installer, {"/a"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(run.windows.empty()) << run.output;
  const std::string log = ReadPrefixFile(earlier + "\\Install.log").value_or("");
  const std::size_t pre = log.find("\r\nRunning Pre-Installation Batch...\r\npre 2\r\n\r\n");
  const std::size_t up = log.find("\r\nRunning Upgrade Batch...\r\nup 2 0.9 0\r\n\r\n");
  const std::size_t re = log.find("\r\nRunning Reinstall Batch...\r\nre\r\n\r\n");
  ASSERT_NE(pre, std::string::npos) << log;
  ASSERT_NE(up, std::string::npos) << log;
  ASSERT_NE(re, std::string::npos) << log;
  EXPECT_LT(pre, up);
  EXPECT_LT(up, re);
}

TEST_F(Batches, BatchFileThatCannotBeWrittenIsReportedAndTheInstallationGoesOn) {
  const std::string dir = ScratchFolder() + "\\App";
  // A folder in the batch file's place.
  ASSERT_TRUE(WritePrefixFile(dir + "\\SETUPBAT.BAT\\inside.txt", "x"));
  InstallSettings s = Product(dir, u"Blocked");
  s.pre_install_batch = "echo never";
  const std::string installer = Build(s, kNamePreInstallation);
  ASSERT_FALSE(installer.empty());

  const DriverRun run = Install(installer, {"/silent"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(run.windows.empty()) << run.output;
  const std::string log = ReadPrefixFile(dir + "\\Install.log").value_or("");
  const std::string message = "\r\nRunning Pre-Installation Batch...\r\nUnable to create batch file \"" + dir +
                              "\\SETUPBAT.BAT\".\r\n\r\n";
  const std::size_t at = log.find(message);
  ASSERT_NE(at, std::string::npos) << log;
  const std::size_t end = log.find("\r\n\r\n", at + message.size());
  EXPECT_GT(end, at + message.size()) << "the file result text follows\n" << log;
  EXPECT_EQ(log.find("never"), std::string::npos) << log;
}

}  // namespace
}  // namespace ks::e2e
