#include "lib/registry_path.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ks {
namespace {

using Data = std::vector<std::uint8_t>;

TEST(RegistryPathTest, PrefixesRootsAndFailures) {
  const struct {
    const char* path;
    bool ok;
    RegRoot root;
    const char16_t* key;
  } cases[] = {
      {"\\HKLM\\Software\\Maker", true, RegRoot::kLocalMachine, u"Software\\Maker"},
      {"\\hklm\\Software\\Maker", true, RegRoot::kLocalMachine, u"Software\\Maker"},
      {"\\HKEY_LOCAL_MACHINE\\Software\\Maker", true, RegRoot::kLocalMachine, u"Software\\Maker"},
      {"\\hkey_local_machine\\Software\\Maker", true, RegRoot::kLocalMachine, u"Software\\Maker"},
      {"\\HKLM", true, RegRoot::kLocalMachine, u""},
      {"\\HKLM\\", true, RegRoot::kLocalMachine, u""},
      {"\\HKEY_LOCAL_MACHINE", true, RegRoot::kLocalMachine, u""},
      {"\\HKCU\\Software", true, RegRoot::kCurrentUser, u"Software"},
      {"\\HKEY_CURRENT_USER\\Software", true, RegRoot::kCurrentUser, u"Software"},
      {"\\HKCR\\.txt", true, RegRoot::kClassesRoot, u".txt"},
      {"\\HKEY_CLASSES_ROOT\\.txt", true, RegRoot::kClassesRoot, u".txt"},
      {"\\HKU\\S-1-5-18\\Software", true, RegRoot::kUsers, u"S-1-5-18\\Software"},
      {"\\hku", true, RegRoot::kUsers, u""},
      {"\\HKEY_USERS\\.DEFAULT", true, RegRoot::kUsers, u".DEFAULT"},
      {"\\HKCC\\System", true, RegRoot::kCurrentConfig, u"System"},
      {"\\HKEY_CURRENT_CONFIG\\System", true, RegRoot::kCurrentConfig, u"System"},
      {"\\HKDD\\PerfStats", true, RegRoot::kDynData, u"PerfStats"},
      {"\\HKEY_DYN_DATA\\PerfStats", true, RegRoot::kDynData, u"PerfStats"},
      // Only the prefix's one backslash goes; a second one stays in the key.
      {"\\HKLM\\\\Software", true, RegRoot::kLocalMachine, u"\\Software"},
      // Failures (error 161).
      {"HKLM\\Software", false, RegRoot::kLocalMachine, u""},
      {"HKEY_LOCAL_MACHINE\\Software", false, RegRoot::kLocalMachine, u""},
      {"\\HKEY_LOCAL_MACHINESoftware", false, RegRoot::kLocalMachine, u""},
      {"\\HKEY_USERSX", false, RegRoot::kLocalMachine, u""},
      {"\\HKLMX\\Software", false, RegRoot::kLocalMachine, u""},
      {"\\HKAU\\Software", false, RegRoot::kLocalMachine, u""},
      {"\\Software\\Maker", false, RegRoot::kLocalMachine, u""},
      {"", false, RegRoot::kLocalMachine, u""},
  };
  for (const auto& c : cases) {
    RegPath wide, narrow;
    EXPECT_EQ(ParseRegistryPath(Widen(c.path), wide), c.ok) << c.path;
    EXPECT_EQ(ParseRegistryPath(NStringView(c.path), narrow), c.ok) << c.path << " (narrow)";
    if (!c.ok) continue;
    EXPECT_EQ(wide.root, c.root) << c.path;
    EXPECT_EQ(wide.key, c.key) << c.path;
    EXPECT_EQ(narrow.root, c.root) << c.path;
    EXPECT_EQ(narrow.key, c.key) << c.path;
  }
}

TEST(RegistryPathTest, ShortAndLongFormsNameTheSameKey) {
  RegPath a, b;
  ASSERT_TRUE(ParseRegistryPath(WStringView(u"\\hkcu\\Software\\Maker\\Product"), a));
  ASSERT_TRUE(ParseRegistryPath(WStringView(u"\\HKEY_CURRENT_USER\\Software\\Maker\\Product"), b));
  EXPECT_EQ(a.root, b.root);
  EXPECT_EQ(a.key, b.key);
  EXPECT_EQ(RegDisplayName(a.root, a.key), u"HKEY_CURRENT_USER\\Software\\Maker\\Product");
}

TEST(RegistryPathTest, RootTableHasBothForms) {
  ASSERT_EQ(RegRootTable().size(), 6u);
  for (const RegRootNames& row : RegRootTable()) {
    EXPECT_EQ(Widen(row.short_name_a), row.short_name);
    EXPECT_EQ(Widen(row.long_name_a), row.long_name);
    EXPECT_EQ(NString(row.prefix_a), "\\" + NString(row.short_name_a) + "\\");
    EXPECT_EQ(NamesOf(row.root).long_name_a, row.long_name_a);
  }
}

TEST(RegistryPathTest, AllUsersPrefixIsExactUpperCase) {
  const struct {
    const char16_t* path;
    bool all_users;
    const char16_t* rest;
  } cases[] = {
      {u"\\HKAU\\Software\\Maker", true, u"Software\\Maker"},
      {u"\\HKAU\\", true, u""},
      {u"\\hkau\\Software", false, u""},
      {u"\\HKAU", false, u""},
      {u"HKAU\\Software", false, u""},
      {u"\\HKLM\\Software", false, u""},
  };
  for (const auto& c : cases) {
    WString rest = u"unchanged";
    EXPECT_EQ(IsAllUsersPath(c.path, &rest), c.all_users) << WideToUtf8(c.path);
    if (c.all_users) {
      EXPECT_EQ(rest, c.rest);
    }
  }
}

TEST(RegistryDataTest, Hexadecimal) {
  const struct {
    const char16_t* text;
    bool valid;
    Data bytes;
  } cases[] = {
      {u"01 AB ff", true, {0x01, 0xAB, 0xFF}},
      {u"01ABff", true, {0x01, 0xAB, 0xFF}},
      {u" 0 1  2 3 ", true, {0x01, 0x23}},
      {u"", true, {}},
      {u"0", false, {}},
      {u"01 2", false, {0x01}},
      {u"01 zz 02", false, {0x01}},
      {u"01\t02", false, {0x01}},
  };
  for (const auto& c : cases) {
    Data out = {0x99};
    EXPECT_EQ(ParseHexData(c.text, out), c.valid) << WideToUtf8(c.text);
    EXPECT_EQ(out, c.bytes) << WideToUtf8(c.text);
  }
}

TEST(RegistryDataTest, SignedDecimal) {
  const struct {
    const char16_t* text;
    std::uint32_t dword;
    std::uint64_t qword;
  } cases[] = {
      {u"-1", 0xFFFFFFFFu, ~0ull},
      {u"+42", 42, 42},
      {u"42abc", 42, 42},
      {u"abc", 0, 0},
      {u"", 0, 0},
      {u"-", 0, 0},
      {u"4294967297", 1, 4294967297ull},
      {u"-2147483648", 0x80000000u, 0xFFFFFFFF80000000ull},
      {u"9223372036854775807", 0xFFFFFFFFu, 0x7FFFFFFFFFFFFFFFull},
      {u"-9223372036854775808", 0, 0x8000000000000000ull},
      {u"1 2", 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDwordData(c.text), c.dword) << WideToUtf8(c.text);
    EXPECT_EQ(ParseQwordData(c.text), c.qword) << WideToUtf8(c.text);
  }
}

TEST(RegistryDataTest, ValueDataByType) {
  const struct {
    std::uint32_t type;
    const char16_t* data;
    Data bytes;
  } cases[] = {
      {kRegTypeSz, u"%X%", {'C', 0, ':', 0}},  // the expanded text
      {kRegTypeExpandSz, u"%X%", {'%', 0, 'X', 0, '%', 0}},
      {kRegTypeSz, u"", {}},
      {kRegTypeBinary, u"01 AB ff", {0x01, 0xAB, 0xFF}},
      {kRegTypeDword, u"-1", {0xFF, 0xFF, 0xFF, 0xFF}},
      {kRegTypeDword, u"258", {0x02, 0x01, 0, 0}},
      {kRegTypeQword, u"-2", {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {5, u"12", {}},
      {kRegTypeMultiSz, u"a", {}},
      {10, u"a", {}},
      {0, u"a", {}},
      {99, u"a", {}},
  };
  for (const auto& c : cases) {
    const WString expanded = c.data == WString(u"%X%") ? u"C:" : c.data;
    EXPECT_EQ(RecordValueData(c.type, c.data, expanded), c.bytes) << c.type << " " << WideToUtf8(c.data);
  }
  // A non-ASCII character keeps its UTF-16 unit.
  EXPECT_EQ(RecordValueData(kRegTypeExpandSz, u"\u00e9\u4e2d", u""), (Data{0xE9, 0x00, 0x2D, 0x4E}));
}

TEST(RegistryDataTest, DoubleText) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1.5, "1.5"},
      {2, "2"},
      {100, "100"},
      {-3.25, "-3.25"},
      {0.1234567, "0.123457"},
      {12.000001, "12.000001"},
      {0, "0"},
      {-0.0, "0"},
      {1e-9, "0"},
      {-1e-9, "0"},
      {std::numeric_limits<double>::quiet_NaN(), "0"},
      {std::numeric_limits<double>::infinity(), "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatRegDouble(c.value), c.text) << c.value;
}

TEST(RegistryRecordsTest, ReadsLinesAndFields) {
  const WString text =
      u"\\HKLM\\Software\\Maker\r\n"
      u"\r\n"
      u"   \r\n"
      u"\\HKLM\\Software\\Maker, Name ,4,-1,1\n"
      u"\\HKCU\\Software\\Maker,\"a,b\",1,\"say \"\"hi\"\"\",3\r"
      u"\\HKLM\\Software\\Maker,Name,3\r\n"
      u"\\HKLM\\Software\\Maker,Name,1,x,1,\n"
      u"\\HKAU\\Software\\Maker,\"\",1,,6";
  const std::vector<RegistryRecord> records = ReadRegistryRecords(text);
  const std::vector<std::vector<WString>> fields = {
      {u"\\HKLM\\Software\\Maker"},
      {u"\\HKLM\\Software\\Maker", u"Name", u"4", u"-1", u"1"},
      {u"\\HKCU\\Software\\Maker", u"a,b", u"1", u"say \"hi\"", u"3"},
      {u"\\HKLM\\Software\\Maker", u"Name", u"3"},
      {u"\\HKLM\\Software\\Maker", u"Name", u"1", u"x", u"1", u""},
      {u"\\HKAU\\Software\\Maker", u"", u"1", u"", u"6"},
  };
  ASSERT_EQ(records.size(), fields.size());
  for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].fields, fields[i]) << i;
  EXPECT_EQ(records[3].text, u"\\HKLM\\Software\\Maker,Name,3");
}

TEST(RegistryRecordsTest, NumbersOfFields) {
  EXPECT_EQ(RecordNumber(u"4"), 4);
  EXPECT_EQ(RecordNumber(u" 11"), 11);
  EXPECT_EQ(RecordNumber(u"-1"), -1);
  EXPECT_EQ(RecordNumber(u"x"), 0);
  EXPECT_EQ(RecordNumber(u""), 0);
}

TEST(RegistryRecordsTest, CodesAtInstallationAndRemoval) {
  const struct {
    std::int32_t code;
    bool sets, keeps_existing, deletes_at_install, deletes_at_uninstall;
  } cases[] = {
      {0, false, false, false, false}, {1, true, false, false, false}, {2, false, false, false, true},
      {3, true, false, false, true},   {4, false, false, true, false}, {5, false, false, true, true},
      {6, true, true, false, false},   {7, true, true, false, true},   {8, false, false, false, false},
      {-1, false, false, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CodeSetsValue(c.code), c.sets) << c.code;
    EXPECT_EQ(CodeKeepsExisting(c.code), c.keeps_existing) << c.code;
    EXPECT_EQ(CodeDeletesAtInstall(c.code), c.deletes_at_install) << c.code;
    EXPECT_EQ(CodeDeletesAtUninstall(c.code), c.deletes_at_uninstall) << c.code;
  }
}

TEST(RegistryRecordsTest, AppendedRecordsReadBackTheSame) {
  const std::vector<std::vector<WString>> added = {
      {u"\\HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\app.exe", u"", u"", u"", u"2"},
      {u"\\HKLM\\Software\\A,B", u"say \"hi\"", u"", u"", u"2"},
      {u"\\HKLM\\Software\\x;y|z", u" lead", u"#1", u"'q", u"2"},
      {u"\\HKLM\\Software\\Caf\u00e9"},
      {u""},  // a lone empty field must not become a blank line, which reads as nothing
  };
  WString text = u"\\HKLM\\Software\\Old";  // the author's last line has no line break
  for (const auto& fields : added) AppendRegistryRecord(text, fields);
  EXPECT_EQ(text.substr(0, 21), u"\\HKLM\\Software\\Old\r\n\\");
  EXPECT_EQ(text.substr(text.size() - 2), u"\r\n");
  const std::vector<RegistryRecord> records = ReadRegistryRecords(text);
  ASSERT_EQ(records.size(), added.size() + 1);
  EXPECT_EQ(records[0].fields, std::vector<WString>{u"\\HKLM\\Software\\Old"});
  for (std::size_t i = 0; i < added.size(); ++i) EXPECT_EQ(records[i + 1].fields, added[i]) << i;
  // The App Paths record as the uninstaller expects it.
  WString app;
  AppendRegistryRecord(app, {u"\\HKLM\\Key", u"Path", u"", u"", u"2"});
  EXPECT_EQ(app, u"\\HKLM\\Key,Path,,,2\r\n");
}

TEST(RegistryRecordsTest, KeyDepthForRemoval) {
  EXPECT_TRUE(HasTwoBackslashes(u"\\HKLM\\Software"));
  EXPECT_TRUE(HasTwoBackslashes(u"\\HKAU\\Software\\Maker"));
  EXPECT_FALSE(HasTwoBackslashes(u"\\HKLM"));
  EXPECT_FALSE(HasTwoBackslashes(u"Software"));
}

}  // namespace
}  // namespace ks
