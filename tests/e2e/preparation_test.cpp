// The preparation of the target by a real installer under Wine (the admin
// warning, the restore point, the uninstall data folder, the shared folder)
// and the search-path edit on the prefix's machine environment.

#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/install_settings.h"
#include "engine/file_data_block.h"
#include "engine/file_records.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/wine.h"

namespace ks::e2e {
namespace {

constexpr ProductFlags kRegisterUninstaller = 0x4;
constexpr ProductFlags kAlwaysWriteLog = 0x40;
constexpr std::uint32_t kRestorePointFlag = 0x2;

bool IsPrefixFolder(const std::string& windows_path) {
  struct stat st {};
  return stat(LinuxPath(windows_path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The names of the folders inside a prefix folder, one per line.
std::string SubFolders(const std::string& windows_path) {
  std::string names;
  const std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(LinuxPath(windows_path).c_str()), closedir);
  if (!d) return "<cannot list>";
  while (const dirent* e = readdir(d.get())) {
    const std::string name = e->d_name;
    if (name != "." && name != ".." && IsPrefixFolder(windows_path + "\\" + name)) names += name + "\n";
  }
  return names;
}

InstallerSpec PlanFor(const std::string& install_dir) {
  InstallerSpec plan;
  // Each test its own product: an installed one would hand its folder on.
  plan.settings.product_name = Utf8ToWide(UniqueName("Prepared"));
  plan.settings.display_version = u"3.1";
  plan.settings.install_path = Utf8ToWide(install_dir);
  plan.settings.product_flags = kAlwaysWriteLog | kRegisterUninstaller;
  return plan;
}

std::string Install(const InstallerSpec& plan) {
  const std::string installer = MakeInstaller(plan);
  if (installer.empty()) return {};
  const DriverRun run = RunProgram(installer, {"/silent"});
  EXPECT_TRUE(run.ok) << run.error << run.output;
  EXPECT_EQ(run.exit_code, 0);
  return installer;
}

class Preparation : public WineTest {};

// Wine's token is an administrator's, elevated: no warning. Wine's srclient
// exports SRSetRestorePointW but fails every request with status 0.
TEST_F(Preparation, RestorePointFailureOfWineIsLoggedWithoutAdminWarning) {
  const std::string dir = ScratchFolder() + "\\App";
  InstallerSpec plan = PlanFor(dir);
  plan.archive.flags |= kRestorePointFlag;
  ASSERT_FALSE(Install(plan).empty());
  const std::optional<std::string> log = ReadPrefixFile(dir + "\\Install.log");
  ASSERT_TRUE(log);
  EXPECT_EQ(log->find("Warning: the installer does not have admin rights."), std::string::npos) << *log;
  EXPECT_NE(log->find("\r\n\r\nCreating restore point...FAILED\r\nFailed, code 0: Success.\r\n\r\n"),
            std::string::npos)
      << *log;
}

TEST_F(Preparation, NoRestorePointWithoutTheArchiveFlag) {
  const std::string dir = ScratchFolder() + "\\App";
  ASSERT_FALSE(Install(PlanFor(dir)).empty());
  const std::optional<std::string> log = ReadPrefixFile(dir + "\\Install.log");
  ASSERT_TRUE(log);
  EXPECT_EQ(log->find("restore point"), std::string::npos) << *log;
}

// Without an uninstall sub-folder the log and the uninstall data lie in the
// installation folder, and no other folder is made there.
TEST_F(Preparation, EmptyUninstallSubFolderUsesTheInstallationFolder) {
  const std::string dir = ScratchFolder() + "\\App";
  ASSERT_FALSE(Install(PlanFor(dir)).empty());
  EXPECT_TRUE(PrefixFileExists(dir + "\\Install.log"));
  EXPECT_TRUE(PrefixFileExists(dir + "\\Uninstall.DAT"));
  EXPECT_EQ(SubFolders(dir), "");
}

TEST_F(Preparation, UninstallSubFolderAndSharedFolderAreCreated) {
  const std::string dir = ScratchFolder() + "\\App";
  const std::string shared = UniqueName("Shared");
  InstallerSpec plan = PlanFor(dir);
  plan.settings.uninstall_subdir = u"Data\\Setup";
  plan.settings.shared_folder_base = 1;  // common application data
  plan.settings.shared_path = Utf8ToWide(shared + "\\Maker");
  // One file for the shared folder: the finishing steps remove it when empty.
  FileRecord record;
  record.name = "common.dll";
  record.kind = 1;
  record.date.year = 2024, record.date.month = 1, record.date.day = 2;
  ASSERT_TRUE(BuildFileDataBlock({EncodeFileRecord(record, Bytes{'s'})}, 4096, ChunkCoding{}, &plan.archive.file_data));
  plan.archive.per_file_values = {1};
  ASSERT_FALSE(Install(plan).empty());
  EXPECT_TRUE(PrefixFileExists(dir + "\\Data\\Setup\\Install.log"));
  EXPECT_TRUE(PrefixFileExists(dir + "\\Data\\Setup\\Uninstall.DAT"));
  EXPECT_FALSE(PrefixFileExists(dir + "\\Install.log"));
  EXPECT_EQ(ReadPrefixFile("C:\\ProgramData\\" + shared + "\\Maker\\common.dll"), "s");
  RunWine({"cmd", "/c", "rmdir", "/s", "/q", "C:\\ProgramData\\" + shared});
}

// ---- the search path -----------------------------------------------------------

const char* const kEnvironment = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The search path is one value for the whole prefix, so these run alone.
class SerialSearchPath : public WineTest {
 protected:
  void SetUp() override {
    WineTest::SetUp();
    if (HasFatalFailure()) return;
    saved_ = RegQuery(kEnvironment, "Path", RegView::k64);
    ASSERT_TRUE(saved_);
    tool_ = CopyIntoPrefix(BuildProgramLinuxPath("kssearchpath.exe"), ScratchFolder());
    ASSERT_FALSE(tool_.empty());
  }
  void TearDown() override {
    // Back to the prefix's own value and type.
    if (saved_) RunWine({"reg", "add", kEnvironment, "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", *saved_, "/f"});
  }
  std::string Edit(const std::string& mode, const std::string& dir, const std::string& sub) {
    return RunWine({tool_, mode, dir, sub}).out;
  }
  std::string Path() { return RegQuery(kEnvironment, "Path", RegView::k64).value_or("<missing>"); }

  std::optional<std::string> saved_;
  std::string tool_;
};

TEST_F(SerialSearchPath, AddAlreadyPresentNetworkAndRemove) {
  const std::string dir = ScratchFolder() + "\\App";
  ASSERT_TRUE(WritePrefixFile(dir + "\\bin\\tool.exe", "x"));
  EXPECT_EQ(Edit("add", dir, "bin"), "");
  EXPECT_EQ(Path(), *saved_ + ";" + dir + "\\bin");

  // Present already, in another letter case: unchanged.
  std::string upper = dir + "\\BIN";
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(RegAddString(kEnvironment, "Path", *saved_ + ";" + upper, RegView::k64));
  EXPECT_EQ(Edit("add", dir, "bin"), "");
  EXPECT_EQ(Path(), *saved_ + ";" + upper);

  // Two leading backslashes: the folder goes in as it is written. Wine has
  // no network shares; the "\\?\" form of a local folder begins the same way.
  const std::string network = "\\\\?\\" + dir + "\\bin";
  EXPECT_EQ(Edit("add", dir, network), "");
  EXPECT_EQ(Path(), *saved_ + ";" + upper + ";" + network);
  EXPECT_EQ(Edit("add", dir, "\\\\server\\tools"),
            "Couldn't add \"\\\\server\\tools\" to the PATH because it does not exist.\r\n");

  EXPECT_EQ(Edit("remove", dir, "bin"), "");
  EXPECT_EQ(Edit("remove", dir, network), "");
  EXPECT_EQ(Path(), *saved_);
}

TEST_F(SerialSearchPath, MissingFolderIsReportedAndNotAdded) {
  const std::string dir = ScratchFolder() + "\\Nowhere";
  EXPECT_EQ(Edit("add", dir, ""), "Couldn't add \"" + dir + "\" to the PATH because it does not exist.\r\n");
  EXPECT_EQ(Path(), *saved_);
}

}  // namespace
}  // namespace ks::e2e
