#include "core/command_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace ks {
namespace {

std::string Show(WStringView s) { return WideToUtf8(s); }

void ExpectSameOptions(const StartOptions& want, const StartOptions& got) {
  EXPECT_EQ(want.automatic, got.automatic);
  EXPECT_EQ(want.silent, got.silent);
  EXPECT_EQ(want.minimised_background, got.minimised_background);
  EXPECT_EQ(Show(want.install_folder), Show(got.install_folder));
  EXPECT_EQ(want.install_folder_ansi, got.install_folder_ansi);
  EXPECT_EQ(Show(want.product_name), Show(got.product_name));
  EXPECT_EQ(want.uninstall, got.uninstall);
  EXPECT_EQ(Show(want.uninstall_name), Show(got.uninstall_name));
  EXPECT_EQ(Show(want.run_after), Show(got.run_after));
  EXPECT_EQ(want.batch_additions, got.batch_additions);
}

struct Row {
  const char16_t* line;
  std::function<void(StartOptions&)> expect;  // changes from the defaults
  const char16_t* usage_prefix;               // nullptr: no usage message
  bool may_show_box;
};

const auto kNothing = [](StartOptions&) {};

void Folder(StartOptions& o, const char16_t* wide, const char* ansi) {
  o.install_folder = wide;
  o.install_folder_ansi = ansi;
}

const Row kRows[] = {
    {u"", kNothing, nullptr, true},
    {u"setup.exe", kNothing, nullptr, true},
    {u"  \"C:\\Program Files\\setup.exe\"  /a", [](StartOptions& o) { o.automatic = true; },
     nullptr, true},
    // "/a" glued to the quoted path is part of the program's own atom.
    {u"\"C:\\Program Files\\setup.exe\"/a", kNothing, nullptr, true},
    {u"setup.exe -a", [](StartOptions& o) { o.automatic = true; }, nullptr, true},
    {u"setup.exe /A", [](StartOptions& o) { o.automatic = true; }, nullptr, true},
    {u"setup.exe /SILENT", [](StartOptions& o) { o.automatic = o.silent = true; }, nullptr, true},
    {u"setup.exe -silent", [](StartOptions& o) { o.automatic = o.silent = true; }, nullptr, true},
    {u"setup.exe /min", [](StartOptions& o) { o.minimised_background = true; }, nullptr, true},
    {u"setup.exe\t/a\r\n/MIN\n",
     [](StartOptions& o) { o.automatic = o.minimised_background = true; }, nullptr, true},
    {u"setup.exe /d:\"C:\\Program Files\\Foo\\\"",
     [](StartOptions& o) { Folder(o, u"C:\\Program Files\\Foo", "C:\\Program Files\\Foo"); },
     nullptr, true},
    {u"setup.exe /D:C:\\Foo", [](StartOptions& o) { Folder(o, u"C:\\Foo", "C:\\Foo"); }, nullptr,
     true},
    {u"setup.exe /d:C:\\Foo\\\\", [](StartOptions& o) { Folder(o, u"C:\\Foo\\", "C:\\Foo\\"); },
     nullptr, true},
    {u"setup.exe /d:C:\\\"Program Files\"\\Foo",
     [](StartOptions& o) { Folder(o, u"C:\\\"Program Files\"\\Foo", "C:\\\"Program Files\"\\Foo"); },
     nullptr, true},
    {u"setup.exe /d:\"C:\\Foo", [](StartOptions& o) { Folder(o, u"\"C:\\Foo", "\"C:\\Foo"); },
     nullptr, true},  // never closed: only one quote, so none is removed
    {u"setup.exe /d:\"", [](StartOptions& o) { Folder(o, u"\"", "\""); }, nullptr, true},
    {u"setup.exe /d:\"\"", kNothing, nullptr, true},
    {u"setup.exe /d:", kNothing, nullptr, true},
    {u"setup.exe /d:A /d:B", [](StartOptions& o) { Folder(o, u"B", "B"); }, nullptr, true},
    {u"setup.exe /n:\"My Product\"", [](StartOptions& o) { o.product_name = u"My Product"; },
     nullptr, true},
    {u"setup.exe /N:\"a\"\"b\"", [](StartOptions& o) { o.product_name = u"a\"b"; }, nullptr,
     true},
    {u"setup.exe /n:X /n:Y", [](StartOptions& o) { o.product_name = u"Y"; }, nullptr, true},
    {u"setup.exe /u", [](StartOptions& o) { o.uninstall = true; }, nullptr, true},
    {u"setup.exe /u:", [](StartOptions& o) { o.uninstall = true; }, nullptr, true},
    {u"setup.exe /uninstall", [](StartOptions& o) { o.uninstall = true; }, nullptr, true},
    {u"setup.exe /u:\"Prod X\"",
     [](StartOptions& o) {
       o.uninstall = true;
       o.uninstall_name = u"Prod X";
     },
     nullptr, true},
    {u"setup.exe -U:Prod",
     [](StartOptions& o) {
       o.uninstall = true;
       o.uninstall_name = u"Prod";
     },
     nullptr, true},
    {u"setup.exe /u:Prod /uninstall",  // no colon: the name is left as it was
     [](StartOptions& o) {
       o.uninstall = true;
       o.uninstall_name = u"Prod";
     },
     nullptr, true},
    {u"setup.exe /r:\"notepad.exe `C:\\a b.txt`\"",
     [](StartOptions& o) { o.run_after = u"notepad.exe \"C:\\a b.txt\""; }, nullptr, true},
    {u"setup.exe /R:\"calc", [](StartOptions& o) { o.run_after = u"calc"; }, nullptr, true},
    {u"setup.exe /b1:\"echo a~~echo `b`\"",
     [](StartOptions& o) { o.batch_additions[0] = "echo a\r\necho \"b\""; }, nullptr, true},
    {u"setup.exe /B2:\"x~~~y\" /b3:\"\"",
     [](StartOptions& o) { o.batch_additions[1] = "x\r\n~y"; }, nullptr, true},
    {u"setup.exe /b3:\"one\" /b3:\"two\"", [](StartOptions& o) { o.batch_additions[2] = "two"; },
     nullptr, true},
    {u"setup.exe / -", kNothing, nullptr, true},
    // Wrong atoms.
    {u"setup.exe bogus", kNothing, u"Unexpected command line parameter:\r\nbogus", true},
    {u"setup.exe \"/a\"", kNothing, u"Unexpected command line parameter:\r\n\"/a\"", true},
    {u"setup.exe /x", kNothing, u"Illegal command line atom:\r\n/x", true},
    {u"setup.exe /r:notepad", kNothing, u"Illegal command line atom:\r\n/r:notepad", true},
    {u"setup.exe /b1:echo", kNothing, u"Illegal command line atom:\r\n/b1:echo", true},
    {u"setup.exe /b4:\"echo\"", kNothing, u"Illegal command line atom:\r\n/b4:\"echo\"", true},
    {u"setup.exe /aa", kNothing, u"Illegal command line atom:\r\n/aa", true},
    {u"setup.exe /silentx", kNothing, u"Illegal command line atom:\r\n/silentx", true},
    {u"setup.exe /silent /x", [](StartOptions& o) { o.automatic = o.silent = true; },
     u"Illegal command line atom:\r\n/x", false},
    {u"setup.exe /silent bogus", [](StartOptions& o) { o.automatic = o.silent = true; },
     u"Unexpected command line parameter:\r\nbogus", false},
    {u"setup.exe /a /x /silent", [](StartOptions& o) { o.automatic = true; },
     u"Illegal command line atom:\r\n/x", true},
    // Nineteen atoms are read; the twentieth and later are ignored even when wrong.
    {u"s /a /a /a /a /a /a /a /a /a /a /a /a /a /a /a /a /a /a /silent bogus /x",
     [](StartOptions& o) { o.automatic = o.silent = true; }, nullptr, true},
    {u"s /a /a /a /a /a /a /a /a /a /a /a /a /a /a /a /a /a /a bogus /silent",
     [](StartOptions& o) { o.automatic = true; }, u"Unexpected command line parameter:\r\nbogus",
     true},
};

TEST(CommandLine, EveryRowOfTheGrammar) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(Show(row.line));
    const ParsedCommandLine parsed = ParseCommandLine(row.line);
    StartOptions want;
    row.expect(want);
    ExpectSameOptions(want, parsed.options);
    ASSERT_EQ(row.usage_prefix != nullptr, parsed.usage.has_value());
    if (parsed.usage) {
      EXPECT_EQ(Show(row.usage_prefix), Show(parsed.usage->prefix));
      EXPECT_EQ(row.may_show_box, parsed.usage->may_show_box);
    }
  }
}

TEST(CommandLine, SplitKeepsQuotedPartsWithTheirQuotes) {
  const struct {
    const char16_t* line;
    std::vector<WString> atoms;
  } kCases[] = {
      {u"", {}},
      {u"   ", {}},
      {u"\"C:\\a b\\s.exe\" /d:\"C:\\x y\" /a", {u"/d:\"C:\\x y\"", u"/a"}},
      {u"s /n:\"a\"\"b\" c", {u"/n:\"a\"b\"", u"c"}},
      {u"s \"\"", {u"\"\""}},
      {u"s \"a\"b\"c d\" e", {u"\"a\"b\"c d\"", u"e"}},
      {u"s /n:\"never closed  x", {u"/n:\"never closed  x"}},
      {u"\"never closed program path /a", {}},
      {u"s \t\r\n a \t\r\n b", {u"a", u"b"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Show(c.line));
    EXPECT_EQ(c.atoms, SplitCommandLine(c.line));
  }
}

TEST(CommandLine, NothingAfterANulIsRead) {
  static constexpr char16_t kLine[] = u"setup.exe /a\0/bogus";
  const WString line(kLine, sizeof kLine / sizeof kLine[0] - 1);
  const ParsedCommandLine parsed = ParseCommandLine(line);
  EXPECT_FALSE(parsed.usage);
  EXPECT_TRUE(parsed.options.automatic);
}

TEST(CommandLine, AtMostNineteenAtomsOfTwentyFive) {
  WString line = u"setup.exe";
  for (int i = 0; i < 25; ++i) line += u" /a" + WString(1, static_cast<char16_t>(u'A' + i));
  const std::vector<WString> atoms = SplitCommandLine(line);
  ASSERT_EQ(kMaxAtoms, atoms.size());
  EXPECT_EQ(u"/aS", atoms.back());
}

TEST(CommandLine, OverlongLineHasNoLengthLimit) {
  const WString folder(100000, u'x');
  const ParsedCommandLine parsed =
      ParseCommandLine(u"setup.exe /d:\"C:\\" + folder + u"\\\" /n:" + folder);
  EXPECT_FALSE(parsed.usage);
  EXPECT_EQ(u"C:\\" + folder, parsed.options.install_folder);
  EXPECT_EQ("C:\\" + std::string(100000, 'x'), parsed.options.install_folder_ansi);
  EXPECT_EQ(folder, parsed.options.product_name);

  const WString junk(100000, u'"');
  EXPECT_TRUE(ParseCommandLine(u"s " + junk).usage);
  EXPECT_TRUE(ParseCommandLine(u"s /" + WString(100000, u' ') + u"/x").usage);
}

TEST(CommandLine, NonAsciiFolderAndName) {
  const ParsedCommandLine parsed = ParseCommandLine(
      u"setup.exe /d:\"C:\\Programme\\M\u00fcller \u0416\\\" /n:\"Caf\u00e9 \u65e5\u672c\"");
  ASSERT_FALSE(parsed.usage);
  EXPECT_EQ(u"C:\\Programme\\M\u00fcller \u0416", parsed.options.install_folder);
  // The default system code page here is 1252: u-umlaut is 0xFC, Cyrillic has no byte.
  EXPECT_EQ("C:\\Programme\\M\xFCller ?", parsed.options.install_folder_ansi);
  EXPECT_EQ(u"Caf\u00e9 \u65e5\u672c", parsed.options.product_name);
}

// A double-byte code page in which U+FF5E is the bytes 0x81 0x60; the trail
// byte is a backquote in ASCII.
NString FakeDbcsFromWide(WStringView text, char fallback) {
  NString out;
  for (char16_t c : text) {
    if (c == u'\uFF5E') {
      out += "\x81\x60";
    } else {
      out += c < 0x80 ? static_cast<char>(c) : fallback;
    }
  }
  return out;
}
WString FakeDbcsToWide(NStringView) { return {}; }

TEST(CommandLine, BatchTextIsNotRewrittenInsideDoubleByteCharacters) {
  SetAnsiCodePage(AnsiCodePage{FakeDbcsToWide, FakeDbcsFromWide});
  const ParsedCommandLine parsed = ParseCommandLine(u"s /b1:\"echo \uFF5E `x`\"");
  SetAnsiCodePage(AnsiCodePage{Cp1252ToWide, WideToCp1252});
  ASSERT_FALSE(parsed.usage);
  EXPECT_EQ("echo \x81\x60 \"x\"", parsed.options.batch_additions[0]);
}

TEST(CommandLine, UsageTextIsExact) {
  const WString text = BuildUsageText(u"Illegal command line atom:\r\n/x", u"setup.exe");
  const std::string want =
      "Illegal command line atom:\r\n/x\r\n\r\nUsage:\r\nsetup.exe [/a] [/b1:\"commands\"] "
      "[/b2:\"commands\"] [/b3:\"commands\"] [/d:\"dir\"] [/n:\"name\"] [/u:\"name\"] "
      "[/r:\"program\"] [/silent]\r\n\r\n"
      "/a                  \tAutomatic mode.\r\n"
      "/d:\"dir\"        \tOverride installation path.\r\n"
      "/b1:\"commands\"\tAdd commands to the end of the Pre-Installation Batch.\r\n"
      "/b2:\"commands\"\tAdd commands to the end of the Post-Installation Batch.\r\n"
      "/b3:\"commands\"\tAdd commands to the end of the Installation-Exit Batch.\r\n"
      "/n:\"name\"\tOverride product name.\r\n"
      "/u:\"name\"\tUninstall product by name.\r\n"
      "/r:\"program\"\tRun the specified program after a successful installation.\r\n"
      "/silent\tDisplay no user interface.";
  EXPECT_EQ(want, Show(text));
  EXPECT_EQ(std::string::npos, Show(text).find("MIN"));
}

TEST(CommandLine, FileNameOfDropsTheFolder) {
  const struct {
    const char16_t* path;
    const char16_t* name;
  } kCases[] = {
      {u"C:\\dir\\setup.exe", u"setup.exe"}, {u"setup.exe", u"setup.exe"},
      {u"C:setup.exe", u"setup.exe"},        {u"\\\\srv\\share\\x y.exe", u"x y.exe"},
      {u"C:\\dir\\", u""},                   {u"", u""},
  };
  for (const auto& c : kCases) EXPECT_EQ(WString(c.name), FileNameOf(c.path)) << Show(c.path);
}

}  // namespace
}  // namespace ks
