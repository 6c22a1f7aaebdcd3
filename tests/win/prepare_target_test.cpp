#include "engine/win/prepare_target.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/path_variables.h"
#include "engine/prepare_rules.h"
#include "engine/win/restore_point.h"
#include "engine/win/path_variables.h"
#include "records/install_log.h"
#include "memory_sink.h"
#include "scratch_folder.h"

namespace ks {
namespace {

using test::MemorySink;
using test::ScratchFolder;

class FakeRestore : public RestorePointSystem {
 public:
  BOOL result = TRUE;
  DWORD status = 0;
  WString description;
  std::int32_t InitializeSecurity() override { return 0; }
  RestorePointLoad Load() override { return RestorePointLoad::kReady; }
  BOOL SetRestorePoint(RESTOREPOINTINFOW* info, STATEMGRSTATUS* out) override {
    if (info->dwEventType == 100) description = FromW(info->szDescription);
    out->nStatus = status;
    return result;
  }
};

bool IsFolder(const WString& path) {
  const DWORD a = GetFileAttributesW(W(path));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int EntriesIn(const WString& folder) {
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(W(folder + u"\\*"), &fd);
  int n = 0;
  if (find == INVALID_HANDLE_VALUE) return -1;
  do {
    const WString name = FromW(fd.cFileName);
    if (name != u"." && name != u"..") ++n;
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  return n;
}

class PrepareTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log.set_sink(&sink);
    CreateDirectoryW(W(install), nullptr);
    settings.product_name = u"Product";
    settings.display_version = u"2.0";
    settings.product_flags = product_flag::kRegisterUninstaller;
    settings.shared_path = folder / u"shared\\Maker";
    batches.vars = &vars;
    batches.log = &log;
    batches.texts = &texts;
    input.log = &log;
    input.texts = &texts;
    input.restore_point = &restore_point;
    input.batches = &batches;
    input.set_status = [this](const WString&) { ++statuses; };
    input.set_progress = [this](int p) { progress.push_back(p); };
    admin_warning = ProcessLacksAdminRights() ? "Warning: the installer does not have admin rights.\r\n\r\n" : "";
  }
  void TearDown() override { restore_point.Commit(); }
  // Prepares `folder_chosen` as the installation folder.
  void Prepare(const WString& folder_chosen) {
    choices = InstallChoices{};
    choices.install_dir = folder_chosen;
    PrepareTarget(input, settings, archive_flags, choices);
  }
  void Prepare() { Prepare(install + u"\\"); }

  ScratchFolder folder{u"ks_prepare_"};
  WString install = folder / u"App";
  MemorySink sink;
  InstallLog log;
  LocalizedTexts texts;
  FakeRestore fake;
  RestorePoint restore_point{fake};
  InstallSettings settings;
  InstallChoices choices;
  const PathVariables vars{[this] { return InstallationInputs(settings, WString(), EarlierInstallation{}, choices); }};
  BatchContext batches;
  PreparationInput input;
  std::uint32_t archive_flags = 0;
  int statuses = 0;
  std::vector<int> progress;
  NString admin_warning;
};

TEST_F(PrepareTargetTest, EmptyUninstallSubFolderMeansTheInstallationFolder) {
  Prepare();
  EXPECT_EQ(choices.install_dir, install);
  EXPECT_EQ(choices.uninstall_dir, install);
  EXPECT_EQ(EntriesIn(install), 0);
  EXPECT_EQ(sink.bytes, admin_warning);
  EXPECT_EQ(statuses, 2);
  EXPECT_EQ(progress, (std::vector<int>{1, 2}));
  // The path variables see the prepared folders at once.
  EXPECT_EQ(vars.Expanded(u"%UninstallDir%|%InstallDir%|%Portable%"), install + u"|" + install + u"|0");
}

TEST_F(PrepareTargetTest, UninstallAndSharedFoldersAreCreated) {
  settings.uninstall_subdir = u"Data\\Logs";
  Prepare();
  EXPECT_EQ(choices.uninstall_dir, install + u"\\Data\\Logs");
  EXPECT_TRUE(IsFolder(choices.uninstall_dir));
  EXPECT_EQ(choices.shared_dir, folder / u"shared\\Maker");
  EXPECT_TRUE(IsFolder(choices.shared_dir));
  EXPECT_EQ(vars.Expanded(u"%SharedDir%"), choices.shared_dir);
  EXPECT_EQ(vars.Expanded(u"%UninstallDir%"), choices.uninstall_dir);
  EXPECT_EQ(sink.bytes, admin_warning);
}

TEST_F(PrepareTargetTest, WithoutUninstallerThereIsNoSharedFolder) {
  settings.product_flags = 0;
  Prepare();
  EXPECT_EQ(choices.shared_dir, u"");
  EXPECT_FALSE(IsFolder(folder / u"shared"));
}

TEST_F(PrepareTargetTest, FolderThatCannotBeCreatedIsLogged) {
  settings.uninstall_subdir = u"Blocked\\Logs";
  HANDLE file = CreateFileW(W(install + u"\\Blocked"), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  Prepare();
  const NString prefix = admin_warning + "Failed to create uninstall data folder \"" +
                         WideToUtf8(install + u"\\Blocked\\Logs") + "\": ";
  EXPECT_EQ(sink.bytes.compare(0, prefix.size(), prefix), 0) << sink.bytes;
  EXPECT_EQ(sink.bytes.substr(sink.bytes.size() - 4), "\r\n\r\n");
}

TEST_F(PrepareTargetTest, RestorePointOutcomeIsLoggedAndAFailureClearsTheFlag) {
  archive_flags = kArchiveRestorePoint | 0x100;
  Prepare();
  EXPECT_EQ(sink.bytes, admin_warning + "Creating restore point...OK\r\n");
  EXPECT_EQ(fake.description, u"Product 2.0");
  EXPECT_EQ(archive_flags, kArchiveRestorePoint | 0x100);
  EXPECT_TRUE(restore_point.pending());
  EXPECT_EQ(statuses, 3);

  restore_point.Commit();
  sink.bytes.clear();
  fake.result = FALSE;
  fake.status = 1058;
  Prepare();
  EXPECT_EQ(sink.bytes, admin_warning + "Creating restore point...FAILED\r\nSystem Restore is turned off.\r\n\r\n");
  EXPECT_EQ(archive_flags, 0x100u);
  EXPECT_FALSE(restore_point.pending());
}

TEST_F(PrepareTargetTest, GrantsRightsOnTheFoldersWhenAsked) {
  settings.product_flags |= product_flag::kGrantFolderRights | product_flag::kGrantSharedFolderRights;
  Prepare();
  const NString expected = admin_warning + "Granting rights to directory \"" + WideToUtf8(install) + "\"...OK\r\n" +
                           "Granting rights to directory \"" + WideToUtf8(folder / u"shared\\Maker") + "\"...OK\r\n";
  EXPECT_EQ(sink.bytes, expected);
}

}  // namespace
}  // namespace ks
