// What a real installer gives its path variables, checked against what the
// system itself reports (the registry's program-files values, the shell's
// special folders through ksfolders.exe), never against the engine's own
// resolvers:
// - an install path "%ProgramsDir%\%CompanyName%\%ProductName%" names the
//   product's own folder below the Program Files folder of the product's
//   bitness, and %Version% reaches a file's destination;
// - %StartMenuChosen% and %DesktopShortcuts% follow the all-users choice
//   (ShortcutMode), the Start-menu folder name and the desktop folder name,
//   in the installer's batches and in the uninstaller's.

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/install_settings.h"
#include "core/product_flags.h"
#include "engine/file_data_block.h"
#include "engine/file_records.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/key_values.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

using namespace product_flag;

// Install.log also after a quiet success.
constexpr ProductFlags kAlwaysLog = FlagLow(0x00000040);
constexpr ProductFlags kHiddenUninstallBatch1 = FlagLow(0x04000000);
// The pre-installation batch's output goes to Install.log under its name.
constexpr std::uint32_t kNamePreInstallation = 0x040;

const char kCurrentVersion[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion";

// Short names unique within the run (one test process per ctest test), with
// blanks, as real company and product names have them.
std::string Named(const std::string& stem, const std::string& case_name) {
  return stem + " " + std::to_string(getpid()) + " " + case_name;
}

DriverRun RunSilently(const std::string& command_line) {
  DriverOptions options;
  options.timeout_seconds = 120;
  return RunCommandLine(command_line, options);
}

// ---- the install path --------------------------------------------------------

struct BitnessCase {
  const char* name;
  std::uint8_t bitness;  // the settings' value: 1 = needs 64-bit Windows
};

class ProgramsDirInstallPath : public WineTestWithParam<BitnessCase> {};

TEST_P(ProgramsDirInstallPath, FilesLandInProgramFilesCompanyProduct) {
  const BitnessCase& c = GetParam();
  const std::string company = Named("Maker", c.name);
  const std::string product = Named("Product", c.name);
  const std::string file = Named("app", c.name) + ".txt";
  const std::string version_file = Named("version", c.name) + ".txt";

  InstallerSpec plan;
  InstallSettings& s = plan.settings;
  s.publisher = Widen(company);
  s.product_name = Widen(product);
  s.display_version = u"4.2.1";
  s.bitness = c.bitness;
  s.install_path = u"%ProgramsDir%\\%CompanyName%\\%ProductName%";
  // One file into the installation folder, one into a subfolder named by its version.
  FileRecord plain;
  plain.name = file;
  FileRecord versioned;
  versioned.name = version_file;
  versioned.destination = u"v%Version%\\";
  std::vector<Bytes> items;
  for (const auto& [record, data] : {std::pair{plain, std::string("app")}, {versioned, std::string("4.2.1")}}) {
    items.push_back(EncodeFileRecord(record, Bytes(data.begin(), data.end())));
    plan.archive.per_file_values.push_back(static_cast<std::int32_t>(data.size()));
  }
  ASSERT_TRUE(BuildFileDataBlock(items, 4096, ChunkCoding{}, &plan.archive.file_data));
  const std::string installer = MakeInstaller(plan);
  ASSERT_FALSE(installer.empty());

  const DriverRun run = RunSilently("\"" + installer + "\" /silent");
  ASSERT_TRUE(run.ok) << run.error << run.output;
  ASSERT_EQ(run.exit_code, 0) << run.output;

  // The Program Files folder as a program of the product's bitness reads it.
  // The x86_64 engine build (on hosts without 32-bit code) has the 64-bit
  // folder as its default too.
  const std::optional<std::string> folder32 = RegQuery(kCurrentVersion, "ProgramFilesDir", RegView::k32);
  const std::optional<std::string> folder64 = RegQuery(kCurrentVersion, "ProgramFilesDir", RegView::k64);
  ASSERT_TRUE(folder32 && folder64);
  const std::string program_files = c.bitness == 1 || env().arch != "i686" ? *folder64 : *folder32;
  const std::string folder = program_files + "\\" + company + "\\" + product;
  std::string misplaced;
  for (const std::string& base : {*folder32, *folder64}) {
    if (PrefixFileExists(base + "\\" + file)) misplaced = "; it lies straight in " + base;
  }
  EXPECT_EQ(ReadPrefixFile(folder + "\\" + file), std::optional<std::string>("app")) << folder << misplaced;
  EXPECT_EQ(ReadPrefixFile(folder + "\\v4.2.1\\" + version_file), std::optional<std::string>("4.2.1")) << folder;
}

INSTANTIATE_TEST_SUITE_P(PathVariableInputs, ProgramsDirInstallPath,
                         ::testing::Values(BitnessCase{"Product32Bit", 0}, BitnessCase{"Product64Bit", 1}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- the Start-menu and desktop folders -----------------------------------------

// The shell's folder numbers (CSIDL) that ksfolders.exe is asked for.
const char kPrograms[] = "2";
const char kCommonPrograms[] = "23";
const char kDesktop[] = "16";
const char kCommonDesktop[] = "25";

KeyValueLines ShellFolders(const std::string& scratch) {
  return ParseKeyValueLines(ShellFolderOutput(scratch, {kPrograms, kCommonPrograms, kDesktop, kCommonDesktop}));
}

struct ShortcutCase {
  const char* name;
  std::uint8_t shortcut_mode;  // 1 = all users
  const char* start_menu;      // the settings' Start-menu name; "" = the product name
};

// Serial: every installation writes its batch as SETUPBAT.BAT in the one
// temporary folder of the prefix, which another installer at the same moment
// would hold.
class SerialShortcutFolderVariables : public WineTestWithParam<ShortcutCase> {};

TEST_P(SerialShortcutFolderVariables, MatchTheShellFoldersInBatches) {
  const ShortcutCase& c = GetParam();
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\App";
  const std::string key = UniqueName("KsShortcutVars");
  const std::string product = Named("Shortcut Product", c.name);
  const std::string desktop_folder = Named("Desk", c.name);
  const std::string uninstall_output = scratch + "\\uninstall-batch.txt";

  const KeyValueLines shell = ShellFolders(scratch);
  // Only where all users' folders differ from the user's can the choice show.
  ASSERT_NE(ValueOf(shell, kCommonPrograms), ValueOf(shell, kPrograms));
  ASSERT_NE(ValueOf(shell, kCommonDesktop), ValueOf(shell, kDesktop));
  const bool all_users = c.shortcut_mode == 1;
  const std::string programs = ValueOf(shell, all_users ? kCommonPrograms : kPrograms);
  const std::string desktop = ValueOf(shell, all_users ? kCommonDesktop : kDesktop);
  ASSERT_FALSE(programs.empty() || desktop.empty()) << "the shell named no folder";
  const std::string start_menu = *c.start_menu ? std::string(c.start_menu) : product;
  const std::string want_start_menu = programs + "\\" + start_menu;
  const std::string want_desktop = desktop + "\\" + desktop_folder;

  InstallerSpec plan;
  InstallSettings& s = plan.settings;
  s.product_name = Widen(product);
  s.uninstall_key_name = Widen(key);
  s.publisher = u"Maker";
  s.display_version = u"1.0";
  s.install_path = Widen(dir);
  s.shortcut_mode = c.shortcut_mode;
  s.product_start_menu = Widen(c.start_menu);
  s.desktop_folder = Widen(desktop_folder);
  // An uninstaller, and both batches without windows (kPreInstallBatch hides the first).
  s.product_flags = kRegisterUninstaller | kAlwaysLog | kPreInstallBatch | kHiddenUninstallBatch1;
  const std::string start_menu_line = "echo StartMenuChosen=[%StartMenuChosen%]";
  const std::string desktop_line = "echo DesktopShortcuts=[%DesktopShortcuts%]";
  s.pre_install_batch = start_menu_line + "\r\n" + desktop_line + "\r\n";
  s.uninstall_batch1 = start_menu_line + ">\"" + uninstall_output + "\"\r\n" + desktop_line + ">>\"" +
                       uninstall_output + "\"\r\n";
  plan.archive.flags = kNamePreInstallation;
  const std::string installer = MakeInstaller(plan);
  ASSERT_FALSE(installer.empty());

  const DriverRun installed = RunSilently("\"" + installer + "\" /silent");
  ASSERT_TRUE(installed.ok) << installed.error << installed.output;
  ASSERT_EQ(installed.exit_code, 0) << installed.output;
  const std::string captured =
      CapturedBatchOutput(ReadPrefixFile(dir + "\\Install.log").value_or(""), "Pre-Installation Batch");
  const KeyValueLines during_install = ParseKeyValueLines(captured);
  EXPECT_EQ(ValueOf(during_install, "StartMenuChosen"), "[" + want_start_menu + "]") << captured;
  EXPECT_EQ(ValueOf(during_install, "DesktopShortcuts"), "[" + want_desktop + "]") << captured;

  // The uninstaller takes the same choices from the Uninstall key.
  const std::optional<std::string> uninstall = RegQuery(kUninstallKey + key, "UninstallString", RegView::k32);
  ASSERT_TRUE(uninstall.has_value());
  const DriverRun removed = RunSilently(*uninstall + " /silent");
  ASSERT_TRUE(removed.ok) << removed.error << removed.output;
  EXPECT_EQ(removed.exit_code, 0) << removed.output;
  const std::string written = ReadPrefixFile(uninstall_output).value_or("<no output>");
  const KeyValueLines during_uninstall = ParseKeyValueLines(written);
  EXPECT_EQ(ValueOf(during_uninstall, "StartMenuChosen"), "[" + want_start_menu + "]") << written;
  EXPECT_EQ(ValueOf(during_uninstall, "DesktopShortcuts"), "[" + want_desktop + "]") << written;
}

INSTANTIATE_TEST_SUITE_P(PathVariableInputs, SerialShortcutFolderVariables,
                         ::testing::Values(ShortcutCase{"AllUsers", 1, "Menu All"},
                                           ShortcutCase{"PerUser", 0, "Menu Mine"},
                                           ShortcutCase{"EmptyMenuName", 0, ""}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ks::e2e
