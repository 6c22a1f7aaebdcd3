// Shortcuts, file associations and firewall exceptions under Wine, and the
// uninstaller giving them back: links are read from their bytes, the
// folders are those the shell names (ksfolders.exe), the classes root is
// compared through registry exports, and the firewall's answers are those
// Install.log shows.

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/install_settings.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/key_values.h"
#include "harness/shell_link_file.h"
#include "harness/wait.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

using namespace std::chrono_literals;
using test::ParseShellLink;
using test::ShellLinkFile;

constexpr ProductFlags kUninstallerInStartMenu = 0x2;
constexpr ProductFlags kRegisterUninstaller = 0x4;
constexpr ProductFlags kAlwaysWriteLog = 0x40;
constexpr ProductFlags kDetailedLog = 0x100000;

// The shell's folder numbers (CSIDL).
const char kDesktop[] = "16", kCommonDesktop[] = "25", kPrograms[] = "2", kCommonPrograms[] = "23",
           kStartup[] = "7", kCommonStartup[] = "24";

// A product of two files, registered with an uninstaller whose data lie in "Data".
InstallerSpec ProductPlan(const std::string& product, const std::string& dir) {
  InstallerSpec plan;
  InstallSettings& s = plan.settings;
  s.product_name = Utf8ToWide(product);
  s.install_path = Utf8ToWide(dir);
  s.uninstall_subdir = u"Data";
  s.product_start_menu = Utf8ToWide(product) + u" Menu";
  s.product_flags = kRegisterUninstaller | kAlwaysWriteLog | kDetailedLog;
  AddFiles(plan, {{"app.exe", "MZ app"}, {"server.exe", "MZ server"}});
  return plan;
}

DriverRun RunSilently(const std::string& program, const std::vector<std::string>& args) {
  DriverOptions options;
  options.timeout_seconds = 120;
  return RunProgram(program, args, options);
}

// Installs silently; false after a failure of the test.
bool Install(const InstallerSpec& plan) {
  const std::string installer = MakeInstaller(plan);
  if (installer.empty()) return false;
  const DriverRun run = RunSilently(installer, {"/silent"});
  EXPECT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  return run.ok && run.exit_code == 0;
}

void Uninstall(const std::string& dir, const std::string& product) {
  const DriverRun run = RunSilently(dir + "\\Data\\uninstall.exe", {"/u:" + product, "/silent"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
}

ShellLinkFile ReadLink(const std::string& path) {
  const std::optional<std::string> bytes = ReadPrefixFile(path);
  EXPECT_TRUE(bytes.has_value()) << path;
  return ParseShellLink(bytes.value_or(""));
}

struct ModeCase {
  const char* name;
  std::uint8_t shortcut_mode;
};

class ShortcutPlaces : public WineTestWithParam<ModeCase> {};

TEST_P(ShortcutPlaces, EachFolderHoldsItsLinkUntilTheUninstallerTakesItAway) {
  const ModeCase& c = GetParam();
  const bool all_users = c.shortcut_mode == 1;
  const std::string product = UniqueName("Places");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\App";
  const KeyValueLines shell = ParseKeyValueLines(
      ShellFolderOutput(scratch, {kDesktop, kCommonDesktop, kPrograms, kCommonPrograms, kStartup, kCommonStartup}));
  const std::string desktop = ValueOf(shell, all_users ? kCommonDesktop : kDesktop);
  const std::string menu = ValueOf(shell, all_users ? kCommonPrograms : kPrograms) + "\\" + product + " Menu";
  const std::string startup = ValueOf(shell, all_users ? kCommonStartup : kStartup);
  ASSERT_NE(ValueOf(shell, kDesktop), ValueOf(shell, kCommonDesktop));

  InstallerSpec plan = ProductPlan(product, dir);
  plan.settings.shortcut_mode = c.shortcut_mode;
  plan.settings.product_flags |= kUninstallerInStartMenu;
  ShortcutRecord r;
  r.target = u"%InstallDir%\\app.exe";
  r.name = Utf8ToWide(product) + u" Tools\\App";
  r.arguments = u"--from \"shortcut\"";
  r.start_in = u"C:";
  r.icon = u"app.ico";
  r.on_desktop = r.in_start_menu = r.in_startup = 1;
  r.other_folder = scratch + "\\Other";
  r.window_state = 1;
  plan.settings.shortcuts = {r};
  ASSERT_TRUE(Install(plan));

  const std::string sub = product + " Tools";
  const struct {
    std::string folder;
    std::uint32_t show;
  } places[] = {{desktop, 1}, {menu, 7}, {startup, 7}, {scratch + "\\Other", 7}};
  const std::string data = ReadPrefixFile(dir + "\\Data\\Uninstall.DAT").value_or("");
  for (const auto& p : places) {
    const std::string path = p.folder + "\\" + sub + "\\App.LNK";
    SCOPED_TRACE(path);
    const ShellLinkFile link = ReadLink(path);
    ASSERT_TRUE(link.valid);
    EXPECT_EQ(link.target, dir + "\\app.exe");
    EXPECT_EQ(link.arguments, "--from \"shortcut\"");
    EXPECT_EQ(link.working_dir, "C:\\");
    EXPECT_EQ(link.icon_location, dir + "\\Data\\app.ico");
    EXPECT_EQ(link.icon_index, 0);
    EXPECT_EQ(link.show_command, p.show) << "desktop shortcuts open normally, the others minimized";
    EXPECT_EQ(link.description, "");
    EXPECT_NE(data.find(path + "\r\n"), std::string::npos);
    EXPECT_NE(data.find("~" + p.folder + "\\" + sub + "\r\n"), std::string::npos);
  }
  const ShellLinkFile uninstaller = ReadLink(menu + "\\Uninstall " + product + ".LNK");
  EXPECT_EQ(uninstaller.target, dir + "\\Data\\uninstall.exe");
  EXPECT_EQ(uninstaller.arguments, "/u:\"" + product + "\"");
  EXPECT_EQ(uninstaller.working_dir, dir);
  const std::string log = ReadPrefixFile(dir + "\\Data\\Install.log").value_or("");
  EXPECT_NE(log.find("Desktop Shortcut(" + sub + "\\App) >>> " + desktop + "\\" + sub + "\\App.LNK\r\n"),
            std::string::npos)
      << log;

  Uninstall(dir, product);
  for (const auto& p : places) EXPECT_FALSE(PrefixFileExists(p.folder + "\\" + sub)) << p.folder;
  EXPECT_FALSE(PrefixFileExists(menu));
}

INSTANTIATE_TEST_SUITE_P(Modes, ShortcutPlaces,
                         ::testing::Values(ModeCase{"PerUser", 0}, ModeCase{"AllUsers", 1}),
                         [](const auto& p) { return std::string(p.param.name); });

class Shortcuts : public WineTest {};

TEST_F(Shortcuts, TheDesktopFolderShowsItsIconAndGoesWithTheProduct) {
  const std::string product = UniqueName("DeskFolder");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\App";
  const std::string desktop = ValueOf(ParseKeyValueLines(ShellFolderOutput(scratch, {kDesktop})), kDesktop);
  InstallerSpec plan = ProductPlan(product, dir);
  plan.settings.desktop_folder = Utf8ToWide(product) + u" Desk";
  plan.settings.desktop_folder_icon = {0, 0, 1, 0, 0, 0};
  ShortcutRecord r;
  r.target = u"%InstallDir%\\app.exe";
  r.name = u"App";
  r.on_desktop = 1;
  plan.settings.shortcuts = {r};
  ASSERT_TRUE(Install(plan));

  const std::string folder = desktop + "\\" + product + " Desk";
  EXPECT_TRUE(ReadLink(folder + "\\App.LNK").valid);
  const std::string icon = dir + "\\Data\\Desktop Icon.ico";
  EXPECT_EQ(ReadPrefixFile(icon), std::optional<std::string>(std::string("\0\0\1\0\0\0", 6)));
  const std::string ini = ReadPrefixFile(folder + "\\Desktop.ini").value_or("");
  EXPECT_NE(ini.find("[.ShellClassInfo]"), std::string::npos) << ini;
  EXPECT_NE(ini.find("IconIndex=0"), std::string::npos) << ini;
  EXPECT_NE(ini.find("IconFile=" + icon), std::string::npos) << ini;

  Uninstall(dir, product);
  EXPECT_FALSE(PrefixFileExists(folder));
}

// The pin is tried on Windows 7 to 8.1 only, and the log tells the system's answer.
struct PinCase {
  const char* name;
  const char* version;
  bool pinned;
};

class TaskbarPin : public WineTestWithParam<PinCase> {};

TEST_P(TaskbarPin, IsTriedOnTheSystemsThatTakeIt) {
  const PinCase& c = GetParam();
  const std::string product = UniqueName("Pin");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\App";
  InstallerSpec plan = ProductPlan(product, dir);
  plan.settings.taskbar_pin_command = u"\"%InstallDir%\\app.exe\" --pinned";
  const std::string installer = MakeInstaller(plan);
  ASSERT_FALSE(installer.empty());
  const std::string exe_name = installer.substr(installer.rfind('\\') + 1);
  const std::string app_key = "HKCU\\Software\\Wine\\AppDefaults\\" + exe_name;
  ASSERT_TRUE(RegAddString(app_key, "Version", c.version, RegView::k64));
  const DriverRun run = RunSilently(installer, {"/silent"});
  RunWine({"reg", "delete", app_key, "/f"}, 60);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  ASSERT_EQ(run.exit_code, 0) << run.output;

  const std::string log = ReadPrefixFile(dir + "\\Data\\Install.log").value_or("");
  const std::string data = ReadPrefixFile(dir + "\\Data\\Uninstall.DAT").value_or("");
  const std::string line = "Pin to taskbar(" + dir + "\\app.exe): ";
  const std::string pinned = "\\User Pinned\\TaskBar\\" + product + ".lnk\r\n";
  if (c.pinned) {
    // Wine's shell does not know the verb: it runs the link's target, which is no program.
    const std::size_t at = log.find(line);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.substr(at + line.size(), 6), "FAIL\r\n") << log.substr(at);
    EXPECT_NE(data.find(pinned), std::string::npos) << data;
  } else {
    EXPECT_EQ(log.find("Pin to taskbar"), std::string::npos) << log;
    EXPECT_EQ(data.find(pinned), std::string::npos);
  }
  Uninstall(dir, product);
}

INSTANTIATE_TEST_SUITE_P(Systems, TaskbarPin,
                         ::testing::Values(PinCase{"Windows7", "win7", true}, PinCase{"Windows10", "win10", false}),
                         [](const auto& p) { return std::string(p.param.name); });

// A package the Windows Installer cannot remove keeps its record, the data
// file and the registration, and the box names it; a driver package is
// tried and not kept, and what can go goes.
class UninstallerRecords : public WineTest {};

TEST_F(UninstallerRecords, APackageThatCannotBeRemovedStaysAndIsNamed) {
  const std::string product = UniqueName("Kept");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\P";
  const std::string key = kUninstallKey + product;
  ASSERT_TRUE(WritePrefixFile(dir + "\\named.txt", "x"));
  ASSERT_TRUE(WritePrefixFile(dir + "\\Uninstall.DAT", dir + "\\named.txt\r\n"
                                                      "\r\n\r\n[Strings]\r\n~58\r\nCould not delete\r\n"
                                                      "\r\n\r\n[INF]\r\nC:\\windows\\inf\\oem7.inf\r\n"
                                                      "\r\n\r\n[MSI]\r\n\"C:\\P\\x.msi\",2\r\n"));
  ASSERT_TRUE(RegAddString(key, "InstallLocation", dir, RegView::k32));
  const std::string engine = CopyEngine(dir, "uninstall.exe");
  DriverOptions options;
  options.presses = {"Yes"};
  const DriverRun run = RunProgram(engine, {"/u:" + product}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 3) << run.output;
  ASSERT_FALSE(run.windows.empty());
  const std::string box = run.windows.back().Text();
  EXPECT_NE(box.find("Failed to uninstall x.msi, code "), std::string::npos) << box;
  EXPECT_FALSE(PrefixFileExists(dir + "\\named.txt"));
  const std::string data = ReadPrefixFile(dir + "\\Uninstall.DAT").value_or("");
  EXPECT_NE(data.find("\r\n\r\n[MSI]\r\n\"C:\\P\\x.msi\",2\r\n"), std::string::npos) << data;
  EXPECT_EQ(data.find("[INF]"), std::string::npos) << data;
  EXPECT_TRUE(RegQuery(key, "InstallLocation", RegView::k32).has_value());
  RunWine({"reg", "delete", key, "/f", "/reg:32"}, 60);
}

// ---- the whole loop --------------------------------------------------------------

// The classes root as `reg export` writes it.
std::string ExportClasses(const std::string& scratch, const std::string& name) {
  const std::string file = scratch + "\\" + name + ".reg";
  const WineResult r = RunWine({"reg", "export", "HKCR", file, "/y", "/reg:32"}, 120);
  EXPECT_TRUE(r.started && !r.timed_out && r.status == 0) << r.out;
  return ReadPrefixFile(file).value_or("(no export)");
}

bool AddClassesValue(const std::string& key, const std::string& name, const std::string& data) {
  return RegAddString("HKCR\\" + key, name, data, RegView::k32);
}

// Serial: the comparison covers the whole classes root and the shared
// folders, which no other test may change meanwhile.
class SerialIntegration : public WineTest {};

TEST_F(SerialIntegration, InstallingAndUninstallingLeavesThePrefixAsItWas) {
  const std::string product = UniqueName("Loop");
  const std::string scratch = ScratchFolder();
  const std::string dir = scratch + "\\App";
  const std::string owned = ".ksowned" + product, other = "KsOther." + product;
  const std::string fresh = ".ksfresh" + product, type = "KsLoop." + product;
  // An extension another program owns, with its "Open With" list.
  ASSERT_TRUE(AddClassesValue(owned, "", other));
  ASSERT_TRUE(AddClassesValue(owned + "\\OpenWithProgids", other, ""));
  ASSERT_TRUE(AddClassesValue(other, "", "Other document"));
  ASSERT_TRUE(AddClassesValue(other + "\\shell\\open\\command", "", "other.exe \"%1\""));
  const KeyValueLines shell = ParseKeyValueLines(ShellFolderOutput(scratch, {kDesktop, kPrograms, kStartup}));
  const std::vector<std::string> folders = {ValueOf(shell, kDesktop), ValueOf(shell, kPrograms),
                                            ValueOf(shell, kStartup), scratch};
  std::vector<std::set<std::string>> trees_before;
  for (const std::string& f : folders) trees_before.push_back(PrefixTree(f));
  const std::string classes_before = ExportClasses(scratch, "before");

  InstallerSpec plan = ProductPlan(product, dir);
  ShortcutRecord r;
  r.target = u"%InstallDir%\\app.exe";
  r.name = u"Loop Tools\\App";
  r.on_desktop = r.in_start_menu = r.in_startup = 1;
  plan.settings.shortcuts = {r};
  FileAssociation a;
  a.extension = owned;
  a.prog_id = type;
  a.description = "Loop document";
  a.verbs = "open,print";
  a.verb_label = "Open with Loop";
  a.command = u"\"%InstallDir%\\app.exe\" \"%1\"";
  a.icon = u"app.exe,0";
  FileAssociation b = a;
  b.extension = fresh;
  b.verbs = "open";
  plan.settings.associations = {a, b};
  plan.settings.firewall_text = "8642;Loop sync;3;0\r\nserver.exe;;0;0\r\n8643;Kept;1;1\r\n";
  ASSERT_TRUE(Install(plan));

  EXPECT_EQ(RegQuery("HKCR\\" + owned, "", RegView::k32), std::optional<std::string>(type));
  EXPECT_EQ(RegQuery("HKCR\\" + owned, product + " Backup", RegView::k32), std::optional<std::string>(other));
  EXPECT_EQ(RegQuery("HKCR\\" + type + "\\shell\\print\\command", "", RegView::k32),
            std::optional<std::string>("\"" + dir + "\\app.exe\" \"%1\""));
  const std::string log = ReadPrefixFile(dir + "\\Data\\Install.log").value_or("");
  for (const std::string& expected :
       {"Associated " + owned + " with \"" + dir + "\\app.exe\" \"%1\" (verb=open)\r\n",
        owned + " Open With \"" + dir + "\\app.exe\" \"%1\"\r\n",
        // Wine's firewall takes every rule the installer asks for.
        std::string("Added firewall exception: TCP port 8642\r\n"), std::string("Added firewall exception: UDP port 8642\r\n"),
        "Added firewall exception: " + dir + "\\server.exe\r\n", std::string("Added firewall exception: TCP port 8643\r\n")}) {
    EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
  }
  const std::string data = ReadPrefixFile(dir + "\\Data\\Uninstall.DAT").value_or("");
  EXPECT_NE(data.find("\r\n\r\n[Firewall]\r\n8642;Loop sync;3;0\r\nserver.exe;;0;0\r\n"), std::string::npos) << data;
  EXPECT_EQ(data.find("8643"), std::string::npos) << "an exception that stays is not recorded";
  EXPECT_NE(data.find("[Associations]\r\n" + owned + "~!~" + type + "~!~open~!~" + dir + "\\app.exe,0\r\n"),
            std::string::npos)
      << data;

  Uninstall(dir, product);
  // The uninstaller and its folders go with the self-deletion script.
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(dir); }, 60s)) << dir;
  EXPECT_EQ(ExportClasses(scratch, "after"), classes_before);
  for (std::size_t i = 0; i < folders.size(); ++i) {
    std::set<std::string> after = PrefixTree(folders[i]);
    // The exports lie in the scratch folder; they are the test's.
    after.erase("before.reg");
    after.erase("after.reg");
    EXPECT_EQ(after, trees_before[i]) << folders[i];
  }
  RunWine({"reg", "delete", "HKCR\\" + owned, "/f", "/reg:32"}, 60);
  RunWine({"reg", "delete", "HKCR\\" + other, "/f", "/reg:32"}, 60);
}

}  // namespace
}  // namespace ks::e2e
