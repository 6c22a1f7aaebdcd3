#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "core/win/reports.h"
#include "integration/finishing_rules.h"
#include "integration/win/close_install_log.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"
#include "records/win/install_log_file.h"
#include "records/win/uninstall_data_file.h"

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
    closing.log = &log;
    closing.steps = &steps;
    closing.texts = &texts;
    closing.log_path = LogPath();
    closing.header.product_name = u"Caf\u00E9 App";
    closing.header.product_version = u"2.0";
    closing.header.install_dir = folder.path();
    closing.header.creates_uninstaller = true;
    closing.header.install_type = 1;
    closing.flags = product_flag::kRegisterUninstaller;
  }
  void OpenSteps() {
    ASSERT_TRUE(steps.Open(TempPath()));
    log.set_sink(&steps);
  }
  // One installation: a step line, then the end with the given failures.
  void Install(const char* step, const WString& failures) {
    OpenSteps();
    log.Text(step);
    log.ReplaceFailures(failures);
    CloseInstallLog(closing, false);
  }
  WString LogPath() const { return folder.path() + u"\\Install.log"; }
  LogFolder folder;
  InstallLog log;
  StepLogFile steps;
  LocalizedTexts texts;
  InstallLogClosing closing;
};

TEST_F(InstallLogFileTest, FailedInstallationWritesOneSectionAndDeletesTheStepLog) {
  const int before = StepLogFiles();
  OpenSteps();
  EXPECT_EQ(StepLogFiles(), before + 1);
  log.Narrow("Copying caf\xE9.dll...");
  log.Wide(u"OK\r\n");
  log.AddFailure(u"ERROR: x\r\n");
  CloseInstallLog(closing, false);
  EXPECT_EQ(StepLogFiles(), before);

  const NString text = ReadFileBytes(LogPath());
  const NString head = "\xEF\xBB\xBFInstallation log for: Caf\xC3\xA9 App\r\nInstall date: ";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(text.find("\r\nInstall type: Reinstall\r\nInstall location: " + WideToUtf8(folder.path()) +
                     "\r\nInstaller version: 46.0\r\nProduct version: 2.0\r\nOperating system: "),
            NString::npos);
  EXPECT_EQ(text.find("Installer built: "), NString::npos);
  const NString tail = "\r\n\r\nCopying caf\xC3\xA9.dll...OK\r\n\r\n*** FAILURE SUMMARY ***\r\nERROR: x\r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(InstallLogFileTest, SecondInstallationAppendsBehindTheSeparator) {
  Install("first\r\n", u"E1\r\n");
  Install("second\r\n", u"E2\r\n");
  const NString text = ReadFileBytes(LogPath());
  EXPECT_EQ(Count(text, "\xEF\xBB\xBF"), 1u);
  EXPECT_EQ(text.rfind("\xEF\xBB\xBF"), 0u);
  EXPECT_EQ(Count(text, "Installation log for: "), 2u);
  EXPECT_NE(text.find("E1\r\n\r\n\r\n" + NString(46, '*') + "\r\nInstallation log for: "), NString::npos);
}

TEST_F(InstallLogFileTest, OldCodePage1252LogIsUpgraded) {
  WriteFileBytes(LogPath(), "Caf\xE9 old\r\n");
  Install("new\r\n", u"E\r\n");
  const NString text = ReadFileBytes(LogPath());
  const NString head = "\xEF\xBB\xBF" "Caf\xC3\xA9 old\r\n\r\n\r\n" + NString(46, '*') + "\r\nInstallation log for: ";
  EXPECT_EQ(text.substr(0, head.size()), head);
}

TEST_F(InstallLogFileTest, SuccessWritesOnlyWhenAsked) {
  const int before = StepLogFiles();
  Install("quiet\r\n", u"");
  EXPECT_EQ(ReadFileBytes(LogPath()), "<missing>");
  EXPECT_EQ(StepLogFiles(), before);

  closing.flags |= product_flag::kAlwaysWriteLog;
  Install("kept\r\n", u"");
  const NString text = ReadFileBytes(LogPath());
  EXPECT_NE(text.find("\r\n\r\nkept\r\n\r\n"), NString::npos);  // text 43 is empty without a table
  EXPECT_EQ(text.find("FAILURE SUMMARY"), NString::npos);
}

TEST_F(InstallLogFileTest, HiddenSystemLogIsReleasedAfterWriting) {
  Install("a\r\n", u"E\r\n");
  SetFileAttributesW(W(LogPath()), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  Install("b\r\n", u"E\r\n");
  EXPECT_EQ(Count(ReadFileBytes(LogPath()), "Installation log for: "), 2u);
  EXPECT_EQ(GetFileAttributesW(W(LogPath())) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u);
}

TEST_F(InstallLogFileTest, UnwritableFolderWritesNothing) {
  closing.log_path = folder.path() + u"\\missing\\Install.log";
  const int before = StepLogFiles();
  Install("a\r\n", u"E\r\n");
  EXPECT_EQ(ReadFileBytes(folder.path() + u"\\missing\\Install.log"), "<missing>");
  EXPECT_EQ(StepLogFiles(), before);
}

TEST_F(InstallLogFileTest, AppendToFinishedLog) {
  const WString sub = u"Un\u00EFnstall";  // outside most system code pages' reach too
  CreateDirectoryW(W(folder.path() + u"\\" + sub), nullptr);
  const WString path = folder.path() + u"\\" + sub + u"\\Install.log";
  closing.log_path = path;
  EXPECT_TRUE(AppendToInstallLog(path, "Launch failed\r\n"));
  EXPECT_EQ(ReadFileBytes(path), "\xEF\xBB\xBFLaunch failed\r\n");
  Install("s\r\n", u"E\r\n");
  EXPECT_TRUE(AppendToInstallLog(path, "again\r\n"));
  const NString text = ReadFileBytes(path);
  const NString tail = "SUMMARY ***\r\nE\r\nagain\r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_EQ(Count(text, "\xEF\xBB\xBF"), 1u);
  DeleteFileW(W(path));
  RemoveDirectoryW(W(folder.path() + u"\\" + sub));
}

TEST_F(InstallLogFileTest, BuildDateAndDetailedLines) {
  closing.header = InstallLogHeader{};
  closing.header.product_name = u"P";
  closing.header.build_date = {2026, 3, 1, 23, 0, 0};
  closing.header.install_dir = folder.path();
  closing.flags = 0;
  OpenSteps();
  log.set_detailed(true);
  log.Result(u"File", u"a", u"C:\\a");
  log.AddFailure(u"E\r\n");
  CloseInstallLog(closing, false);
  const NString text = ReadFileBytes(LogPath());
  EXPECT_NE(text.find("\r\nInstaller version: 46.0\r\nInstaller built: 2026/03/01\r\nOperating system: "),
            NString::npos);
  EXPECT_EQ(text.find("Install type: "), NString::npos);  // no uninstaller, no type
  EXPECT_NE(text.find("\r\n\r\nFile(a) >>> C:\\a\r\n"), NString::npos);
}

TEST(InstallLogErrorTest, CorruptReportCarriesTheSystemErrorText) {
  const WString message = CorruptReportText(LocalizedTexts(), 46, 86);
  EXPECT_NE(message.find(u"Incorrect password."), WString::npos) << WideToUtf8(message);
  const WString coded = CorruptReportText(LocalizedTexts(), 46, 0x80004005u);
  EXPECT_NE(coded.find(u"0x80004005"), WString::npos) << WideToUtf8(coded);
  EXPECT_EQ(CorruptReportText(LocalizedTexts(), 46, 0).find(u"0x"), WString::npos);
}

TEST(InstallLogErrorTest, SystemErrorTextAndRecordFailure) {
  EXPECT_EQ(SystemErrorText(86), u"Incorrect password.");
  const WString denied = SystemErrorText(5);
  ASSERT_FALSE(denied.empty());
  EXPECT_NE(denied.back(), u'\n');
  EXPECT_EQ(SystemErrorText(0x2FFFFFFF).substr(0, 16), u"Error 0x2FFFFFFF");

  InstallLog log;
  log.set_failure_label(u"ERROR:");
  SetLastError(5);
  RecordFailure(log, WStringView(u"Could not copy"));
  SetLastError(0);
  RecordFailure(log, NStringView("No code \xE9"));
  EXPECT_EQ(log.failures(), u"ERROR: Could not copy\r\nCode 5: " + denied + u"\r\n\r\nERROR: No code \u00E9\r\n");
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
