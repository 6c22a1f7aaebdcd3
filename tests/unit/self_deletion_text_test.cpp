#include "uninstall/self_deletion_text.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

const WString kExe = u"C:\\P\\un\\unins.exe";
const WString kScript = u"C:\\T\\delunins.bat";
const WString kHead =
    u":Repeat\r\ndel \"C:\\P\\un\\unins.exe\"\r\nif exist \"C:\\P\\un\\unins.exe\" goto Repeat\r\n"
    u"CHOICE /T 3 /D Y\r\n";
const WString kTail = u"rd \"C:\\P\"\r\ndel \"C:\\T\\delunins.bat\"\r\n";

TEST(SelfDeletionTextTest, RdLinesForTheSubfolder) {
  const struct {
    const char* name;
    WString install_dir, subdir, rd_lines;
  } cases[] = {
      {"no subfolder", u"C:\\P", u"", u""},
      {"one level", u"C:\\P", u"un", u"rd \"C:\\P\\un\"\r\n"},
      {"two levels, deepest first", u"C:\\P", u"first\\second",
       u"rd \"C:\\P\\first\\second\"\r\nrd \"C:\\P\\first\"\r\n"},
      {"trailing and leading backslashes", u"C:\\P\\", u"\\first\\second\\",
       u"rd \"C:\\P\\first\\second\"\r\nrd \"C:\\P\\first\"\r\n"},
      {"climbing out gives no lines", u"C:\\P", u"..\\..\\Windows", u""},
      {"a drive gives no lines", u"C:\\P", u"D:\\x", u""},
      {"a share gives no lines", u"C:\\P", u"\\\\srv\\share", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildSelfDeletionScript(kExe, c.install_dir, c.subdir, kScript), kHead + c.rd_lines + kTail)
        << c.name;
  }
}

TEST(SelfDeletionTextTest, AtMostFiftyRdLinesForADeepSubfolder) {
  WString subdir;
  for (int i = 0; i < 60; ++i) subdir += u"d\\";
  const WString script = BuildSelfDeletionScript(kExe, u"C:\\P", subdir, kScript);
  std::size_t rd_lines = 0;
  for (std::size_t at = script.find(u"rd \""); at != WString::npos; at = script.find(u"rd \"", at + 1)) ++rd_lines;
  EXPECT_EQ(rd_lines, 51u);  // 50 for the subfolder, one for the installation folder
  EXPECT_NE(script.find(u"rd \"C:\\P\\d\\d\\d\\d\\d\\d\\d\\d\\d\\d\\d\\d"), WString::npos);
  EXPECT_EQ(script.find(u"rd \"C:\\P\\d\"\r\n"), WString::npos);  // the 60th line is never reached
}

TEST(SelfDeletionTextTest, RdLinesForGivenFoldersInTheirOrder) {
  const WString apart = u"C:\\CF\\Kestrelon Setup\\0123456789ABCDEF\\uninstall.exe";
  const WString script = BuildSelfDeletionScript(
      apart, {u"C:\\CF\\Kestrelon Setup\\0123456789ABCDEF", u"C:\\CF\\Kestrelon Setup"}, kScript);
  EXPECT_EQ(script, u":Repeat\r\ndel \"" + apart + u"\"\r\nif exist \"" + apart + u"\" goto Repeat\r\n"
                    u"CHOICE /T 3 /D Y\r\n"
                    u"rd \"C:\\CF\\Kestrelon Setup\\0123456789ABCDEF\"\r\nrd \"C:\\CF\\Kestrelon Setup\"\r\n"
                    u"del \"C:\\T\\delunins.bat\"\r\n");
}

TEST(SelfDeletionTextTest, DriveRootInstallFolderKeepsItsBackslash) {
  const WString script = BuildSelfDeletionScript(kExe, u"D:\\", u"", kScript);
  EXPECT_NE(script.find(u"rd \"D:\\\"\r\n"), WString::npos);
}

TEST(SelfDeletionTextTest, PathsTheInterpreterCannotReadAreNamedByTheirShortForm) {
  const WString long_ascii = u"C:\\" + WString(300, u'a') + u"\\x.exe";
  const struct {
    const char* name;
    WString path, short_form, named;
  } cases[] = {
      {"plain stays", u"C:\\P\\unins.exe", u"C:\\P\\UNINS.EXE", u"C:\\P\\unins.exe"},
      {"Greek takes the short form", u"C:\\\u0391\u03b2\\x.exe", u"C:\\AB~1\\x.exe", u"C:\\AB~1\\x.exe"},
      {"outside the plane takes it", u"C:\\\U0001D11E\\x.exe", u"C:\\___~1\\x.exe", u"C:\\___~1\\x.exe"},
      {"too long takes it", long_ascii, u"C:\\AAAA~1\\x.exe", u"C:\\AAAA~1\\x.exe"},
      {"no short form keeps the path", u"C:\\\u4e2d\\x.exe", u"C:\\\u4e2d\\x.exe", u"C:\\\u4e2d\\x.exe"},
      {"a short form too long keeps the path", long_ascii, long_ascii, long_ascii},
  };
  for (const auto& c : cases) EXPECT_EQ(ScriptPathName(c.path, c.short_form), c.named) << c.name;

  const WString script = BuildSelfDeletionScript(kExe, u"C:\\P", u"un", kScript, [](const WString& path) {
    return path == u"C:\\P\\un" ? WString(u"C:\\P\\UN~1") : path;
  });
  EXPECT_EQ(script, kHead + u"rd \"C:\\P\\UN~1\"\r\n" + kTail);
}

TEST(SelfDeletionTextTest, APathTooLongForTheInterpreterGivesNoScript) {
  const WString fits = u"rd \"C:\\" + WString(kMaxScriptPathLength - 3, u'a') + u"\"\r\n";
  const WString too_long = u"rd \"C:\\" + WString(kMaxScriptPathLength - 2, u'a') + u"\"\r\n";
  EXPECT_TRUE(EncodeSelfDeletionScript(fits, true).has_value());
  EXPECT_FALSE(EncodeSelfDeletionScript(too_long, true).has_value());
}

TEST(SelfDeletionTextTest, CodePageRule) {
  const struct {
    const char* name;
    WString text;
    bool utf8_console;
    std::optional<NString> bytes;
  } cases[] = {
      {"ascii on Windows 7", u"rd \"C:\\P\"\r\n", true, "@chcp 1252 >nul\r\nrd \"C:\\P\"\r\n"},
      {"ascii before Windows 7", u"rd \"C:\\P\"\r\n", false, "@chcp 1252 >nul\r\nrd \"C:\\P\"\r\n"},
      {"accent on Windows 7", u"rd \"C:\\P\u00e9\"\r\n", true, "@chcp 65001 >nul\r\nrd \"C:\\P\xc3\xa9\"\r\n"},
      {"accent before Windows 7", u"rd \"C:\\P\u00e9\"\r\n", false, "@chcp 1252 >nul\r\nrd \"C:\\P\xe9\"\r\n"},
      {"CJK on Windows 7", u"\u4e2d", true, "@chcp 65001 >nul\r\n\xe4\xb8\xad"},
      // "del \"C:\P?\x.exe\"" would be a wildcard: no script at all.
      {"CJK before Windows 7", u"del \"C:\\P\u4e2d\\x.exe\"", false, std::nullopt},
      {"outside the plane before Windows 7", u"rd \"C:\\\U0001F600\"", false, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeSelfDeletionScript(c.text, c.utf8_console), c.bytes) << c.name;
}

}  // namespace
}  // namespace ks
