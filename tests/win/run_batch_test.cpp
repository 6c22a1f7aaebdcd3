// RunBatch on the running system: the batch runs in its folder through the
// real command interpreter, its output reaches the step log, and no file of
// the run stays behind; the failures are logged with their messages.

#include "engine/win/run_batch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/win/path_variables.h"
#include "engine/win/special_folders.h"
#include "records/install_log.h"
#include "lib/win/os_version_query.h"
#include "lib/win/wide.h"
#include "tests/win/memory_sink.h"
#include "tests/win/scratch_folder.h"

namespace ks {
namespace {

using test::MemorySink;
using test::ScratchFolder;

std::string U8(const WString& text) { return WideToUtf8(text); }

bool Exists(const WString& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

void WriteFile(const WString& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(reinterpret_cast<const wchar_t*>(path.c_str())), std::ios::binary);
  out << bytes;
}

std::string ReadFile(const WString& path) {
  std::ifstream in(std::filesystem::path(reinterpret_cast<const wchar_t*>(path.c_str())), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, "." and ".." left out.
std::vector<WString> Entries(const WString& folder) {
  std::vector<WString> names;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(W(folder + u"\\*"), &fd);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const WString name = FromW(fd.cFileName);
    if (name != u"." && name != u"..") names.push_back(name);
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  return names;
}

WString Environment(const wchar_t* name) {
  const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return WString();
  WString value(n, u'\0');
  value.resize(GetEnvironmentVariableW(name, W(value), n));
  return value;
}

// Automatic, so that failures are logged without a message box.
class RunBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log.set_sink(&sink);
    saved_comspec = Environment(L"COMSPEC");
    inputs.install_dir = folder.path();
    context.vars = &vars;
    context.log = &log;
    context.texts = &texts;
    context.automatic = true;
  }
  void TearDown() override { SetEnvironmentVariableW(L"COMSPEC", saved_comspec.empty() ? nullptr : W(saved_comspec)); }

  MemorySink sink;
  InstallLog log;
  LocalizedTexts texts;
  ScratchFolder folder{u"ks_batch_"};
  PathVariableInputs inputs;
  const PathVariables vars{[this] { return inputs; }};
  BatchContext context;
  WString saved_comspec;
};

TEST_F(RunBatchTest, BlankScriptWritesAndLogsNothing) {
  EXPECT_TRUE(RunBatch(context, false, "Pre-Installation Batch", " \r\n\t\n"));
  EXPECT_EQ(sink.bytes, "");
  EXPECT_TRUE(Entries(folder.path()).empty());
}

TEST_F(RunBatchTest, NamedBatchRunsInTheInstallationFolderAndItsOutputIsLogged) {
  inputs.product_name = u"Prod";
  ASSERT_TRUE(RunBatch(context, true, "Pre-Installation Batch", "echo hello %ProductName%\r\ncd\r\necho last  \r\n\r\n"));
  EXPECT_EQ(sink.bytes, "\r\nRunning Pre-Installation Batch...\r\nhello Prod\r\n" + U8(folder.path()) +
                            "\r\nlast\r\n\r\n");
  EXPECT_TRUE(Entries(folder.path()).empty()) << "SETUPBAT.BAT and ks_batch.log are deleted";
}

TEST_F(RunBatchTest, UnnamedBatchRunsWithoutCapture) {
  ASSERT_TRUE(RunBatch(context, true, "", "echo made> made.txt\r\necho not logged"));
  EXPECT_EQ(sink.bytes, "");
  EXPECT_EQ(ReadFile(folder / u"made.txt"), "made\r\n");
  EXPECT_EQ(Entries(folder.path()), std::vector<WString>{u"made.txt"});
}

TEST_F(RunBatchTest, AnExistingCaptureFileIsNotOverwritten) {
  WriteFile(folder / u"ks_batch.log", "earlier");
  WriteFile(folder / u"ks_batch1.log", "earlier 1");
  ASSERT_TRUE(RunBatch(context, true, "Upgrade Batch", "echo fresh"));
  EXPECT_EQ(sink.bytes, "\r\nRunning Upgrade Batch...\r\nfresh\r\n\r\n");
  EXPECT_EQ(ReadFile(folder / u"ks_batch.log"), "earlier");
  EXPECT_EQ(ReadFile(folder / u"ks_batch1.log"), "earlier 1");
  EXPECT_EQ(Entries(folder.path()).size(), 2u);
}

TEST_F(RunBatchTest, WithoutTheInstallationFolderTheBatchRunsInTheTemporaryFolder) {
  inputs.install_dir = folder / u"not there";
  EXPECT_EQ(BatchFolder(vars), SpecialFolderPath(SpecialFolder::kTemp));
  ASSERT_TRUE(RunBatch(context, true, "Reinstall Batch", "if exist \"%InstallDir%\" echo wrong\r\ncd"));
  WString temp = SpecialFolderPath(SpecialFolder::kTemp);
  if (temp.size() > 3 && temp.back() == u'\\') temp.pop_back();
  EXPECT_TRUE(EqualsIgnoreCase(Utf8ToWide(sink.bytes), u"\r\nRunning Reinstall Batch...\r\n" + temp + u"\r\n\r\n"))
      << sink.bytes;
  EXPECT_FALSE(Exists(JoinPath(SpecialFolderPath(SpecialFolder::kTemp), u"SETUPBAT.BAT")));
}

// The file as the interpreter ran it (the batch copies itself). Its output
// is not compared: Wine's cmd reads batch lines in the OEM code page
// whatever "chcp" says, where Windows takes the console's code page.
TEST_F(RunBatchTest, TheBatchFileAsRunHoldsNonAsciiValuesInItsCodePage) {
  inputs.product_name = u"Caf\u00E9 \u4E2D";
  const WString script = u"copy /y \"%~f0\" saved.bat >nul";
  ASSERT_TRUE(RunBatch(context, BatchRun{true, NString(), script}));
  const std::string saved = ReadFile(folder / u"saved.bat");
  EXPECT_EQ(saved, BatchFileFor(vars, false, script, true));
  if (BatchUsesUtf8(GetSystemVersion(), u"\u00E9")) {
    EXPECT_EQ(saved.rfind("@chcp 65001 >nul\r\n@echo off\r\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("\r\nSET \"ProductName=Caf\xC3\xA9 \xE4\xB8\xAD\"\r\n"), std::string::npos) << saved;
  } else {
    EXPECT_EQ(saved.rfind("@chcp 1252 >nul\r\n@echo off\r\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("\r\nSET \"ProductName=Caf\xE9 ?\"\r\n"), std::string::npos) << saved;
  }
}

TEST_F(RunBatchTest, APercentSignInAValueReachesTheScript) {
  inputs.product_name = u"100% Tool";
  ASSERT_TRUE(RunBatch(context, true, "Pre-Installation Batch", "set ProductName"));
  EXPECT_EQ(sink.bytes, "\r\nRunning Pre-Installation Batch...\r\nProductName=100% Tool\r\n\r\n");
}

TEST_F(RunBatchTest, AFileInThePlaceOfTheBatchFileIsReported) {
  ASSERT_TRUE(CreateDirectoryW(W(folder / u"SETUPBAT.BAT"), nullptr));
  EXPECT_FALSE(RunBatch(context, false, "", "echo never"));
  const std::string prefix = "Unable to create batch file \"" + U8(folder / u"SETUPBAT.BAT") + "\".\r\n\r\n";
  EXPECT_EQ(sink.bytes.rfind(prefix, 0), 0u) << sink.bytes;
  EXPECT_GT(sink.bytes.size(), prefix.size() + 4) << "the file result text follows";
  EXPECT_EQ(sink.bytes.substr(sink.bytes.size() - 4), "\r\n\r\n");
}

TEST_F(RunBatchTest, MissingInterpreterIsLoggedWithoutRunning) {
  const WString missing = folder / u"no\\cmd.exe";
  SetEnvironmentVariableW(L"COMSPEC", W(missing));
  EXPECT_FALSE(RunBatch(context, false, "Post-Installation Batch", "echo never> ran.txt"));
  EXPECT_EQ(sink.bytes, "\r\nRunning Post-Installation Batch...\r\nThe CLI " + U8(missing) + " does not exist!\r\n");
  EXPECT_TRUE(Entries(folder.path()).empty());
}

TEST_F(RunBatchTest, InterpreterThatCannotStartIsReportedAndTheFilesGo) {
  const WString not_a_program = folder / u"shell.exe";
  WriteFile(not_a_program, "not a program");
  SetEnvironmentVariableW(L"COMSPEC", W(not_a_program));
  EXPECT_FALSE(RunBatch(context, false, "Pre-Installation Batch", "echo never"));
  const std::string batch = U8(folder / u"SETUPBAT.BAT");
  const std::string head = "\r\nRunning Pre-Installation Batch...\r\nUnable to launch batch file \"" + batch + "\".\r\n";
  EXPECT_EQ(sink.bytes.rfind(head, 0), 0u) << sink.bytes;
  EXPECT_NE(sink.bytes.find("\r\nCommand line: \"" + U8(not_a_program) + "\" /c \""), std::string::npos) << sink.bytes;
  EXPECT_EQ(sink.bytes.substr(sink.bytes.size() - 4), "\r\n\r\n");
  EXPECT_EQ(Entries(folder.path()), std::vector<WString>{u"shell.exe"});
}

TEST_F(RunBatchTest, WithoutComspecTheInterpreterIsCmdInThe32BitSystemFolder) {
  SetEnvironmentVariableW(L"COMSPEC", nullptr);
  EXPECT_EQ(BatchInterpreter(), SpecialFolderPath(SpecialFolder::kSystem32Bit) + u"\\cmd.exe");
  SetEnvironmentVariableW(L"COMSPEC", L"D:\\other\\shell.exe");
  EXPECT_EQ(BatchInterpreter(), u"D:\\other\\shell.exe");
}

TEST_F(RunBatchTest, BatchFileCarriesTheCurrentValues) {
  inputs.version = u"2.5";
  const NString text = BatchFileFor(vars, false, u"echo a\r\n @PAUSE \r\necho b", true);
  EXPECT_NE(text.find("SET \"InstallDir=" + WideToCp1252(folder.path()) + "\"\r\n"), NString::npos) << text;
  EXPECT_NE(text.find("SET Version=2.5\r\n"), NString::npos);
  EXPECT_NE(text.find("SET \"SystemDir=" + WideToCp1252(SpecialFolderPath(SpecialFolder::kSystem)) + "\"\r\n"),
            NString::npos);
  EXPECT_EQ(text.substr(text.size() - 16), "echo a\r\necho b\r\n");
  EXPECT_NE(BatchFileFor(vars, false, u"echo a\r\n @PAUSE \r\necho b", false).find("\r\n @PAUSE \r\n"), NString::npos);
}

}  // namespace
}  // namespace ks
