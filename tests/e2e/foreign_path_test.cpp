// Foreign and long paths.
//
// An installation folder whose names, and the product's file names, are
// Greek, Chinese and Japanese and hold characters outside the Basic
// Multilingual Plane: the product installs, Install.log names every file in
// UTF-8, Uninstall.DAT holds them as marked text, and the uninstaller removes
// them and then itself with its folders, leaving the prefix as it was.
//
// An installation folder more than 260 characters deep: the product installs
// and logs there, and its registered uninstall command (the way the list of
// installed programs starts it: a command line, which takes no program path
// of MAX_PATH characters or more) removes it, then the uninstaller removes
// itself, leaving the prefix as it was.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/install_settings.h"
#include "core/product_flags.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/payload.h"
#include "harness/wait.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

using namespace std::chrono_literals;

constexpr ProductFlags kRegisterUninstaller = FlagLow(0x4);
constexpr ProductFlags kAlwaysWriteLog = FlagLow(0x40);
constexpr ProductFlags kDetailedLog = FlagLow(0x100000);

// Where the common program files are for either build in either kind of prefix.
const std::vector<std::string> kUninstallersFolders = {
    "C:\\Program Files\\Common Files\\Kestrelon Setup",
    "C:\\Program Files (x86)\\Common Files\\Kestrelon Setup",
};

std::map<std::string, std::map<std::string, std::string>> UninstallersTrees() {
  std::map<std::string, std::map<std::string, std::string>> trees;
  for (const std::string& folder : kUninstallersFolders) trees[folder] = TreeWithContents(folder);
  return trees;
}

// The program path at the front of a registered command ("path" arguments).
std::string QuotedProgram(const std::string& command) {
  if (command.size() < 2 || command[0] != '"') return {};
  const std::size_t close = command.find('"', 1);
  return close == std::string::npos ? std::string() : command.substr(1, close - 1);
}

// Builds the plan's installer and runs it silently; the run ended with 0.
void InstallSilently(const InstallerSpec& plan, const DriverOptions& options) {
  const std::string installer = MakeInstaller(plan);
  ASSERT_FALSE(installer.empty());
  const DriverRun run = RunProgram(installer, {"/silent"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;
}

class ForeignPath : public WineTest {};

TEST_F(ForeignPath, InstallsLogsUninstallsAndRemovesItself) {
  const std::string root = ScratchFolder();
  // The folders above the installation folder exist before; the product's
  // own folder is new.
  const std::string parent = root + "\\Ελληνικά κείμενα 中文目录";
  ASSERT_TRUE(WritePrefixFile(parent + "\\.keep", ""));
  const std::map<std::string, std::string> before = TreeWithContents(root);
  const std::string dir = parent + "\\Προϊόν 产品 🎵";

  const std::vector<PayloadFile> files = {
      {"αρχείο.txt", 0, 0, {2024, 1, 2, 3, 4, 6}, "", "alpha"},
      {"中文目录\\文件名.txt", 0, 0, {2024, 1, 2, 3, 4, 6}, "", "zhong wen"},
      {"日本語\\ファイル 😀.dat", 0, 0, {2024, 1, 2, 3, 4, 6}, "", std::string(70000, 'j')},
      {"𝄞音楽.txt", 0, 0, {2024, 1, 2, 3, 4, 6}, "", "outside the plane"},
      {"plain\\ascii.txt", 0, 0, {2024, 1, 2, 3, 4, 6}, "", "ascii"},
  };
  InstallerSpec plan;
  const std::string product = UniqueName("Foreign");
  plan.settings.product_name = Utf8ToWide(product);
  plan.settings.install_path = Utf8ToWide(dir);
  plan.settings.uninstall_subdir = u"Δεδομένα\\数据";
  plan.settings.product_flags = kRegisterUninstaller | kAlwaysWriteLog | kDetailedLog;
  ASSERT_TRUE(AddPayload(plan, files));
  DriverOptions options;
  options.timeout_seconds = 120;
  ASSERT_NO_FATAL_FAILURE(InstallSilently(plan, options));

  const std::string data_dir = dir + "\\Δεδομένα\\数据";
  const std::string log = ReadPrefixFile(data_dir + "\\Install.log").value_or("");
  ASSERT_EQ(log.rfind("\xEF\xBB\xBFInstallation log for: " + product + "\r\n", 0), 0u) << log;
  EXPECT_NE(log.find("\r\nInstall location: " + dir + "\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("*** FAILURE SUMMARY ***"), std::string::npos) << log;
  const std::string data = ReadPrefixFile(data_dir + "\\Uninstall.DAT").value_or("");
  for (const PayloadFile& f : files) {
    const std::string path = dir + "\\" + f.name;
    EXPECT_EQ(ReadPrefixFile(path), f.data) << f.name;
    const std::string file_name = f.name.substr(f.name.rfind('\\') + 1);
    EXPECT_NE(log.find("\r\n" + file_name + " >>> " + path + "\r\n"), std::string::npos) << f.name << "\n" << log;
    EXPECT_NE(data.find("|" + path + "\r\n"), std::string::npos) << f.name << "\n" << data;
  }
  EXPECT_NE(log.find("\r\nUninstaller >>> " + data_dir + "\\uninstall.exe\r\n"), std::string::npos) << log;

  const DriverRun removed = RunProgram(data_dir + "\\uninstall.exe", {"/u:" + product, "/silent"}, options);
  ASSERT_TRUE(removed.ok) << removed.error << removed.output;
  EXPECT_EQ(removed.exit_code, 0) << removed.output;
  // The self-deletion script removes the uninstaller, its two folders and
  // the installation folder.
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(dir); }, 60s)) << dir;
  EXPECT_EQ(TreeWithContents(root), before);
  EXPECT_FALSE(RegQuery(kUninstallKey + product, "UninstallString", RegView::k32).has_value());
}

class LongPath : public WineTest {};

TEST_F(LongPath, RegisteredUninstallCommandRemovesTheProductAndItself) {
  const std::string root = ScratchFolder();
  // The folders above the installation folder exist before; the product's
  // own folder is new.
  const std::string parent = root + "\\" + std::string(100, 'a') + "\\" + std::string(100, 'b');
  ASSERT_TRUE(WritePrefixFile(parent + "\\.keep", ""));
  const std::map<std::string, std::string> before = TreeWithContents(root);
  const auto uninstallers_before = UninstallersTrees();
  const std::string dir = parent + "\\" + std::string(100, 'c');
  ASSERT_GT(dir.size(), 300u);
  const std::string data_dir = dir + "\\Data";

  const std::vector<PayloadFile> files = {
      {"top.txt", 0, 0, {2024, 1, 2, 3, 4, 6}, "", "top"},
      {"sub\\deeper.dat", 0, 0, {2024, 1, 2, 3, 4, 6}, "", std::string(70000, 'd')},
  };
  InstallerSpec plan;
  const std::string product = UniqueName("Deep");
  plan.settings.product_name = Utf8ToWide(product);
  plan.settings.install_path = Utf8ToWide(dir);
  plan.settings.uninstall_subdir = u"Data";
  plan.settings.product_flags = kRegisterUninstaller | kAlwaysWriteLog;
  ASSERT_TRUE(AddPayload(plan, files));
  DriverOptions options;
  options.timeout_seconds = 120;
  ASSERT_NO_FATAL_FAILURE(InstallSilently(plan, options));
  for (const PayloadFile& f : files) EXPECT_EQ(ReadPrefixFile(dir + "\\" + f.name), f.data) << f.name;

  // Registered where a command line reaches it, and logged there.
  const std::optional<std::string> quiet = RegQuery(kUninstallKey + product, "QuietUninstallString", RegView::k32);
  ASSERT_TRUE(quiet.has_value());
  const std::string uninstaller = QuotedProgram(*quiet);
  EXPECT_LT(uninstaller.size(), 260u) << *quiet;
  EXPECT_EQ(RegQuery(kUninstallKey + product, "UninstallString", RegView::k32),
            "\"" + uninstaller + "\" /u:\"" + product + "\"");
  EXPECT_TRUE(PrefixFileExists(uninstaller)) << uninstaller;
  const std::string log = ReadPrefixFile(data_dir + "\\Install.log").value_or("");
  EXPECT_NE(log.find("\r\nUninstaller >>> " + uninstaller + "\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("*** FAILURE SUMMARY ***"), std::string::npos) << log;
  EXPECT_TRUE(PrefixFileExists(data_dir + "\\Uninstall.DAT"));

  const DriverRun removed = RunCommandLine(*quiet, options);
  ASSERT_TRUE(removed.ok) << removed.error << removed.output;
  EXPECT_EQ(removed.exit_code, 0) << removed.output;
  EXPECT_TRUE(WaitUntil([&] { return !PrefixFileExists(dir); }, 60s)) << dir;
  EXPECT_TRUE(WaitUntil([&] { return UninstallersTrees() == uninstallers_before; }, 60s)) << uninstaller;
  EXPECT_EQ(TreeWithContents(root), before);
  EXPECT_FALSE(RegQuery(kUninstallKey + product, "UninstallString", RegView::k32).has_value());
  EXPECT_FALSE(RegQuery(kUninstallKey + product, "DisplayName", RegView::k32).has_value());
}

}  // namespace
}  // namespace ks::e2e
