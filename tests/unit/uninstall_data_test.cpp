#include "records/uninstall_data.h"

#include <gtest/gtest.h>

#include "lib/csv_record.h"
#include "lib/file_result.h"

namespace ks {
namespace {

// Texts "T<n>" for every number, so the [Strings] section is predictable.
UninstallTexts NumberTexts(WString title = u"Setup") {
  UninstallTexts t;
  t.text = [](int n) { return u"T" + Widen(std::to_string(n)); };
  t.page_header_title = std::move(title);
  return t;
}

NString ExpectedStrings(const NString& title = "Setup") {
  NString s = "\r\n\r\n[Strings]\r\n";
  for (int n : kUninstallTextNumbers) s += "~" + std::to_string(n) + "\r\nT" + std::to_string(n) + "\r\n";
  return s + "~999\r\n" + title + "\r\n";
}

TEST(UninstallDataRecordTest, ItemPrefixesAndRules) {
  UninstallData d;
  const struct {
    const char* name;
    NString text;
    int kind;
    bool recorded;
  } cases[] = {
      {"file", "C:\\App\\a.exe", kUninstallFile, true},
      {"folder", "C:\\App\\Sub", kUninstallFolder, true},
      {"same folder, other case", "c:\\app\\SUB", kUninstallFolder, false},
      {"registry value", "\\HKLM\\\\Software\\App\\Value", kUninstallRegistryValue, true},
      {"registry key", "\\HKCU\\\\Software\\App", kUninstallRegistryKey, true},
      {"64-bit key", "\\HKLM\\\\Software\\App", kUninstallRegistryKey64, true},
      {"unknown kind is a file", "C:\\b.txt", 9, true},
      {"three bytes", "C:\\", kUninstallFile, false},
      {"three-byte folder", "C:\\", kUninstallFolder, false},
      {"empty", "", kUninstallFile, false},
      {"line break", "C:\\a\r\n[Strings]", kUninstallFile, false},
  };
  for (const auto& c : cases) EXPECT_EQ(d.RecordItem(NStringView(c.text), c.kind), c.recorded) << c.name;
  EXPECT_EQ(d.items(),
            "C:\\App\\a.exe\r\n~C:\\App\\Sub\r\n!\\HKLM\\\\Software\\App\\Value\r\n^\\HKCU\\\\Software\\App\r\n"
            "*\\HKLM\\\\Software\\App\r\nC:\\b.txt\r\n");
}

TEST(UninstallDataRecordTest, WideItemsAndFolderCaseBeyondAscii) {
  UninstallData d;
  EXPECT_TRUE(d.RecordItem(WStringView(u"C:\\plain.txt"), kUninstallFile));
  EXPECT_TRUE(d.RecordItem(WStringView(u"C:\\caf\u00E9.txt"), kUninstallFile));
  EXPECT_TRUE(d.RecordItem(WStringView(u"\\HKCU\\\\Software\\\u00C9"), kUninstallRegistryValue));
  EXPECT_TRUE(d.RecordItem(WStringView(u"C:\\\u00C9t\u00E9"), kUninstallFolder));
  // The same folder recorded as plain 1252 text and in other case is still the same folder.
  EXPECT_FALSE(d.RecordItem(WStringView(u"c:\\\u00E9T\u00C9"), kUninstallFolder));
  EXPECT_FALSE(d.RecordItem(NStringView("C:\\\xC9t\xE9"), kUninstallFolder));
  EXPECT_EQ(d.items(),
            "C:\\plain.txt\r\n|C:\\caf\xC3\xA9.txt\r\n!\\HKCU\\\\Software\\\xC3\x89\r\n~|C:\\\xC3\x89t\xC3\xA9\r\n");
}

TEST(UninstallDataRecordTest, ClearForgetsItemsAndFolders) {
  UninstallData d;
  ASSERT_TRUE(d.RecordItem(NStringView("C:\\App"), kUninstallFolder));
  d.Clear();
  EXPECT_EQ(d.items(), "");
  EXPECT_TRUE(d.RecordItem(NStringView("C:\\App"), kUninstallFolder));
}

TEST(UninstallDataRecordTest, SectionLinesRefuseLineBreaks) {
  UninstallData d;
  EXPECT_FALSE(d.AddAssociation(".a\r\n[MSI]", "P", "open", u""));
  EXPECT_FALSE(d.AddAssociation(".a", "P", "open", u"x\ny"));
  EXPECT_FALSE(d.AddFirewallLine("80;a\r\n;1;0"));
  EXPECT_FALSE(d.AddInfLine(u"C:\\a\r.inf"));
  EXPECT_FALSE(d.AddMsiPackage(u"C:\\a\n.msi", 1));
  EXPECT_EQ(d.associations() + d.firewall() + d.inf() + d.msi(), "");
  EXPECT_TRUE(d.AddAssociation(".a", "P", "open", u""));
  EXPECT_EQ(d.associations(), ".a~!~P~!~open~!~\r\n");
}

TEST(CsvTest, FieldQuoting) {
  const struct {
    NString field, written;
  } cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"a;b", "\"a;b\""},
      {"a|b", "\"a|b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"tab\there", "\"tab\there\""},
      {"line\r\nbreak", "\"line\r\nbreak\""},
      {" lead", "\" lead\""},
      {"'quote", "\"'quote\""},
      {"#hash", "\"#hash\""},
      {"trail ", "\"trail \""},
      {"mid space", "mid space"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CsvField(c.field), c.written) << c.field;
    const std::vector<NString> back = ParseCsvRecord(CsvRecord({c.field, "x"}));
    ASSERT_EQ(back.size(), 2u) << c.field;
    EXPECT_EQ(back[0], c.field);
    EXPECT_EQ(back[1], "x");
  }
}

TEST(CsvTest, Reading) {
  using V = std::vector<NString>;
  const struct {
    NString line;
    V fields;
  } cases[] = {
      {"a,b,c", V{"a", "b", "c"}},
      {"  a , b ,c", V{"a", "b", "c"}},
      {"a,", V{"a", ""}},
      {",", V{"", ""}},
      {"\"a,b\",c", V{"a,b", "c"}},
      {"\"a\"\",b\",c", V{"a\",b", "c"}},
      {"\"unclosed, runs on", V{"\"unclosed, runs on"}},
      {"\"x\" tail,y", V{"\"x\" tail", "y"}},
      {"", V{""}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseCsvRecord(c.line), c.fields) << c.line;
}

TEST(UninstallDataFileTest, EmptyDataIsItemlessStrings) {
  const NString file = BuildUninstallDataFile(UninstallData{}, NumberTexts());
  EXPECT_EQ(file, ExpectedStrings());
  const UninstallDataContent c = ParseUninstallDataFile(file);
  EXPECT_TRUE(c.items.empty());
  ASSERT_EQ(c.texts.size(), 32u);
  EXPECT_EQ(c.texts.front(), (std::pair<int, WString>{10, u"T10"}));
  EXPECT_EQ(c.texts.back(), (std::pair<int, WString>{115, u"T115"}));
  EXPECT_TRUE(c.has_page_header_title);
  EXPECT_EQ(c.page_header_title, u"Setup");
}

UninstallData FullData() {
  UninstallData d;
  d.RecordItem(WStringView(u"C:\\App\\a.exe"), kUninstallFile);
  d.RecordItem(WStringView(u"C:\\App"), kUninstallFolder);
  d.AddAutoCloseRule({u"*Frame", u"App \u00E9", "App Caf\xE9", 2});
  d.AddAutoCloseRule({u"", u"a,b", "x", 0});
  d.AddAssociation(".abc", "App.Doc", "open", u"C:\\App\\\u00E9.ico,0");
  d.AddFirewallLine("8080;App server;1;0");
  d.AddInfLine(u"C:\\Windows\\INF\\oem7.inf");
  d.AddMsiPackage(u"C:\\App\\redist.msi", 2);
  d.SetRegistryText(u"\\HKCU\\\\Software\\App\r\n\\HKCU\\\\Software\\App,Name,1,\"a,b\",3\r\n");
  d.AddConditionalDeletion({"*.tmp", 4, "100", kDeleteAtUninstall});
  d.AddConditionalDeletion({"install-only.tmp", 0, "", 0x04});
  d.AddConditionalDeletion({"|C:\\\xC3\xA9.log", 2, "2026/01/02 03:04:05", kDeleteAtUninstall | 0x02});
  return d;
}

TEST(UninstallDataFileTest, EveryPartByteForByte) {
  const NString expected =
      "C:\\App\\a.exe\r\n~C:\\App\r\n" + ExpectedStrings("Caf\xC3\xA9 Setup") +
      "\r\n\r\n[AutoClose]\r\n*Frame,App \xC3\xA9,App Caf\xE9,2\r\n,\"a,b\",x,0\r\n"
      "\r\n\r\n[Associations]\r\n.abc~!~App.Doc~!~open~!~|C:\\App\\\xC3\xA9.ico,0\r\n"
      "\r\n\r\n[Firewall]\r\n8080;App server;1;0\r\n"
      "\r\n\r\n[INF]\r\nC:\\Windows\\INF\\oem7.inf\r\n"
      "\r\n\r\n[MSI]\r\n\"C:\\App\\redist.msi\",2\r\n"
      "\r\n\r\n[Registry2]\r\n\\HKCU\\\\Software\\App\r\n\\HKCU\\\\Software\\App,Name,1,\"a,b\",3\r\n"
      "\r\n\r\n[ConditionalDelete]\r\n*.tmp,4,100,8\r\n\"|C:\\\xC3\xA9.log\",2,2026/01/02 03:04:05,10\r\n";
  EXPECT_EQ(BuildUninstallDataFile(FullData(), NumberTexts(u"Caf\u00E9 Setup")), expected);
}

TEST(UninstallDataFileTest, RoundTrip) {
  const UninstallDataContent c = ParseUninstallDataFile(BuildUninstallDataFile(FullData(), NumberTexts()));
  EXPECT_EQ(c.items, (std::vector<NString>{"C:\\App\\a.exe", "~C:\\App"}));
  EXPECT_EQ(c.auto_close, (std::vector<AutoCloseRule>{{u"*Frame", u"App \u00E9", "App Caf\xE9", 2, 4},
                                                      {u"", u"a,b", "x", 0, 2}}));
  EXPECT_EQ(c.associations, (std::vector<AssociationRecord>{{".abc", "App.Doc", "open", "|C:\\App\\\xC3\xA9.ico,0"}}));
  EXPECT_EQ(c.firewall, (std::vector<NString>{"8080;App server;1;0"}));
  EXPECT_EQ(c.inf, (std::vector<NString>{"C:\\Windows\\INF\\oem7.inf"}));
  EXPECT_EQ(c.msi, (std::vector<NString>{"\"C:\\App\\redist.msi\",2"}));
  EXPECT_EQ(c.registry, "\\HKCU\\\\Software\\App\r\n\\HKCU\\\\Software\\App,Name,1,\"a,b\",3\r\n");
  EXPECT_EQ(c.deletions, (std::vector<ConditionalDeletion>{{"*.tmp", 4, "100", 8},
                                                           {"|C:\\\xC3\xA9.log", 2, "2026/01/02 03:04:05", 10}}));
  EXPECT_EQ(c.texts.size(), 32u);
}

TEST(UninstallDataFileTest, StringsTexts) {
  const NString file =
      "[Strings]\n"
      "~10\r\nfirst line\r\n\r\nsecond line  \r\n\r\n"  // inner breaks kept, trailing ones removed
      "~15\rends at tilde\r~x not a number\n"
      "~0\nignored zero\n"
      "~1001\nignored high\n"
      "~1000\nlast accepted\n"
      "~20\ncut by header\n[Firewall]\nfw\n"
      "[Strings]\n~999\nTitle \xC3\xA9";  // no final line end
  const UninstallDataContent c = ParseUninstallDataFile(file);
  const std::vector<std::pair<int, WString>> expected = {
      {10, u"first line\r\n\r\nsecond line"}, {15, u"ends at tilde"}, {1000, u"last accepted"}, {20, u"cut by header"}};
  EXPECT_EQ(c.texts, expected);
  EXPECT_EQ(c.firewall, (std::vector<NString>{"fw"}));
  EXPECT_EQ(c.page_header_title, u"Title \u00E9");
}

TEST(UninstallDataFileTest, LineEndsAndSkippedLines) {
  const NString file =
      "  C:\\a.txt \n\r"   // LF CR is one line end
      "\n"
      "C:\\b.txt\r"
      "[Associations]\r\n"
      "a~!~b~!~c\r\n"        // no icon: kept
      "a~!~~!~c~!~i\r\n"     // empty ProgID: skipped
      "x~!~y\r\n"            // verb missing: skipped
      "[AutoClose]\r\n"
      "c,t,n\r\n"            // three fields: skipped
      "c,t,n,3,extra\r\n"    // five: skipped
      "c,t,n,3\r\n"
      "[ConditionalDelete]\r\n"
      "p,1,v\r\n"
      "p,300,v,9\r\n"        // codes are bytes
      "[MSI]\r\n"
      "\"a.msi\",1";
  const UninstallDataContent c = ParseUninstallDataFile(file);
  EXPECT_EQ(c.items, (std::vector<NString>{"C:\\a.txt", "C:\\b.txt"}));
  EXPECT_EQ(c.associations, (std::vector<AssociationRecord>{{"a", "b", "c", ""}}));
  EXPECT_EQ(c.auto_close, (std::vector<AutoCloseRule>{{u"c", u"t", "n", 3, 2}}));
  EXPECT_EQ(c.deletions, (std::vector<ConditionalDeletion>{{"p", 44, "v", 9}}));
  EXPECT_EQ(c.msi, (std::vector<NString>{"\"a.msi\",1"}));
}

TEST(UninstallDataFileTest, DamagedInputKeepsOnlyValidLines) {
  const struct {
    const char* name;
    NString bytes;
    std::size_t items, texts;
  } cases[] = {
      {"empty", "", 0, 0},
      {"only line ends", "\r\n\n\r\r", 0, 0},
      {"truncated header", "C:\\a.txt\r\n\r\n[Stri", 2, 0},
      {"truncated text", "[Strings]\r\n~10\r\nhal", 0, 1},
      {"lone tilde", "[Strings]\r\n~", 0, 0},
      {"huge number", "[Strings]\r\n~99999999999999999999999\r\nx", 0, 0},
      {"nul bytes", NString("C:\\a\0b\r\n[Strings]\r\n~10\r\n\0", 22), 1, 1},
      {"utf-16", NString("\xFF\xFE[\0S\0", 6), 1, 0},
  };
  for (const auto& c : cases) {
    const UninstallDataContent content = ParseUninstallDataFile(c.bytes);
    EXPECT_EQ(content.items.size(), c.items) << c.name;
    EXPECT_EQ(content.texts.size(), c.texts) << c.name;
  }
}

TEST(UninstallDataLinesTest, MsiAndFirewall) {
  NString path;
  std::int32_t level = -9;
  EXPECT_TRUE(ParseMsiLine("\"C:\\a,b.msi\",3", path, level));
  EXPECT_EQ(path, "C:\\a,b.msi");
  EXPECT_EQ(level, 3);
  EXPECT_FALSE(ParseMsiLine("\"C:\\a.msi\"", path, level));
  EXPECT_FALSE(ParseMsiLine("a,b,c", path, level));
  EXPECT_FALSE(ParseMsiLine("a,x", path, level));

  std::vector<NString> f;
  EXPECT_TRUE(ParseFirewallLine("|C:\\\xC3\xA9.exe;Name;3;0", f));
  EXPECT_EQ(f, (std::vector<NString>{"|C:\\\xC3\xA9.exe", "Name", "3", "0"}));
  EXPECT_FALSE(ParseFirewallLine("80;Name;1", f));
  EXPECT_TRUE(f.empty());
  EXPECT_FALSE(ParseFirewallLine("80;a;1;0;x", f));
}

TEST(UninstallDataLinesTest, LoadErrorText) {
  EXPECT_EQ(UninstallDataLoadError(u"App", u"C:\\App\\Uninstall.DAT", 3),
            u"The uninstall information for App could not be loaded.\r\n\r\nFilepath: C:\\App\\Uninstall.DAT\r\n"
            u"Code 3: " + FileResultMessageW(3));
}

}  // namespace
}  // namespace ks
