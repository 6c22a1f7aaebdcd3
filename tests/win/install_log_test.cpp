#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "core/install_settings.h"
#include "core/win/report_corrupt.h"
#include "integration/win/install_log_file.h"
#include "lib/win/wide.h"
#include "uninstall/win/uninstall_data_file.h"

namespace ks {
namespace {

WString TempPath() {
  WString temp(MAX_PATH + 1, u'\0');
  temp.resize(GetTempPathW(MAX_PATH + 1, W(temp)));
  return temp;
}

// A fresh folder in %TEMP% per test with the files the tests put there.
class LogFolder {
 public:
  LogFolder() {
    path_ = TempPath() + u"ks_install_log_" + Widen(std::to_string(GetCurrentProcessId())) + u"_" +
            Widen(std::to_string(++counter_));
    CreateDirectoryW(W(path_), nullptr);
  }
  ~LogFolder() {
    for (const char16_t* name : {u"\\Install.log", u"\\Uninstall.DAT"}) DeleteFileW(W(path_ + name));
    RemoveDirectoryW(W(path_));
  }
  const WString& path() const { return path_; }

 private:
  WString path_;
  static inline int counter_ = 0;
};

NString ReadFileBytes(const WString& path) {
  HANDLE h = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  NString bytes(GetFileSize(h, nullptr), '\0');
  DWORD got = 0;
  ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(h);
  return bytes;
}

void WriteFileBytes(const WString& path, NStringView bytes) {
  HANDLE h = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD put = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  CloseHandle(h);
}

// The step log's temporary files ("ksl*.tmp") in %TEMP%.
int StepLogFiles() {
  WIN32_FIND_DATAW fd;
  const WString pattern = TempPath() + u"ksl*.tmp";
  HANDLE find = FindFirstFileW(W(pattern), &fd);
  int count = 0;
  if (find != INVALID_HANDLE_VALUE) {
    do ++count;
    while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  return count;
}

std::size_t Count(const NString& text, const NString& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != NString::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class InstallLogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallLogContext& c = ProcessInstallLogContext();
    c = InstallLogContext{};
    c.install_dir = folder.path();
    c.product_name = u"Caf\u00E9 App";
    c.product_version = u"2.0";
    c.flags = product_flag::kRegisterUninstaller;
    c.install_type = 1;
  }
  // One installation: a step line, then the end with the given failures.
  void Install(const char* step, const WString& failures) {
    ASSERT_TRUE(OpenStepLog());
    LogText(step);
    FinishInstallLog(failures, false);
  }
  WString LogPath() const { return folder.path() + u"\\Install.log"; }
  LogFolder folder;
};

TEST_F(InstallLogFileTest, FailedInstallationWritesOneSectionAndDeletesTheStepLog) {
  const int before = StepLogFiles();
  ASSERT_TRUE(OpenStepLog());
  EXPECT_EQ(StepLogFiles(), before + 1);
  LogNarrow("Copying caf\xE9.dll...");
  LogWide(u"OK\r\n");
  FinishInstallLog(u"ERROR: x\r\n", false);
  EXPECT_EQ(StepLogFiles(), before);

  const NString log = ReadFileBytes(LogPath());
  const NString head = "\xEF\xBB\xBFInstallation log for: Caf\xC3\xA9 App\r\nInstall date: ";
  EXPECT_EQ(log.substr(0, head.size()), head);
  EXPECT_NE(log.find("\r\nInstall type: Reinstall\r\nInstall location: " + WideToUtf8(folder.path()) +
                     "\r\nInstaller version: 46.0\r\nProduct version: 2.0\r\nOperating system: "),
            NString::npos);
  EXPECT_EQ(log.find("Installer built: "), NString::npos);
  const NString tail = "\r\n\r\nCopying caf\xC3\xA9.dll...OK\r\n\r\n*** FAILURE SUMMARY ***\r\nERROR: x\r\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(InstallLogFileTest, SecondInstallationAppendsBehindTheSeparator) {
  Install("first\r\n", u"E1\r\n");
  Install("second\r\n", u"E2\r\n");
  const NString log = ReadFileBytes(LogPath());
  EXPECT_EQ(Count(log, "\xEF\xBB\xBF"), 1u);
  EXPECT_EQ(log.rfind("\xEF\xBB\xBF"), 0u);
  EXPECT_EQ(Count(log, "Installation log for: "), 2u);
  EXPECT_NE(log.find("E1\r\n\r\n\r\n" + NString(46, '*') + "\r\nInstallation log for: "), NString::npos);
}

TEST_F(InstallLogFileTest, OldCodePage1252LogIsUpgraded) {
  WriteFileBytes(LogPath(), "Caf\xE9 old\r\n");
  Install("new\r\n", u"E\r\n");
  const NString log = ReadFileBytes(LogPath());
  const NString head = "\xEF\xBB\xBF" "Caf\xC3\xA9 old\r\n\r\n\r\n" + NString(46, '*') + "\r\nInstallation log for: ";
  EXPECT_EQ(log.substr(0, head.size()), head);
}

TEST_F(InstallLogFileTest, SuccessWritesOnlyWhenAsked) {
  const int before = StepLogFiles();
  Install("quiet\r\n", u"");
  EXPECT_EQ(ReadFileBytes(LogPath()), "<missing>");
  EXPECT_EQ(StepLogFiles(), before);

  ProcessInstallLogContext().flags |= product_flag::kAlwaysWriteLog;
  Install("kept\r\n", u"");
  const NString log = ReadFileBytes(LogPath());
  EXPECT_NE(log.find("\r\n\r\nkept\r\n\r\n"), NString::npos);  // text 43 is empty without a table
  EXPECT_EQ(log.find("FAILURE SUMMARY"), NString::npos);
}

TEST_F(InstallLogFileTest, HiddenSystemLogIsReleasedAfterWriting) {
  Install("a\r\n", u"E\r\n");
  SetFileAttributesW(W(LogPath()), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  Install("b\r\n", u"E\r\n");
  EXPECT_EQ(Count(ReadFileBytes(LogPath()), "Installation log for: "), 2u);
  EXPECT_EQ(GetFileAttributesW(W(LogPath())) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u);
}

TEST_F(InstallLogFileTest, UnwritableFolderWritesNothing) {
  ProcessInstallLogContext().install_dir = folder.path() + u"\\missing";
  const int before = StepLogFiles();
  Install("a\r\n", u"E\r\n");
  EXPECT_EQ(ReadFileBytes(folder.path() + u"\\missing\\Install.log"), "<missing>");
  EXPECT_EQ(StepLogFiles(), before);
}

TEST_F(InstallLogFileTest, AppendToFinishedLog) {
  const WString sub = u"Un\u00EFnstall";  // outside most system code pages' reach too
  ProcessInstallLogContext().uninstall_subdir = sub;
  CreateDirectoryW(W(folder.path() + u"\\" + sub), nullptr);
  const WString path = folder.path() + u"\\" + sub + u"\\Install.log";
  EXPECT_TRUE(AppendToInstallLog("Launch failed\r\n"));
  EXPECT_EQ(ReadFileBytes(path), "\xEF\xBB\xBFLaunch failed\r\n");
  Install("s\r\n", u"E\r\n");
  EXPECT_TRUE(AppendToInstallLog("again\r\n"));
  const NString log = ReadFileBytes(path);
  const NString tail = "SUMMARY ***\r\nE\r\nagain\r\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
  EXPECT_EQ(Count(log, "\xEF\xBB\xBF"), 1u);
  DeleteFileW(W(path));
  RemoveDirectoryW(W(folder.path() + u"\\" + sub));
}

TEST_F(InstallLogFileTest, SettingsGiveBuildDateAndDetail) {
  InstallSettings settings;
  settings.product_name = u"P";
  settings.display_version = u"";
  settings.product_flags = product_flag::kDetailedLog;
  settings.build_date.year = 2026;
  settings.build_date.month = 3;
  settings.build_date.day = 1;
  settings.build_date.hour = 23;
  TakeInstallLogSettings(settings);
  EXPECT_TRUE(DetailedLogging());
  ProcessInstallLogContext().install_dir = folder.path();
  ASSERT_TRUE(OpenStepLog());
  LogResult(u"File", u"a", u"C:\\a");
  FinishInstallLog(u"E\r\n", false);
  const NString log = ReadFileBytes(LogPath());
  EXPECT_NE(log.find("\r\nInstaller version: 46.0\r\nInstaller built: 2026/03/01\r\nOperating system: "),
            NString::npos);
  EXPECT_EQ(log.find("Install type: "), NString::npos);  // no uninstaller, no type
  EXPECT_NE(log.find("\r\n\r\nFile(a) >>> C:\\a\r\n"), NString::npos);
  SetDetailedLogging(false);
}

TEST(InstallLogErrorTest, CorruptReportUsesTheLog) {
  const CorruptReportHooks saved = TheCorruptReportHooks();  // other tests expect the built-in texts
  ConnectInstallLog();
  const CorruptReportHooks hooks = TheCorruptReportHooks();
  TheCorruptReportHooks() = saved;
  ASSERT_TRUE(hooks.set_failure_summary && hooks.error_code_text && hooks.system_error_text);
  FailureSummary() = u"old";
  hooks.set_failure_summary(u"corrupt\r\n");
  EXPECT_EQ(FailureSummary(), u"corrupt\r\n");
  EXPECT_EQ(hooks.error_code_text(0x80004005u), u"0x80004005");
  EXPECT_EQ(hooks.system_error_text(86), u"Incorrect password.");
  FailureSummary().clear();
}

TEST(InstallLogErrorTest, SystemErrorTextAndRecordFailure) {
  EXPECT_EQ(SystemErrorText(86), u"Incorrect password.");
  const WString denied = SystemErrorText(5);
  ASSERT_FALSE(denied.empty());
  EXPECT_NE(denied.back(), u'\n');
  EXPECT_EQ(SystemErrorText(0x2FFFFFFF).substr(0, 16), u"Error 0x2FFFFFFF");

  FailureSummary().clear();
  SetLastError(5);
  RecordFailure(WStringView(u"Could not copy"));
  SetLastError(0);
  RecordFailure(NStringView("No code \xE9"));
  EXPECT_EQ(FailureSummary(), u" Could not copy\r\nCode 5: " + denied + u"\r\n\r\n No code \u00E9\r\n");
  FailureSummary().clear();
}

TEST(UninstallDataFileWinTest, WriteAndLoad) {
  LogFolder folder;
  const WString path = folder.path() + u"\\Uninstall.DAT";
  UninstallData data;
  data.RecordItem(WStringView(u"C:\\App\\caf\u00E9.exe"), kUninstallFile);
  data.AddMsiPackage(u"C:\\a.msi", 2);
  UninstallTexts texts;
  texts.text = [](int n) { return n == 10 ? WString(u"Ten\r\nlines") : WString(); };
  texts.page_header_title = u"Title";
  ASSERT_TRUE(WriteUninstallData(path, data, texts));
  EXPECT_EQ(ReadFileBytes(path), BuildUninstallDataFile(data, texts));

  UninstallDataContent content;
  ASSERT_EQ(LoadUninstallData(path, content), kFileSuccess);
  EXPECT_EQ(content.items, (std::vector<NString>{"|C:\\App\\caf\xC3\xA9.exe"}));
  EXPECT_EQ(content.msi, (std::vector<NString>{"\"C:\\a.msi\",2"}));
  ASSERT_FALSE(content.texts.empty());
  EXPECT_EQ(content.texts.front(), (std::pair<int, WString>{10, u"Ten\r\nlines"}));
  EXPECT_EQ(content.page_header_title, u"Title");
}

TEST(UninstallDataFileWinTest, Failures) {
  LogFolder folder;
  UninstallDataContent content;
  EXPECT_EQ(LoadUninstallData(folder.path() + u"\\Uninstall.DAT", content), kFileNotFound);
  SetLastError(0);
  EXPECT_FALSE(WriteUninstallData(folder.path() + u"\\missing\\Uninstall.DAT", UninstallData{}, UninstallTexts{}));
  EXPECT_NE(GetLastError(), 0u);
}

}  // namespace
}  // namespace ks
