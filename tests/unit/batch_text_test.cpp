#include "engine/batch_text.h"

#include <gtest/gtest.h>

#include <string>

namespace ks {
namespace {

using PV = PathVariable;

// Every variable's value is its own name in brackets, so the lines show
// which value went where.
WString NamedValue(PV variable) {
  const WString name = PathVariableName(variable);
  return u"[" + name.substr(1, name.size() - 2) + u"]";
}

std::string U8(const WString& text) { return WideToUtf8(text); }

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

SystemVersion Version(std::uint32_t platform, std::uint32_t major, std::uint32_t minor) {
  SystemVersion v;
  v.platform = platform;
  v.major = major;
  v.minor = minor;
  return v;
}

constexpr const char* kAllSetLines =
    "@echo off\r\n"
    "SET Automatic=[Automatic]\r\n"
    "SET \"InstallDir=[InstallDir]\"\r\n"
    "SET \"Bits=[Bits]\"\r\n"
    "SET \"UninstallDir=[UninstallDir]\"\r\n"
    "SET \"SharedDir=[SharedDir]\"\r\n"
    "SET \"InstallerFilepath=[InstallerFilepath]\"\r\n"
    "SET \"InstallerDir=[InstallerDir]\"\r\n"
    "SET \"InstallerFilename=[InstallerFilename]\"\r\n"
    "SET \"InstallerDrive=[InstallerDrive]\"\r\n"
    "SET \"SystemDir=[SystemDir]\"\r\n"
    "SET \"DeviceDir=[DeviceDir]\"\r\n"
    "SET \"MediaDir=[MediaDir]\"\r\n"
    "SET \"FavoritesDir=[FavoritesDir]\"\r\n"
    "SET \"FavoritesAllDir=[FavoritesAllDir]\"\r\n"
    "SET \"FontDir=[FontDir]\"\r\n"
    "SET \"DesktopDir=[DesktopDir]\"\r\n"
    "SET \"DesktopAllDir=[DesktopAllDir]\"\r\n"
    "SET \"DesktopShortcuts=[DesktopShortcuts]\"\r\n"
    "SET \"DocumentDir=[DocumentDir]\"\r\n"
    "SET \"DocumentAllDir=[DocumentAllDir]\"\r\n"
    "SET \"ProductName=[ProductName]\"\r\n"
    "SET \"CompanyName=[CompanyName]\"\r\n"
    "SET \"ProgramsDir=[ProgramsDir]\"\r\n"
    "SET \"ProgramsDir32=[ProgramsDir32]\"\r\n"
    "SET \"ProgramsDir64=[ProgramsDir64]\"\r\n"
    "SET \"StartMenuAllDir=[StartMenuAllDir]\"\r\n"
    "SET \"StartMenuChosen=[StartMenuChosen]\"\r\n"
    "SET \"StartMenuDir=[StartMenuDir]\"\r\n"
    "SET \"SMProgramsDir=[SMProgramsDir]\"\r\n"
    "SET \"SMProgramsAllDir=[SMProgramsAllDir]\"\r\n"
    "SET \"StartupDir=[StartupDir]\"\r\n"
    "SET \"StartupAllDir=[StartupAllDir]\"\r\n"
    "SET \"CommonDir=[CommonDir]\"\r\n"
    "SET \"CommonDir32=[CommonDir32]\"\r\n"
    "SET \"CommonDir64=[CommonDir64]\"\r\n"
    "SET \"Inetpub=[Inetpub]\"\r\n"
    "SET \"AppDataDir=[AppDataDir]\"\r\n"
    "SET \"AppDataAllDir=[AppDataAllDir]\"\r\n"
    "SET InstallDrive=[InstallDrive]\r\n"
    "SET BootDrive=[BootDrive]\r\n"
    "SET Version=[Version]\r\n"
    "SET OldVersion=[OldVersion]\r\n"
    "SET Portable=[Portable]\r\n"
    "SET Existing=[Existing]\r\n"
    "SET NetworkInstall=[NetworkInstall]\r\n"
    "SET Language=[Language]\r\n"
    "SET OldVersionMajor=[OldVersionMajor]\r\n"
    "SET OldVersionMinor=[OldVersionMinor]\r\n"
    "SET OS=[OS]\r\n"
    "SET OSMajor=[OSMajor]\r\n"
    "SET OSMinor=[OSMinor]\r\n"
    "SET OSName=[OSName]\r\n"
    "SET OSDescription=[OSDescription]\r\n"
    "SET OSServer=[OSServer]\r\n";

TEST(BatchTextTest, SetLinesInOrderWithTheirQuoting) {
  EXPECT_EQ(U8(BatchSetLines(NamedValue, false)), kAllSetLines);
}

TEST(BatchTextTest, TheUninstallerWritesNoExistingLine) {
  std::string expected = kAllSetLines;
  const std::string existing = "SET Existing=[Existing]\r\n";
  expected.erase(expected.find(existing), existing.size());
  EXPECT_EQ(U8(BatchSetLines(NamedValue, true)), expected);
}

TEST(BatchTextTest, ValuesStayIntactForTheScript) {
  const auto value_of = [](PV v) -> WString {
    if (v == PV::kProductName) return u"50% & <more> \"x\"";
    if (v == PV::kVersion) return u"1.0%";
    if (v == PV::kInstallDir) return u"C:\\Program Files\\A&B";
    return u"";
  };
  const std::string text = U8(BatchSetLines(value_of, false));
  EXPECT_NE(text.find("SET \"ProductName=50%% & <more> \"x\"\"\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("SET Version=1.0%%\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("SET \"InstallDir=C:\\Program Files\\A&B\"\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("SET \"SharedDir=\"\r\nSET"), std::string::npos) << "an empty value";
}

TEST(BatchTextTest, BlankScripts) {
  const struct {
    const char16_t* script;
    bool blank;
  } cases[] = {{u"", true}, {u" \t\r\n \n", true}, {u"\r\n x", false}, {u"@", false}, {u"\x00A0", false}};
  for (const auto& c : cases) EXPECT_EQ(IsBlankScript(c.script), c.blank) << U8(c.script);
}

TEST(BatchTextTest, AdditionGoesOnALineOfItsOwn) {
  const struct {
    const char16_t* script;
    const char16_t* addition;
    const char16_t* expected;
  } cases[] = {
      {u"echo a", u"echo b", u"echo a\r\necho b"},
      {u"echo a\r\n", u"echo b", u"echo a\r\necho b"},
      {u"echo a\n", u"echo b", u"echo a\necho b"},
      {u"echo a\r", u"echo b", u"echo a\recho b"},
      {u"", u"echo b", u"\r\necho b"},
      {u"echo a", u"", u"echo a"},
  };
  for (const auto& c : cases) EXPECT_EQ(U8(AppendBatchAddition(c.script, c.addition)), U8(c.expected)) << U8(c.script);
}

TEST(BatchTextTest, PauseLines) {
  const struct {
    const char16_t* line;
    bool pause;
  } cases[] = {
      {u"PAUSE", true},         {u"pause", true},         {u"  @ pause  ", true},  {u"\t@\tPaUsE\t", true},
      {u"@pause", true},        {u"\r\n pause", true},    {u"@@pause", false},     {u"pause now", false},
      {u"pause.", false},       {u"pause>nul", false},    {u"echo pause", false},  {u"", false},
      {u"@", false},            {u"pauses", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPauseLine(c.line), c.pause) << U8(c.line);
}

TEST(BatchTextTest, PauseLinesAreRemovedAndOthersKept) {
  EXPECT_EQ(U8(RemovePauseLines(u"echo 1\r\n  @pause \r\necho 2\npause now\rPAUSE\r\n\r\necho  3  ")),
            "echo 1\r\necho 2\r\npause now\r\n\r\necho  3  \r\n");
  EXPECT_EQ(U8(RemovePauseLines(u"pause")), "");
}

TEST(BatchTextTest, CodePageRule) {
  const struct {
    SystemVersion version;
    const char16_t* text;
    bool utf8;
  } cases[] = {
      {Version(kPlatformNt, 10, 0), u"Caf\x00E9", true},
      {Version(kPlatformNt, 10, 0), u"Cafe", false},
      {Version(kPlatformNt, 6, 1), u"\x4E2D", true},
      {Version(kPlatformNt, 6, 3), u"\x00E9", true},
      {Version(kPlatformNt, 6, 0), u"\x00E9", false},  // Vista
      {Version(kPlatformNt, 5, 1), u"\x00E9", false},
      {Version(kPlatformNt, 7, 0), u"\x00E9", true},
      {Version(kPlatformWin9x, 4, 90), u"\x00E9", false},
      {Version(kPlatformNt, 10, 0), u"\x007F", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BatchUsesUtf8(c.version, c.text), c.utf8) << c.version.major << "." << c.version.minor;
  }
}

TEST(BatchTextTest, FileEncoding) {
  const struct {
    SystemVersion version;
    const char16_t* text;
    const char* bytes;
  } cases[] = {
      {Version(kPlatformNt, 10, 0), u"echo Caf\x00E9\n", "@chcp 65001 >nul\r\necho Caf\xC3\xA9\r\n"},
      {Version(kPlatformNt, 6, 0), u"echo Caf\x00E9\n", "@chcp 1252 >nul\r\necho Caf\xE9\r\n"},
      {Version(kPlatformNt, 6, 0), u"echo \x4E2D", "@chcp 1252 >nul\r\necho ?\r\n"},
      {Version(kPlatformNt, 10, 0), u"a\rb\r\nc\nd", "@chcp 1252 >nul\r\na\r\nb\r\nc\r\nd\r\n"},
      {Version(kPlatformNt, 10, 0), u"a\r\n\r\n", "@chcp 1252 >nul\r\na\r\n\r\n"},
      {Version(kPlatformNt, 10, 0), u"a\r", "@chcp 1252 >nul\r\na\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeBatchFile(c.text, c.version), c.bytes) << U8(c.text);
}

TEST(BatchTextTest, WholeFile) {
  BatchFileInput in;
  in.value_of = [](PV v) { return v == PV::kProductName ? WString(u"Caf\x00E9") : WString(); };
  in.script = Cp1252ToWide("echo %ProductName%\npause\n");
  const NString kept = BatchFileBytes(in, Version(kPlatformNt, 10, 0));
  EXPECT_EQ(kept.rfind("@chcp 65001 >nul\r\n@echo off\r\nSET Automatic=\r\n", 0), 0u) << kept;
  EXPECT_NE(kept.find("SET \"ProductName=Caf\xC3\xA9\"\r\n"), NString::npos);
  EXPECT_TRUE(EndsWith(kept, "SET OSServer=\r\necho %ProductName%\r\npause\r\n")) << kept;

  in.remove_pause = true;
  const NString removed = BatchFileBytes(in, Version(kPlatformNt, 6, 0));
  EXPECT_EQ(removed.rfind("@chcp 1252 >nul\r\n@echo off\r\n", 0), 0u);
  EXPECT_NE(removed.find("SET \"ProductName=Caf\xE9\"\r\n"), NString::npos);
  EXPECT_TRUE(EndsWith(removed, "SET OSServer=\r\necho %ProductName%\r\n")) << removed;
}

TEST(BatchTextTest, Interpreter) {
  const WString windows = u"C:\\WINDOWS";
  const WString system32 = u"C:\\WINDOWS\\SysWOW64";
  const struct {
    const char* name;
    std::optional<WString> comspec;
    SystemVersion version;
    const char16_t* expected;
  } cases[] = {
      {"COMSPEC", WString(u"D:\\shell\\cmd.exe"), Version(kPlatformNt, 10, 0), u"D:\\shell\\cmd.exe"},
      {"unset on NT", WString(u"%comspec%"), Version(kPlatformNt, 10, 0), u"C:\\WINDOWS\\SysWOW64\\cmd.exe"},
      {"case matters in the literal", WString(u"%COMSPEC%"), Version(kPlatformNt, 10, 0), u"%COMSPEC%"},
      {"blank", WString(u"  "), Version(kPlatformNt, 5, 1), u"C:\\WINDOWS\\SysWOW64\\cmd.exe"},
      {"expansion failed", std::nullopt, Version(kPlatformNt, 6, 1), u"C:\\WINDOWS\\SysWOW64\\cmd.exe"},
      {"unset on 9x", WString(u"%comspec%"), Version(kPlatformWin9x, 4, 10), u"C:\\WINDOWS\\command.com"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(U8(ChooseInterpreter(c.comspec, c.version, windows, system32)), U8(c.expected)) << c.name;
  }
}

TEST(BatchTextTest, CaptureNames) {
  EXPECT_EQ(CaptureFileName(0), u"ks_batch.log");
  EXPECT_EQ(CaptureFileName(1), u"ks_batch1.log");
  EXPECT_EQ(CaptureFileName(12), u"ks_batch12.log");
}

TEST(BatchTextTest, CommandLines) {
  const struct {
    const char16_t* batch;
    const char16_t* capture;
    const char16_t* command;
  } cases[] = {
      {u"C:\\APP\\SETUPBAT.BAT", u"", u"\"C:\\cmd.exe\" /c C:\\APP\\SETUPBAT.BAT"},
      {u"C:\\APP\\SETUPBAT.BAT", u"C:\\APP\\ks_batch.log",
       u"\"C:\\cmd.exe\" /c \"C:\\APP\\SETUPBAT.BAT > C:\\APP\\ks_batch.log\""},
      // Without short names: cmd strips the outer quotes, the inner ones keep each path whole.
      {u"C:\\My App\\SETUPBAT.BAT", u"C:\\My App\\ks_batch1.log",
       u"\"C:\\cmd.exe\" /c \"\"C:\\My App\\SETUPBAT.BAT\" > \"C:\\My App\\ks_batch1.log\"\""},
      {u"C:\\A (x86)\\SETUPBAT.BAT", u"", u"\"C:\\cmd.exe\" /c \"\"C:\\A (x86)\\SETUPBAT.BAT\"\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(U8(InterpreterCommand(u"C:\\cmd.exe", BatchCommandLine(c.batch, c.capture))), U8(c.command));
  }
}

TEST(BatchTextTest, CapturedOutput) {
  EXPECT_EQ(CapturedOutputForLog("one\r\ntwo \t\r\n\r\n"), "one\r\ntwo\r\n\r\n");
  EXPECT_EQ(CapturedOutputForLog("  lead\xE9"), "  lead\xE9\r\n\r\n");
  EXPECT_EQ(CapturedOutputForLog(" \r\n\t"), "");
  EXPECT_EQ(CapturedOutputForLog(""), "");
}

TEST(BatchTextTest, Messages) {
  EXPECT_EQ(U8(MissingInterpreterLine(u"C:\\x\\cmd.exe")), "The CLI C:\\x\\cmd.exe does not exist!\r\n");
  EXPECT_EQ(U8(CreateFailedMessage(u"C:\\A\\SETUPBAT.BAT", u"Access denied.")),
            "Unable to create batch file \"C:\\A\\SETUPBAT.BAT\".\r\n\r\nAccess denied.");
  EXPECT_EQ(U8(LaunchFailedMessage(u"C:\\A\\SETUPBAT.BAT", u"Bad exe.", u"\"c.exe\" /c X")),
            "Unable to launch batch file \"C:\\A\\SETUPBAT.BAT\".\r\nBad exe.\r\nCommand line: \"c.exe\" /c X");
  EXPECT_EQ(RunningLine("Pre-Installation Batch"), "\r\nRunning Pre-Installation Batch...\r\n");
  EXPECT_STREQ(kCaptureFailedText, "Failed to create batch output capture file.  ");
}

std::string Describe(const std::vector<BatchRun>& runs) {
  std::string out;
  for (const BatchRun& r : runs) out += U8(r.script) + (r.hidden ? "/hidden" : "") + "/" + r.label + ";";
  return out;
}

TEST(BatchTextTest, PreparationBatchesByInstallType) {
  namespace af = batch_archive_flag;
  const ProductFlags kHideAll = FlagLow(0x00800000) | FlagHigh(0x10000000) | FlagHigh(0x20000000);
  const struct {
    const char* name;
    int existing;
    bool folder;
    std::uint32_t archive;
    ProductFlags flags;
    const char* runs;
  } cases[] = {
      {"new", 0, false, 0, 0, "pre/;"},
      {"reinstall", 1, true, 0, 0, "pre/;re/;"},
      {"upgrade", 2, true, 0, 0, "pre/;up/;re/;"},
      {"upgrade, reinstall only when the same", 2, true, af::kReinstallOnlyWhenSame, 0, "pre/;up/;"},
      {"reinstall, restricted", 1, true, af::kReinstallOnlyWhenSame, 0, "pre/;re/;"},
      {"downgrade", 3, true, 0, 0, "pre/;re/;"},
      {"folder from the registry: install type new", 0, true, 0, 0, "pre/;re/;"},
      {"named", 2, true, af::kLogPreInstallation | af::kLogUpgrade | af::kLogReinstall, 0,
       "pre/Pre-Installation Batch;up/Upgrade Batch;re/Reinstall Batch;"},
      {"hidden", 2, true, 0, kHideAll, "pre/hidden/;up/hidden/;re/hidden/;"},
      {"only the pre-installation one hidden", 2, true, af::kLogUpgrade, FlagLow(0x00800000),
       "pre/hidden/;up/Upgrade Batch;re/;"},
  };
  for (const auto& c : cases) {
    PreparationBatchInput in;
    in.existing = c.existing;
    in.earlier_folder_exists = c.folder;
    in.archive_flags = c.archive;
    in.product_flags = c.flags;
    in.pre_installation = u"pre";
    in.upgrade = u"up";
    in.reinstall = u"re";
    EXPECT_EQ(Describe(PreparationBatches(in)), c.runs) << c.name;
  }
}

TEST(BatchTextTest, LaterBatches) {
  EXPECT_EQ(Describe({PostInstallationBatch(0, 0, u"p")}), "p/;");
  EXPECT_EQ(Describe({PostInstallationBatch(FlagLow(0x01000000), 0x80, u"p")}), "p/hidden/Post-Installation Batch;");
  EXPECT_EQ(Describe({InstallationExitBatch(FlagLow(0x02000000), u"x")}), "x/hidden/;");
  EXPECT_EQ(Describe({InstallationExitBatch(FlagLow(0x01000000), u"x")}), "x/;");
  EXPECT_EQ(Describe({UninstallBatch(1, FlagLow(0x04000000), u"u")}), "u/hidden/;");
  EXPECT_EQ(Describe({UninstallBatch(2, FlagLow(0x04000000), u"u")}), "u/;");
  EXPECT_EQ(Describe({UninstallBatch(2, FlagLow(0x08000000), u"u")}), "u/hidden/;");
}

}  // namespace
}  // namespace ks
