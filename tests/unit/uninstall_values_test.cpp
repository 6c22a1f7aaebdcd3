#include "integration/uninstall_values.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ks {
namespace {

InstallSettings PlainSettings() {
  InstallSettings s;
  s.product_name = u"Demo";
  s.uninstall_key_name = u"Demo Key";
  s.publisher = u"Maker";
  s.bitness = 0;
  s.display_version = u"5.12b";
  s.display_version_narrow = "5.12b";
  s.taskbar_text = u"";
  s.dialog_font = u"Tahoma";
  s.uninstall_fonts = 1;
  s.uninstall_shared = 0;
  return s;
}

UninstallValueInput InputFor(const InstallSettings& s, ProductFlags flags) {
  UninstallValueInput in;
  in.settings = &s;
  in.product_flags = flags;
  in.archive_flags = 0x20;
  in.uninstaller_path = u"C:\\App\\uninstall.exe";
  in.installer_path = u"C:\\dl\\setup.exe";
  in.session = 0x1234567890ull;
  in.total_file_bytes = 4096;
  return in;
}

std::vector<NString> Names(const std::vector<UninstallValue>& values) {
  std::vector<NString> names;
  for (const UninstallValue& v : values) names.push_back(v.name);
  return names;
}

const UninstallValue* Find(const std::vector<UninstallValue>& values, NStringView name) {
  auto it = std::find_if(values.begin(), values.end(), [&](const UninstallValue& v) { return v.name == name; });
  return it == values.end() ? nullptr : &*it;
}

TEST(UninstallValuesTest, OrderWithoutBackgroundWindow) {
  const InstallSettings s = PlainSettings();
  const auto values = BuildUninstallValues(InputFor(s, product_flag::kNoBackgroundWindow));
  const std::vector<NString> expected = {
      "UninstallString", "QuietUninstallString", "DisplayName", "InstallSource", "Publisher", "Bitness",
      "DisplayVersion", "NoDowngradeBelow", "VersionMajor", "VersionMinor", "ProductRegistry",
      "ProductStartMenu", "SharedPath", "ProductFonts", "ProductFlags", "ProductFlags2", "UninstallBatch1",
      "UninstallBatch2", "SharedFiles", "UninstallSubdir", "AddToPathSubfolder", "ShortcutMode", "NotifyURL",
      "SupportOffer", "DesktopFolder", "UninstallFonts", "UninstallShared", "Session", "EstimatedSize",
      "TaskbarText", "DialogFont"};
  EXPECT_EQ(Names(values), expected);
}

TEST(UninstallValuesTest, OrderWithIconColoursAndBackground) {
  InstallSettings s = PlainSettings();
  s.background_bitmap = {'B', 'M'};
  s.bitmap_tpi = 0;
  s.mono_color = true;
  UninstallValueInput in = InputFor(s, product_flag::kDialogColours | product_flag::kBackgroundBitmap);
  in.display_icon_path = u"C:\\App\\product.ico";
  const auto values = BuildUninstallValues(in);
  const std::vector<NString> names = Names(values);
  const std::vector<NString> tail(names.end() - 21, names.end());
  const std::vector<NString> expected_tail = {
      "DialogFG", "DialogBG", "DisplayTitle", "TitleColor", "TitleSize", "TopColor", "BottomColor",
      "MonoColor", "TitleShadow", "TitlePosition", "TitleFont", "CopyrightText", "CopyrightFont",
      "CopyrightSize", "CopyrightColor", "CopyrightPos", "BitmapSize", "BitmapTPI", "StretchMode"};
  EXPECT_EQ(std::vector<NString>(tail.begin() + 2, tail.end()), expected_tail);
  EXPECT_EQ(names[8], "DisplayIcon");
  EXPECT_EQ(Find(values, "DisplayIcon")->wide, u"C:\\App\\product.ico");
  // Equal top and bottom colours: one colour, and no BottomColor left behind.
  EXPECT_TRUE(Find(values, "BottomColor")->remove);
  EXPECT_EQ(Find(values, "MonoColor")->number, 1u);
  EXPECT_TRUE(Find(values, "BitmapTPI")->remove);
  EXPECT_FALSE(Find(values, "BitmapSize")->remove);
}

TEST(UninstallValuesTest, BitmapValuesDeletedWithoutBitmap) {
  InstallSettings s = PlainSettings();
  s.top_color = 1;
  s.bottom_color = 2;
  s.mono_color = false;
  const auto values = BuildUninstallValues(InputFor(s, product_flag::kBackgroundBitmap));
  for (const char* name : {"BitmapSize", "BitmapTPI", "StretchMode"}) {
    ASSERT_NE(Find(values, name), nullptr) << name;
    EXPECT_TRUE(Find(values, name)->remove) << name;
  }
  EXPECT_FALSE(Find(values, "BottomColor")->remove);
  EXPECT_EQ(Find(values, "BottomColor")->number, 2u);
}

TEST(UninstallValuesTest, CommandsAndTypes) {
  const InstallSettings s = PlainSettings();
  const auto values = BuildUninstallValues(InputFor(s, FlagHigh(0x80000000) | 0x4));
  const UninstallValue* un = Find(values, "UninstallString");
  EXPECT_EQ(un->kind, RegValueKind::kWideString);
  EXPECT_EQ(un->wide, u"\"C:\\App\\uninstall.exe\" /u:\"Demo Key\"");
  EXPECT_EQ(Find(values, "QuietUninstallString")->wide, u"\"C:\\App\\uninstall.exe\" /a /u:\"Demo Key\"");
  EXPECT_EQ(Find(values, "DisplayVersion")->kind, RegValueKind::kNarrowString);
  EXPECT_EQ(Find(values, "DisplayVersion")->narrow, "5.12b");
  // The 64-bit flags word in signed decimal.
  EXPECT_EQ(Find(values, "ProductFlags")->narrow, "-9223372036854775804");
  EXPECT_EQ(Find(values, "ProductFlags2")->narrow, "32");
  EXPECT_EQ(Find(values, "Session")->kind, RegValueKind::kQword);
  EXPECT_EQ(Find(values, "Session")->number, 0x1234567890ull);
  EXPECT_EQ(Find(values, "EstimatedSize")->number, 4u);
  // Written even when zero or empty.
  EXPECT_FALSE(Find(values, "Bitness")->remove);
  EXPECT_FALSE(Find(values, "UninstallShared")->remove);
  EXPECT_FALSE(Find(values, "TaskbarText")->remove);
}

TEST(UninstallValuesTest, NegativeArchiveFlags) {
  const InstallSettings s = PlainSettings();
  UninstallValueInput in = InputFor(s, 0);
  in.archive_flags = 0x80000000u;
  EXPECT_EQ(Find(BuildUninstallValues(in), "ProductFlags2")->narrow, "-2147483648");
}

TEST(UninstallValuesTest, EmptyValuesAreDeletedWhereTheRuleSaysSo) {
  InstallSettings s = PlainSettings();
  s.publisher.clear();
  s.display_version.clear();
  s.display_version_narrow.clear();
  s.shortcut_mode = 0;
  const auto values = BuildUninstallValues(InputFor(s, 0));
  for (const char* name : {"Publisher", "DisplayVersion", "NoDowngradeBelow", "ProductRegistry",
                           "ProductStartMenu", "SharedPath", "ProductFonts", "UninstallBatch1", "UninstallBatch2",
                           "SharedFiles", "UninstallSubdir", "AddToPathSubfolder", "ShortcutMode", "NotifyURL",
                           "SupportOffer", "DesktopFolder"}) {
    ASSERT_NE(Find(values, name), nullptr) << name;
    EXPECT_TRUE(Find(values, name)->remove) << name;
  }
  EXPECT_EQ(Find(values, "VersionMajor"), nullptr);
  EXPECT_EQ(Find(values, "DisplayIcon"), nullptr);
  EXPECT_EQ(Find(values, "DialogFG"), nullptr);
}

TEST(UninstallValuesTest, VersionSplit) {
  const struct {
    const char* version;
    bool split;
    std::uint32_t major, minor;
  } cases[] = {
      {"5.12b", true, 5, 12}, {"0.9", true, 0, 9},   {"7", false, 0, 0},      {"", false, 0, 0},
      {"1.", true, 1, 0},     {"v2.3", true, 0, 3},  {"1.2.3", true, 1, 2},   {"99999999999.1", true, 0xFFFFFFFFu, 1},
  };
  for (const auto& c : cases) {
    std::uint32_t major = 77, minor = 77;
    EXPECT_EQ(SplitProductVersion(c.version, &major, &minor), c.split) << c.version;
    if (c.split) {
      EXPECT_EQ(major, c.major) << c.version;
      EXPECT_EQ(minor, c.minor) << c.version;
    }
  }
}

TEST(UninstallValuesTest, EstimatedSize) {
  const struct {
    std::uint64_t bytes;
    bool written;
    std::uint32_t kib;
  } cases[] = {
      {0, false, 0},
      {1023, false, 0},
      {1024, true, 1},
      {1024ull * 0xFFFFFFFFull + 1023, true, 0xFFFFFFFFu},
      {1024ull * 0x100000000ull, false, 0},
  };
  for (const auto& c : cases) {
    std::uint32_t kib = 0;
    EXPECT_EQ(EstimatedSizeKiB(c.bytes, &kib), c.written) << c.bytes;
    if (c.written) {
      EXPECT_EQ(kib, c.kib) << c.bytes;
    }
  }
  InstallSettings s = PlainSettings();
  UninstallValueInput in = InputFor(s, 0);
  in.total_file_bytes = 1023;
  EXPECT_TRUE(Find(BuildUninstallValues(in), "EstimatedSize")->remove);
}

TEST(UninstallValuesTest, Formats) {
  EXPECT_EQ(FormatSize(12.5), "12.5");
  EXPECT_EQ(FormatSize(12), "12");
  EXPECT_EQ(FormatSize(0), "0");
  EXPECT_EQ(FormatSize(100), "100");
  EXPECT_EQ(FormatSize(0.1234567), "0.123457");
  EXPECT_EQ(FormatSize(-3.25), "-3.25");
  EXPECT_EQ(FormatColour(0x00332211), "112233");
  EXPECT_EQ(FormatColour(0xFF0000FF), "FF0000");
  EXPECT_EQ(FormatInstallDate(2026, 12, 4), "20261204");
  EXPECT_EQ(FormatInstallDate(987, 1, 31), "09870131");
  const auto closing = ClosingUninstallValues(u"C:\\App", "20261210");
  ASSERT_EQ(closing.size(), 2u);
  EXPECT_EQ(closing[0].name, "InstallLocation");
  EXPECT_EQ(closing[0].wide, u"C:\\App");
  EXPECT_EQ(closing[1].name, "InstallDate");
  EXPECT_EQ(closing[1].kind, RegValueKind::kNarrowString);
  EXPECT_EQ(closing[1].narrow, "20261210");
}

TEST(UninstallValuesTest, ExtraValues) {
  const struct {
    const char* name;
    std::uint8_t type;
    const char16_t* data;
    const char16_t* key;
    const char* value_name;
    RegValueKind kind;
    std::uint64_t number;
    bool remove;
  } cases[] = {
      {"Comment", 1, u"hello", u"", "Comment", RegValueKind::kWideString, 0, false},
      {"Comment", 1, u"", u"", "Comment", RegValueKind::kWideString, 0, true},
      {"Home", 2, u"%ProgramFiles%\\X", u"", "Home", RegValueKind::kExpandString, 0, false},
      {"NoModify", 4, u"1", u"", "NoModify", RegValueKind::kDword, 1, false},
      {"NoModify", 4, u"0", u"", "NoModify", RegValueKind::kDword, 0, true},
      {"Minus", 4, u"-1", u"", "Minus", RegValueKind::kDword, 0xFFFFFFFFu, false},
      {"\\HKCU\\Software\\Demo\\Level", 4, u"42", u"\\HKCU\\Software\\Demo", "Level", RegValueKind::kDword, 42,
       false},
  };
  for (const auto& c : cases) {
    std::vector<ExtraValueWrite> writes;
    ASSERT_EQ(PlanExtraValues({ExtraUninstallValue{c.name, c.type, c.data}}, &writes), 0) << c.name;
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].key_path, c.key) << c.name;
    EXPECT_EQ(writes[0].value.name, c.value_name) << c.name;
    EXPECT_EQ(writes[0].value.kind, c.kind) << c.name;
    if (c.kind == RegValueKind::kDword) {
      EXPECT_EQ(writes[0].value.number, c.number) << c.name;
    } else {
      EXPECT_EQ(writes[0].value.wide, c.data) << c.name;
    }
    EXPECT_EQ(writes[0].value.remove, c.remove) << c.name;
  }
}

TEST(UninstallValuesTest, ExtraValueOfUnknownTypeIsCorrupt) {
  std::vector<ExtraValueWrite> writes;
  const std::vector<ExtraUninstallValue> extras = {{"Good", 1, u"x"}, {"Bad", 3, u"x"}};
  EXPECT_EQ(PlanExtraValues(extras, &writes), kCorruptExtraValueType);
  EXPECT_TRUE(writes.empty());
}

TEST(UninstallValuesTest, UninstallerFolderNameIsSixteenHexDigitsOfTheKeyName) {
  const WString name = UninstallerFolderName(u"Demo Key");
  ASSERT_EQ(name.size(), 16u);
  EXPECT_EQ(name.find_first_not_of(u"0123456789ABCDEF"), WString::npos) << WideToUtf8(name);
  EXPECT_EQ(UninstallerFolderName(u"demo KEY"), name);  // the registry's key names ignore case
  EXPECT_NE(UninstallerFolderName(u"Demo Key2"), name);
  EXPECT_NE(UninstallerFolderName(u"Δemo Key"), name);
  EXPECT_NE(UninstallerFolderName(u""), name);
}

TEST(UninstallValuesTest, UninstallerLivesApartOnlyWhenACommandLineCouldNotStartItInItsFolder) {
  const WString own = u"C:\\CF\\Kestrelon Setup\\0123456789ABCDEF";
  const WString apart = own + u"\\uninstall.exe";
  const auto in_folder = [](std::size_t length) {
    const WString tail = u"\\Data\\uninstall.exe";
    return u"C:\\" + WString(length - 3 - tail.size(), u'p') + tail;
  };
  ASSERT_EQ(in_folder(260).size(), 260u);
  const struct {
    const char* name;
    WString in_data_folder, own_folder, expected;
  } cases[] = {
      {"short", u"C:\\P\\uninstall.exe", own, u"C:\\P\\uninstall.exe"},
      {"259 characters stay", in_folder(259), own, in_folder(259)},
      {"260 characters go apart", in_folder(260), own, apart},
      {"no folder apart", in_folder(400), u"", in_folder(400)},
      {"too long apart too", in_folder(400), WString(250, u'q'), in_folder(400)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseUninstallerPath(c.in_data_folder, c.own_folder), c.expected) << c.name;
  }
}

TEST(UninstallValuesTest, RemovalRecord) {
  WString text = u"\\HKLM\\Software\\X";  // the author's last record, without a line end
  AppendExtraValueRemoval(text, u"\\HKCU\\Software\\Demo", u"Level");
  AppendExtraValueRemoval(text, u"\\HKCU\\Software\\A,B", u"V");
  EXPECT_EQ(text, u"\\HKLM\\Software\\X\r\n\\HKCU\\Software\\Demo,Level,,,2\r\n\"\\HKCU\\Software\\A,B\",V,,,2\r\n");
}

TEST(UninstallValuesTest, CloseRulesOfTheUninstallationTravelToUninstallData) {
  std::vector<CloseProgramEntry> entries(3);
  entries[0] = {u"Install*", u"", "Only at installation", 0, 0x1};
  entries[1] = {u"*Viewer", u"Doc", "Viewer", 2, 0x2 | 0x1};
  entries[2] = {u"", u"*Notes", "Notes", 3, 0x2};
  const std::vector<AutoCloseRule> rules = UninstallationCloseRules(entries);
  ASSERT_EQ(rules.size(), 2u);
  EXPECT_EQ(rules[0], (AutoCloseRule{u"*Viewer", u"Doc", "Viewer", 2, 4}));
  EXPECT_EQ(rules[1], (AutoCloseRule{u"", u"*Notes", "Notes", 3, 2}));
  // And they reach "[AutoClose]" as the uninstaller reads it back.
  UninstallData data;
  for (const AutoCloseRule& r : rules) data.AddAutoCloseRule(r);
  UninstallTexts texts;
  texts.text = [](int) { return WString(); };
  EXPECT_EQ(ParseUninstallDataFile(BuildUninstallDataFile(data, texts)).auto_close, rules);
}

}  // namespace
}  // namespace ks
