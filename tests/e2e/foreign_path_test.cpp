// Foreign paths: an installation folder whose names, and the product's file
// names, are Greek, Chinese and Japanese and hold characters outside the
// Basic Multilingual Plane. The product installs, Install.log names every
// file in UTF-8, Uninstall.DAT holds them as marked text, and the
// uninstaller removes them and then itself with its folders, leaving the
// prefix as it was.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
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

const std::string kUninstallKey = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr ProductFlags kRegisterUninstaller = FlagLow(0x4);
constexpr ProductFlags kAlwaysWriteLog = FlagLow(0x40);
constexpr ProductFlags kDetailedLog = FlagLow(0x100000);

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
  const std::string installer = MakeInstaller(plan);
  ASSERT_FALSE(installer.empty());

  DriverOptions options;
  options.timeout_seconds = 120;
  const DriverRun run = RunProgram(installer, {"/silent"}, options);
  ASSERT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0) << run.output;

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

}  // namespace
}  // namespace ks::e2e
