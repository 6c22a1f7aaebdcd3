#include "uninstall/uninstall_key.h"

#include <gtest/gtest.h>

#include <map>

#include "integration/uninstall_values.h"
#include "records/install_log.h"

namespace ks {
namespace {

// An Uninstall key held in maps: text values and number values apart, as the
// registry keeps their types apart.
class FakeKey : public UninstallKeySource {
 public:
  std::map<WString, WString> texts;
  std::map<WString, std::uint64_t> numbers;
  bool ReadText(const WString& name, WString* out) override {
    const auto it = texts.find(name);
    if (it == texts.end()) return false;
    *out = it->second;
    return true;
  }
  bool ReadNumber(const WString& name, std::uint64_t* out) override {
    const auto it = numbers.find(name);
    if (it == numbers.end()) return false;
    *out = it->second;
    return true;
  }
};

// The key as the registration writes it.
FakeKey Registered(const UninstallValueInput& in, const WString& install_dir) {
  FakeKey key;
  std::vector<UninstallValue> values = BuildUninstallValues(in);
  for (const UninstallValue& v : ClosingUninstallValues(install_dir, "20261210")) values.push_back(v);
  for (const UninstallValue& v : values) {
    if (v.remove) continue;
    const WString name = Widen(v.name);
    switch (v.kind) {
      case RegValueKind::kWideString:
      case RegValueKind::kExpandString: key.texts[name] = v.wide; break;
      case RegValueKind::kNarrowString: key.texts[name] = AnsiToWide(v.narrow); break;
      case RegValueKind::kDword:
      case RegValueKind::kQword: key.numbers[name] = v.number; break;
    }
  }
  return key;
}

// The uninstaller's batches and deletions expand path variables as the
// installation did: the values it reads back give the same inputs.
TEST(UninstallKeyTest, UninstallationInputsAreTheInstallations) {
  struct Case {
    const char* name;
    std::uint8_t shortcut_mode, bitness;
    const char16_t* subdir;
  } const cases[] = {
      {"all users, 64-bit", 1, 1, u"Data"},
      {"per user, any bitness", 0, 0, u""},
  };
  for (const Case& c : cases) {
    InstallSettings settings;
    settings.product_name = u"Prod \u00C9";
    settings.publisher = u"Maker";
    settings.display_version = u"2.5";
    settings.display_version_narrow = "2.5";  // as the settings reader keeps it
    settings.desktop_folder = u"Desk";
    settings.product_start_menu = u"Menu";
    settings.shortcut_mode = c.shortcut_mode;
    settings.bitness = c.bitness;
    settings.uninstall_subdir = c.subdir;
    settings.uninstall_key_name = u"Prod";
    settings.product_flags = product_flag::kRegisterUninstaller;
    InstallChoices choices;
    choices.install_dir = u"C:\\Apps\\Prod";
    choices.start_menu_name = u"Menu\\Chosen";
    choices.uninstall_dir = UninstallFolderPath(choices.install_dir, settings.uninstall_subdir);
    choices.shared_dir = u"C:\\Common\\Maker";
    const PathVariableInputs installed = InstallationInputs(settings, WString(), EarlierInstallation{}, choices);

    UninstallValueInput values;
    values.settings = &settings;
    values.product_flags = settings.product_flags;
    values.start_menu_folder = choices.start_menu_name;
    values.shared_folder = choices.shared_dir;
    FakeKey key = Registered(values, choices.install_dir);
    const UninstallKeyValues read = ReadUninstallKeyValues(key, u"Prod");
    const PathVariableInputs uninstalling = UninstallationInputs(read, installed.automatic, installed.portable);

    SCOPED_TRACE(c.name);
    EXPECT_EQ(uninstalling.install_dir, installed.install_dir);
    EXPECT_EQ(uninstalling.uninstall_dir, installed.uninstall_dir);
    EXPECT_EQ(uninstalling.shared_dir, installed.shared_dir);
    EXPECT_EQ(uninstalling.product_name, installed.product_name);
    EXPECT_EQ(uninstalling.company_name, installed.company_name);
    EXPECT_EQ(uninstalling.version, installed.version);
    EXPECT_EQ(uninstalling.start_menu_name, installed.start_menu_name);
    EXPECT_EQ(uninstalling.desktop_folder_name, installed.desktop_folder_name);
    EXPECT_EQ(uninstalling.all_users, installed.all_users);
    EXPECT_EQ(uninstalling.install_64bit, installed.install_64bit);
    EXPECT_EQ(uninstalling.creates_uninstaller, installed.creates_uninstaller);
  }
}

// The background window and the dialogs of the uninstaller look as the
// installation's did: what the registration writes reads back the same.
TEST(UninstallKeyTest, AppearanceReadsBackAsRegistered) {
  for (const bool mono : {false, true}) {
    InstallSettings s;
    s.product_name = u"Prod";
    s.taskbar_text = u"Task";
    s.display_title = u"Title \u00C9";
    s.title_color = 0x123456;
    s.title_size = 1.25;
    s.top_color = 0x0000FF;
    s.bottom_color = mono ? s.top_color : 0xFF0000;
    s.mono_color = mono;
    s.title_shadow = 7;
    s.title_position = 5;
    s.title_font = u"Arial";
    s.copyright_text = u"(c)";
    s.copyright_font = u"Tahoma";
    s.copyright_size = 0.75;
    s.copyright_color = 0xA0B0C0;
    s.copyright_pos = 6;
    s.dialog_font = u"Verdana";
    s.dialog_fg = 0x010203;
    s.dialog_bg = 0xF0E0D0;
    s.background_bitmap = {'B', 'M'};
    s.bitmap_size = 40;
    s.bitmap_tpi = 3;
    s.stretch_mode = 2;
    s.product_flags = product_flag::kRegisterUninstaller | product_flag::kDialogColours |
                      product_flag::kBackgroundBitmap;
    UninstallValueInput values;
    values.settings = &s;
    values.product_flags = s.product_flags;
    FakeKey key = Registered(values, u"C:\\Apps\\Prod");
    const UninstallAppearance a = ReadUninstallKeyValues(key, u"Prod").appearance;
    SCOPED_TRACE(mono ? "one colour" : "gradient");
    EXPECT_EQ(a.taskbar_text, s.taskbar_text);
    EXPECT_EQ(a.title, s.display_title);
    EXPECT_EQ(a.title_color, s.title_color);
    EXPECT_EQ(a.title_size, s.title_size);
    EXPECT_EQ(a.top_color, s.top_color);
    EXPECT_EQ(a.bottom_color, s.bottom_color);
    EXPECT_EQ(a.mono, mono);
    EXPECT_EQ(a.title_shadow, 7u);
    EXPECT_EQ(a.title_position, 5u);
    EXPECT_EQ(a.title_font, s.title_font);
    EXPECT_EQ(a.copyright_text, s.copyright_text);
    EXPECT_EQ(a.copyright_font, s.copyright_font);
    EXPECT_EQ(a.copyright_size, s.copyright_size);
    EXPECT_EQ(a.copyright_color, s.copyright_color);
    EXPECT_EQ(a.copyright_pos, 6u);
    EXPECT_EQ(a.bitmap_size, 40u);
    EXPECT_EQ(a.bitmap_tpi, 3u);
    EXPECT_EQ(a.stretch_mode, 2u);
    EXPECT_EQ(a.dialog_font, s.dialog_font);
    EXPECT_TRUE(a.dialog_colours);
    EXPECT_EQ(a.dialog_fg, s.dialog_fg);
    EXPECT_EQ(a.dialog_bg, s.dialog_bg);
  }
}

TEST(UninstallKeyTest, ColourAndNumberTexts) {
  EXPECT_EQ(ParseColourText(u"0A0B0C"), 0x0C0B0Au);
  EXPECT_EQ(ParseColourText(u"ffffff"), 0xFFFFFFu);
  EXPECT_EQ(ParseColourText(u"0A0B0"), 0u);
  EXPECT_EQ(ParseColourText(u"0A0B0G"), 0u);
  EXPECT_EQ(ParseDecimalNumber(u"1.5"), 1.5);
  EXPECT_EQ(ParseDecimalNumber(u" 36"), 36.0);
  EXPECT_EQ(ParseDecimalNumber(u"0.125x"), 0.125);
  EXPECT_EQ(ParseDecimalNumber(u""), 0.0);
}

TEST(UninstallKeyTest, MissingValuesTakeTheirDefaults) {
  FakeKey key;
  const UninstallKeyValues v = ReadUninstallKeyValues(key, u"Prod");
  EXPECT_EQ(v.key_name, u"Prod");
  EXPECT_EQ(v.display_name, u"Prod");
  EXPECT_TRUE(v.install_location.empty());
  EXPECT_EQ(v.product_flags, 0u);
  EXPECT_EQ(v.product_flags2, 0u);
  EXPECT_EQ(v.bitness, 0u);
  EXPECT_EQ(v.uninstall_fonts, 2u);
  EXPECT_EQ(v.uninstall_shared, 2u);
  EXPECT_EQ(v.shortcut_mode, 0u);
  EXPECT_EQ(v.session, 0u);
  EXPECT_TRUE(v.uninstall_batch1.empty());
  EXPECT_TRUE(v.product_registry.empty());
}

TEST(UninstallKeyTest, PresentValuesAreRead) {
  FakeKey key;
  key.texts = {{u"DisplayName", u"Product \u00e9"}, {u"InstallLocation", u"C:\\Program Files\\P"},
               {u"ProductFlags", u"-9223372036854775807"}, {u"ProductFlags2", u"-1"},
               {u"UninstallSubdir", u"data\\un"}, {u"UninstallBatch1", u"echo \u00e9"},
               {u"ProductRegistry", u"Maker\\P"}, {u"SharedPath", u"C:\\Shared"},
               {u"ProductStartMenu", u"Maker\\P"}, {u"NotifyURL", u"http://x/?v=%version%"},
               {u"DisplayVersion", u"1.2"}, {u"AddToPathSubfolder", u"bin"}};
  key.numbers = {{u"Bitness", 1}, {u"UninstallFonts", 0}, {u"UninstallShared", 1},
                 {u"ShortcutMode", 1}, {u"Session", 0x7123456789ABCDEFull}};
  const UninstallKeyValues v = ReadUninstallKeyValues(key, u"Prod");
  EXPECT_EQ(v.display_name, u"Product \u00e9");
  EXPECT_EQ(v.install_location, u"C:\\Program Files\\P");
  EXPECT_EQ(v.product_flags, 0x8000000000000001ull);
  EXPECT_EQ(v.product_flags2, 0xFFFFFFFFu);
  EXPECT_EQ(v.bitness, 1u);
  EXPECT_EQ(v.uninstall_fonts, 0u);
  EXPECT_EQ(v.uninstall_shared, 1u);
  EXPECT_EQ(v.shortcut_mode, 1u);
  EXPECT_EQ(v.session, 0x7123456789ABCDEFull);
  EXPECT_EQ(v.uninstall_batch1, "echo \xe9");  // the system code page of the portable build: 1252
  EXPECT_EQ(v.display_version, "1.2");
  EXPECT_EQ(v.notify_url, "http://x/?v=%version%");
  EXPECT_EQ(v.product_registry, u"Maker\\P");
  EXPECT_EQ(UninstallDataFolder(v), u"C:\\Program Files\\P\\data\\un");
  EXPECT_EQ(UninstallDataFilePath(v), u"C:\\Program Files\\P\\data\\un\\Uninstall.DAT");
  EXPECT_EQ(InstallLogPath(v), u"C:\\Program Files\\P\\data\\un\\Install.log");
}

TEST(UninstallKeyTest, BlankNamesCountAsMissing) {
  FakeKey key;
  key.texts = {{u"DisplayName", u"  "}, {u"InstallLocation", u" \t"}};
  const UninstallKeyValues v = ReadUninstallKeyValues(key, u"Key");
  EXPECT_EQ(v.display_name, u"Key");
  EXPECT_TRUE(v.install_location.empty());
}

TEST(UninstallKeyTest, SignedDecimalText) {
  const struct {
    WString text;
    std::int64_t value;
  } cases[] = {
      {u"", 0},          {u"abc", 0},     {u"512", 512},  {u" -2", -2},       {u"+7", 7},
      {u"12x4", 12},     {u"-", 0},       {u"4294967296", 4294967296LL},
      {u"-9223372036854775808", INT64_MIN}, {u"9223372036854775807", INT64_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseSignedDecimal(c.text), c.value) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(UninstallKeyTest, PathsJoinWithOneBackslash) {
  EXPECT_EQ(JoinPath(u"C:\\A", u"b"), u"C:\\A\\b");
  EXPECT_EQ(JoinPath(u"C:\\A\\", u"\\b"), u"C:\\A\\b");
  EXPECT_EQ(JoinPath(u"C:\\A", u""), u"C:\\A");
  EXPECT_EQ(ProductUninstallKeyPath(u"P 1"),
            u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\P 1");
  UninstallKeyValues v;
  v.install_location = u"C:\\P\\";
  EXPECT_EQ(UninstallDataFilePath(v), u"C:\\P\\Uninstall.DAT");
}

TEST(UninstallKeyTest, OpeningMessages) {
  EXPECT_EQ(NoSuchProductMessage(u"X"), u"No product named 'X' is installed.");
  EXPECT_EQ(PermissionDeniedMessage(),
            u"Permission denied.  Please run the uninstaller with administrator rights.");
  EXPECT_EQ(KeyAccessFailedMessage(u"X"),
            u"Unable to access the uninstall information for:\r\nX\r\n\r\nThe uninstallation cannot be performed.");
  EXPECT_EQ(CorruptRegistrationMessage(u"Y"),
            u"The uninstall information for Y is corrupt.\r\n\r\nThe uninstallation cannot be performed.");
}

}  // namespace
}  // namespace ks
