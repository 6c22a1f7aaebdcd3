// An earlier installation under Wine: each test writes the product's
// Uninstall key as an earlier installer would (the 32-bit view, where the
// engine registers itself), runs a real installer built for it and looks at
// the exit code, the boxes shown and Install.log's header.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/install_settings.h"
#include "core/product_flags.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/wait.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

using namespace product_flag;

// Install.log is written also after a quiet success.
constexpr ProductFlags kAlwaysLog = FlagLow(0x00000040);
// No greeting: these runs are about what follows it.
constexpr ProductFlags kBase = kRegisterUninstaller | kCompareVersions | kAlwaysLog | kNoGreetingPage;


// The texts the checks show, with the product's placeholders where the
// author would put them; the rest stay empty.
LocalizedTexts Texts() {
  std::vector<std::vector<WString>> rows(120, std::vector<WString>{u""});
  rows[0] = {u"title"};
  rows[2] = {u"<product> setup"};
  rows[4] = {u"Same version in:"};
  rows[7] = {u"Continue?"};
  rows[9] = {u"Remove the old <product> first?"};
  rows[20] = {u"Careful"};
  rows[21] = {u"Setup error"};
  rows[49] = {u"Stop"};
  rows[61] = {u"Not on %s."};
  rows[72] = {u"Replace the old <product>?"};
  rows[81] = {u"Needs %d-bit Windows."};
  rows[90] = {u"Go on"};
  rows[91] = {u"Another setup runs."};
  rows[104] = {u"Remove"};
  rows[106] = {u"Nothing below %s."};
  rows[111] = {u"Cancelled."};
  return LocalizedTexts({u"English"}, rows);
}

struct Product {
  std::string name;         // product and Uninstall key name
  std::string install_dir;  // the install path setting (a fresh folder)
  InstallSettings settings;
};

Product MakeProduct(const std::string& version, ProductFlags flags = kBase) {
  Product p;
  p.name = UniqueName("Earlier");
  p.install_dir = ScratchFolder() + "\\Fresh";
  p.settings.product_name = Widen(p.name);
  p.settings.uninstall_key_name = Widen(p.name);
  p.settings.display_version = Widen(version);
  p.settings.install_path = Widen(p.install_dir);
  p.settings.product_flags = flags;
  return p;
}

std::string Build(const Product& p) {
  InstallerSpec plan;
  plan.settings = p.settings;
  plan.texts = Texts();
  return MakeInstaller(plan);
}

// The key as the earlier installation left it; empty data is not written.
void RegisterEarlier(const std::string& name, const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [value, data] : values) {
    if (!data.empty()) {
      ASSERT_TRUE(RegAddString(kUninstallKey + name, value, data, RegView::k32)) << value;
    }
  }
}

DriverRun Drive(const std::string& installer, const std::vector<std::string>& args,
              const std::vector<std::string>& presses = {}) {
  DriverOptions options;
  options.timeout_seconds = 90;
  options.presses = presses;
  return RunProgram(installer, args, options);
}

// Also waits until every process the installer started has ended: after
// that, a program it should not have started would have left its trace.
DriverRun DriveToTheEnd(const std::string& installer, const std::vector<std::string>& args) {
  DriverOptions options;
  options.timeout_seconds = 90;
  options.wait_for_descendants = true;
  return RunProgram(installer, args, options);
}

std::string Header(const std::string& folder) {
  return ReadPrefixFile(folder + "\\Install.log").value_or("");
}

// ---- install types -------------------------------------------------------------

struct TypeCase {
  const char* name;
  const char* earlier_version;
  const char* type;
};

class InstallTypes : public WineTestWithParam<TypeCase> {};

TEST_P(InstallTypes, EarlierFolderIsReusedAndTheTypeLogged) {
  const TypeCase& c = GetParam();
  const Product p = MakeProduct("1.0");
  const std::string earlier = ScratchFolder() + "\\Old App";
  ASSERT_TRUE(WritePrefixFile(earlier + "\\old.txt", "old"));
  RegisterEarlier(p.name, {{"InstallLocation", earlier + "\\"}, {"DisplayVersion", c.earlier_version}});
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());

  // Automatic: no question, and the versions are compared (silent would not).
  const DriverRun run = Drive(installer, {"/a", "/d:" + p.install_dir});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(run.windows.empty()) << run.output;

  const std::string log = Header(earlier);
  EXPECT_NE(log.find(std::string("Install type: ") + c.type + "\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Install location: " + earlier + "\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(std::string("Overwriting version: ") + c.earlier_version + "\r\n"), std::string::npos) << log;
  EXPECT_FALSE(PrefixFileExists(p.install_dir + "\\Install.log"));
}

INSTANTIATE_TEST_SUITE_P(ExistingInstall, InstallTypes,
                         ::testing::Values(TypeCase{"Same", "1.0", "Reinstall"}, TypeCase{"Older", "0.9", "Upgrade"},
                                           TypeCase{"Newer", "1.1", "Downgrade"}),
                         [](const auto& p) { return std::string(p.param.name); });

class ExistingInstall : public WineTest {};

TEST_F(ExistingInstall, QuestionShowsTheEarlierFolderAndCancelEndsWith12) {
  const Product p = MakeProduct("1.0");
  const std::string earlier = ScratchFolder();
  RegisterEarlier(p.name, {{"InstallLocation", earlier}, {"DisplayVersion", "1.0"}});
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());

  const DriverRun run = Drive(installer, {}, {"Stop", "OK"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 12) << run.output;
  ASSERT_EQ(run.windows.size(), 2u) << run.output;
  EXPECT_EQ(run.windows[0].title, p.name + " setup");
  EXPECT_EQ(run.windows[0].Text(), "Same version in:\r\n" + earlier + "\r\n\r\nContinue?");
  EXPECT_EQ(run.windows[0].buttons, (std::vector<std::string>{"Go on", "Stop"}));
  EXPECT_EQ(run.windows[1].Text(), "Cancelled.");
  EXPECT_FALSE(PrefixFileExists(earlier + "\\Install.log"));
}

TEST_F(ExistingInstall, FolderThatNoLongerExistsCountsAsNoInstallation) {
  const Product p = MakeProduct("1.0");
  const std::string gone = ScratchFolder() + "\\Removed meanwhile";
  RegisterEarlier(p.name, {{"InstallLocation", gone}, {"DisplayVersion", "0.9"}});
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());

  const DriverRun run = Drive(installer, {"/a"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const std::string log = Header(p.install_dir);
  EXPECT_NE(log.find("Install type: New\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Install location: " + p.install_dir + "\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("Overwriting version:"), std::string::npos) << log;
  EXPECT_FALSE(PrefixFileExists(gone));
}

TEST_F(ExistingInstall, OldVersionWarningBelowItsLimit) {
  Product p = MakeProduct("2.0", kBase | kWarnOldVersion | kNoEarlierInstallQuestion);
  p.settings.old_version_warning_limit = "1.5";
  const std::string earlier = ScratchFolder();
  RegisterEarlier(p.name, {{"InstallLocation", earlier}, {"DisplayVersion", "1.0"}});
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());

  const DriverRun declined = Drive(installer, {}, {"No"});
  ASSERT_TRUE(declined.ok) << declined.error << declined.output;
  EXPECT_EQ(declined.exit_code, 12) << declined.output;
  ASSERT_EQ(declined.windows.size(), 1u) << declined.output;  // no cancellation box after it
  EXPECT_EQ(declined.windows[0].Text(), "Replace the old " + p.name + "?");
  EXPECT_EQ(declined.windows[0].title, "Careful");
  EXPECT_FALSE(PrefixFileExists(earlier + "\\Install.log"));

  // At the limit there is nothing to warn about.
  RegisterEarlier(p.name, {{"DisplayVersion", "1.5"}});
  const DriverRun at_limit = Drive(installer, {});
  ASSERT_TRUE(at_limit.ok) << at_limit.error << at_limit.output;
  EXPECT_EQ(at_limit.exit_code, 0) << at_limit.output;
  EXPECT_NE(Header(earlier).find("Install type: Upgrade\r\n"), std::string::npos) << Header(earlier);
}

// Without "InstallLocation" the folder comes from the product's own registry
// value, which may name a file in it.
TEST_F(ExistingInstall, EmptyInstallLocationTakesTheFolderFromTheRegistryPath) {
  Product p = MakeProduct("1.0");
  const std::string earlier = ScratchFolder();
  ASSERT_TRUE(WritePrefixFile(earlier + "\\app.exe", "x"));
  const std::string key = "HKCU\\Software\\" + UniqueName("Maker");
  ASSERT_TRUE(RegAddString(key, "Exe", earlier + "\\app.exe", RegView::k64));
  p.settings.folder_registry_path = Widen(key + "\\Exe");
  RegisterEarlier(p.name, {{"DisplayVersion", "0.9"}});
  const DriverRun run = Drive(Build(p), {"/a"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const std::string log = Header(earlier);
  EXPECT_NE(log.find("Install type: Upgrade\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Install location: " + earlier + "\r\n"), std::string::npos) << log;
}

TEST_F(ExistingInstall, NoDowngradeBelowRefusesAnOlderVersionWithExit11) {
  const Product p = MakeProduct("4.9");
  const std::string earlier = ScratchFolder();
  RegisterEarlier(p.name, {{"InstallLocation", earlier}, {"DisplayVersion", "5.0"}, {"NoDowngradeBelow", " 5.0 "}});
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());

  // Not automatic: the refusal is shown with the limit.
  const DriverRun run = Drive(installer, {});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 11) << run.output;
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  EXPECT_EQ(run.windows[0].Text(), "Nothing below 5.0.");
  EXPECT_EQ(run.windows[0].title, "Setup error");
  EXPECT_FALSE(PrefixFileExists(earlier + "\\Install.log"));

  // Automatic: the same end without a box.
  const DriverRun quiet = Drive(installer, {"/a"});
  ASSERT_TRUE(quiet.ok) << quiet.error << quiet.output;
  EXPECT_EQ(quiet.exit_code, 11);
  EXPECT_TRUE(quiet.windows.empty()) << quiet.output;
}

// This host runs only a 64-bit prefix, so the refusal is seen from the other
// side: a product that needs a 32-bit system. (The 64-bit product on a 32-bit
// system is the same rule, covered by the unit tests of BitnessFits.)
TEST_F(ExistingInstall, ProductForThe32BitSystemEndsWith5OnA64BitPrefix) {
  Product p = MakeProduct("1.0");
  p.settings.bitness = 2;
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());

  const DriverRun run = Drive(installer, {});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 5) << run.output;
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  EXPECT_EQ(run.windows[0].Text(), "Needs 32-bit Windows.");

  // Automatic: no message, even with errors shown in automatic mode.
  p.settings.product_flags |= kErrorsInAutomaticMode;
  const DriverRun quiet = Drive(Build(p), {"/a"});
  ASSERT_TRUE(quiet.ok) << quiet.error << quiet.output;
  EXPECT_EQ(quiet.exit_code, 5);
  EXPECT_TRUE(quiet.windows.empty()) << quiet.output;
}

TEST_F(ExistingInstall, ExcludedSystemEndsWith5AndNamesTheSystem) {
  Product p = MakeProduct("1.0");
  p.settings.excluded_systems = 0xFFFFFFFF;
  p.settings.product_flags |= kErrorsInAutomaticMode;
  const DriverRun run = Drive(Build(p), {"/a"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 5) << run.output;
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  const std::string text = run.windows[0].Text();
  // The name without service pack and edition: "Not on WINE <version> reporting as Windows ...".
  EXPECT_EQ(text.rfind("Not on ", 0), 0u) << text;
  EXPECT_NE(text.find("Windows "), std::string::npos) << text;
  EXPECT_EQ(text.back(), '.') << text;
}

TEST_F(ExistingInstall, MasterProductMissingOrTooOldEndsWith7) {
  const std::string master = UniqueName("Master");
  Product p = MakeProduct("1.0", kBase | kMasterProduct);
  p.settings.master_product_name = Widen(master);
  p.settings.master_display_name = u"The Master";
  p.settings.master_min_version = u"2.0";
  p.settings.product_flags |= kErrorsInAutomaticMode;
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());

  DriverRun run = Drive(installer, {"/a"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 7) << run.output;
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  EXPECT_EQ(run.windows[0].Text(), "This installation requires The Master, which is not installed.");

  const std::string master_dir = ScratchFolder();
  RegisterEarlier(master, {{"UninstallString", "x.exe"}, {"DisplayVersion", "1.5"}, {"InstallLocation", master_dir}});
  run = Drive(installer, {"/a"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 7) << run.output;
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  EXPECT_EQ(run.windows[0].Text(), "This installation requires The Master version 2.0 or later.");

  // "<master>" installs into the master's folder once it is recent enough.
  RegisterEarlier(master, {{"DisplayVersion", "2.0"}});
  p.settings.install_path = u"<master>";
  run = Drive(Build(p), {"/a"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(Header(master_dir).find("Install location: " + master_dir + "\r\n"), std::string::npos);
}

TEST_F(ExistingInstall, FolderFromTheRegistry) {
  Product p = MakeProduct("1.0");
  const std::string key = "HKCU\\Software\\" + UniqueName("Maker");
  p.settings.install_path = Widen(key + "\\Path");
  const std::string installer = Build(p);
  ASSERT_FALSE(installer.empty());

  DriverRun run = Drive(installer, {});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 7) << run.output;
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  EXPECT_EQ(run.windows[0].Text(), "Failed to obtain installation path from \"" + key + "\\Path\"");

  const std::string missing = ScratchFolder() + "\\Not there";
  ASSERT_TRUE(RegAddString(key, "Path", missing, RegView::k64));
  run = Drive(installer, {});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 7) << run.output;
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  EXPECT_EQ(run.windows[0].Text(),
            "Installation path \"" + missing + "\" obtained from \"" + key + "\\Path\" does not exist.");

  const std::string there = ScratchFolder();
  ASSERT_TRUE(RegAddString(key, "Path", there + "\\", RegView::k64));
  run = Drive(installer, {"/a", "/d:C:\\ignored"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(Header(there).find("Install location: " + there + "\r\n"), std::string::npos) << Header(there);
}

// ---- uninstall first -------------------------------------------------------------

// The earlier version's uninstaller is ksrecord, which writes the command
// line it was started with next to itself.
struct UninstallFirst {
  Product product;
  std::string earlier;
  std::string uninstaller;  // C:\ path of the stand-in
  std::string uninstall_string;
  std::string installer;
};

UninstallFirst PrepareUninstallFirst(const std::string& new_version, const std::string& old_version,
                                     const std::string& limit) {
  UninstallFirst u;
  u.product = MakeProduct(new_version, kBase | kUninstallEarlierFirst);
  u.product.settings.uninstall_first_limit = Widen(limit);
  u.earlier = ScratchFolder() + "\\Old";
  u.uninstaller = CopyIntoPrefix(BuildProgramLinuxPath("ksrecord.exe"), u.earlier, "uninst.exe");
  u.uninstall_string = "\"" + u.uninstaller + "\" /u:\"" + u.product.name + "\"";
  RegisterEarlier(u.product.name, {{"InstallLocation", u.earlier},
                                   {"DisplayVersion", old_version},
                                   {"UninstallString", u.uninstall_string}});
  u.installer = Build(u.product);
  return u;
}

std::string Backquoted(std::string text) {
  for (char& c : text) {
    if (c == '"') c = '`';
  }
  return text;
}

struct HandOverCase {
  const char* name;
  const char* options;                // the installer's own options
  std::vector<std::string> presses;  // answers to the boxes
  int exit_code;
  bool started;
  const char* suffix;  // after the closing quote of "/r:"
};

class HandOver : public WineTestWithParam<HandOverCase> {};

TEST_P(HandOver, EarlierUninstallerStartsWithTheExactArguments) {
  const HandOverCase& c = GetParam();
  const UninstallFirst u = PrepareUninstallFirst("2.0", "1.0", "");
  ASSERT_FALSE(u.installer.empty());
  ASSERT_FALSE(u.uninstaller.empty());

  // The own command line carries quotes, which travel as backquotes.
  const std::string own = "\"" + u.installer + "\" " + c.options + " /d:\"C:\\Some Folder\"";
  DriverOptions options;
  options.timeout_seconds = 90;
  options.presses = c.presses;
  options.wait_for_descendants = true;
  const DriverRun run = RunCommandLine(own, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, c.exit_code) << run.output;

  // Everything the installer started has ended, so the stand-in's record is
  // there exactly when the installer started it.
  const std::optional<std::string> recorded = ReadPrefixFile(u.uninstaller + ".cmdline");
  if (!c.started) {
    EXPECT_FALSE(recorded) << "the earlier uninstaller was started: " << *recorded;
    return;
  }
  ASSERT_TRUE(recorded) << "the earlier uninstaller was not started";
  EXPECT_EQ(*recorded, u.uninstall_string + " /r:\"" + Backquoted(own) + "\"" + c.suffix);
  EXPECT_FALSE(PrefixFileExists(u.earlier + "\\Install.log"));
}

INSTANTIATE_TEST_SUITE_P(
    ExistingInstall, HandOver,
    ::testing::Values(
        // Silent: no question, and the uninstaller is told to be silent too.
        HandOverCase{"Silent", "/silent", {}, 10, true, " /silent"},
        // Automatic mode ends here: the question is asked.
        HandOverCase{"AutomaticAsks", "/a", {"Remove"}, 10, true, ""},
        HandOverCase{"Declined", "/a", {"Stop", "OK"}, 9, false, ""}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ExistingInstall, UninstallFirstAskedWithTheProductText) {
  const UninstallFirst u = PrepareUninstallFirst("2.0", "1.0", "");
  ASSERT_FALSE(u.installer.empty());
  const DriverRun run = Drive(u.installer, {}, {"Stop", "OK"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 9) << run.output;
  ASSERT_EQ(run.windows.size(), 2u) << run.output;
  EXPECT_EQ(run.windows[0].Text(), "Remove the old " + u.product.name + " first?");
  EXPECT_EQ(run.windows[0].title, "Setup error");
  EXPECT_EQ(run.windows[0].buttons, (std::vector<std::string>{"Remove", "Stop"}));
}

TEST_F(ExistingInstall, EarlierVersionAtTheUninstallFirstLimitIsUpgradedInPlace) {
  const UninstallFirst u = PrepareUninstallFirst("2.0", "1.5", "1.5");
  ASSERT_FALSE(u.installer.empty());
  const DriverRun run = DriveToTheEnd(u.installer, {"/a"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(Header(u.earlier).find("Install type: Upgrade\r\n"), std::string::npos) << Header(u.earlier);
  EXPECT_FALSE(PrefixFileExists(u.uninstaller + ".cmdline")) << "the earlier uninstaller was started";
}

TEST_F(ExistingInstall, UninstallFirstWithoutACommandEndsWith9) {
  Product p = MakeProduct("2.0", kBase | kUninstallEarlierFirst | kErrorsInAutomaticMode);
  const std::string earlier = ScratchFolder();
  RegisterEarlier(p.name, {{"InstallLocation", earlier}, {"DisplayVersion", "1.0"}});
  const DriverRun run = Drive(Build(p), {"/a"});
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 9) << run.output;
  ASSERT_EQ(run.windows.size(), 1u) << run.output;
  EXPECT_EQ(run.windows[0].Text(), "Remove the old " + p.name + " first?");
}

// ---- single instance ---------------------------------------------------------------

// True when some window of the prefix shows `text` among its static texts.
bool SomeWindowShows(const std::string& text) {
  for (const ShownWindow& w : VisibleWindows()) {
    if (w.Text().find(text) != std::string::npos) return true;
  }
  return false;
}

// The first installer takes the lock and then waits in an error box that
// nobody answers (it runs without the driver) until it is killed. The box
// comes after the lock, so once it is on the screen the lock is taken; the
// box then holds the installer as long as the test needs.
TEST_F(ExistingInstall, SecondInstallerAtOnceEndsWith8) {
  Product first = MakeProduct("1.0", kBase | kSingleInstance);
  // A registry folder that is not there: an error box after the lock.
  const std::string nowhere = "HKCU\\Software\\" + UniqueName("Nowhere") + "\\Path";
  first.settings.install_path = Widen(nowhere);
  const std::string first_installer = Build(first);
  const Product second = MakeProduct("1.0", kBase | kSingleInstance);
  const std::string second_installer = Build(second);
  ASSERT_FALSE(first_installer.empty());
  ASSERT_FALSE(second_installer.empty());

  constexpr int kFirstLifetime = 25;
  WineResult first_result;
  std::atomic<bool> first_done{false};
  std::thread runner([&] {
    first_result = RunWine({first_installer}, kFirstLifetime);
    first_done = true;
  });
  const std::string box_text = "Failed to obtain installation path from \"" + nowhere + "\"";
  bool box_shown = false;
  WaitUntil([&] { return first_done || (box_shown = SomeWindowShows(box_text)); },
            std::chrono::seconds(kFirstLifetime - 5));
  const DriverRun run = box_shown ? Drive(second_installer, {"/silent"}) : DriverRun{};
  const bool first_still_running = !first_done;
  runner.join();

  ASSERT_TRUE(box_shown) << "the first installer never showed its box (status " << first_result.status << ")";
  ASSERT_TRUE(first_still_running) << "the first installer ended early: " << first_result.status;
  EXPECT_TRUE(first_result.timed_out) << "the first installer should wait in its box until killed";
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 8) << run.output;
  EXPECT_TRUE(run.windows.empty()) << run.output;
  EXPECT_FALSE(PrefixFileExists(second.install_dir + "\\Install.log"));

  // With the first one gone, the lock is free again.
  const DriverRun again = Drive(second_installer, {"/silent"});
  ASSERT_TRUE(again.ok) << again.error << again.output;
  EXPECT_EQ(again.exit_code, 0) << again.output;
}

}  // namespace
}  // namespace ks::e2e
