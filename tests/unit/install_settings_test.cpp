#include "core/install_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace ks {
namespace {

using product_flag::kDesktopFolderIsProduct;
using product_flag::kDialogColours;
using product_flag::kMasterProduct;
using product_flag::kRegisterUninstaller;

LocalizedTexts OneLanguage() { return LocalizedTexts({u"English"}, {{u"title"}}); }

Bytes Encode(const InstallSettings& s, std::uint32_t archive_flags = 0,
             const LocalizedTexts& texts = OneLanguage()) {
  SettingsWriter w;
  EXPECT_TRUE(WriteInstallSettings(s, texts, archive_flags, w));
  return w.Take();
}

struct ReadResult {
  int code = -1;
  InstallSettings settings;
  LocalizedTexts texts;
};

ReadResult Decode(const Bytes& stream, const SettingsInput& input = {}, const SettingsReadHooks& hooks = {}) {
  ReadResult r;
  r.code = ReadInstallSettings(ByteReader(stream), input, hooks, r.settings, r.texts);
  return r;
}

// One row per stored field: a setter that gives the field a value no default
// produces, and a check that the value came back.
struct FieldRow {
  const char* name;
  std::function<void(InstallSettings&)> set;
  std::function<bool(const InstallSettings&)> check;
};

#define KS_FIELD(member, ...)                                                   \
  FieldRow {                                                                    \
    #member, [=](InstallSettings& s) { s.member = __VA_ARGS__; },               \
        [=](const InstallSettings& s) { return s.member == decltype(s.member)(__VA_ARGS__); } \
  }

Bytes Bin(std::initializer_list<std::uint8_t> b) { return Bytes(b); }

std::vector<FieldRow> FieldRows() {
  BuildDateRecord date;
  date.year = 2026;
  date.month = 12;
  date.day_of_week = 4;
  date.day = 10;
  date.hour = 1;
  date.minute = 2;
  date.second = 3;
  date.milliseconds = 456;
  FileDeletion deletion{"|C:\\\xC3\xA9\\old.txt", 2, "1.0", 4};
  FileAssociation assoc{1, ".kst", "Kst.File", "Kestrel file", "open,print", "&Open",
                        u"\"%InstallDir%\\app.exe\" \"%1\"", u"Deutsch", u"%InstallDir%\\app.ico"};
  ShortcutRecord shortcut;
  shortcut.target = u"%InstallDir%\\app.exe";
  shortcut.name = u"Sub\\App";
  shortcut.icon = u"app.ico";
  shortcut.arguments = u"~\"x";
  shortcut.start_in = u"%InstallDir%";
  shortcut.on_desktop = 1;
  shortcut.in_start_menu = 1;
  shortcut.in_startup = 1;
  shortcut.other_folder = "C:\\Other";
  shortcut.window_state = 2;
  shortcut.keep = 1;
  shortcut.from_archive = true;
  PageStyles styles;
  for (std::size_t i = 0; i < styles.values.size(); ++i) styles.values[i] = static_cast<std::uint32_t>(i + 1);
  std::array<std::uint8_t, 20> reserved{};
  reserved[0] = 0xAA;
  reserved[19] = 0x55;

  return {
      KS_FIELD(automatic_rule, 7),
      KS_FIELD(taskbar_text, u"Taskbar \u00E9"),
      KS_FIELD(display_title, u"Big Title"),
      KS_FIELD(title_size, 36.5),
      KS_FIELD(progress_page_option, 0x12345678u),
      KS_FIELD(stage_display_time, 9999),
      KS_FIELD(shortcut_mode, 1),
      KS_FIELD(build_date, date),
      KS_FIELD(publisher, u"Kestrel Works"),
      KS_FIELD(product_name, u"Kestrel \u65E5"),
      KS_FIELD(description, u"Desc"),
      KS_FIELD(bitness, 2),
      KS_FIELD(shared_folder_base, 3),
      KS_FIELD(shared_path, u"Shared"),
      KS_FIELD(shared_folder_path, u"Common\\Kestrel"),
      KS_FIELD(product_start_menu, u"Kestrel Menu"),
      KS_FIELD(display_version, u"4.5.6"),
      KS_FIELD(install_path, u"D:\\Apps\\Kestrel"),
      KS_FIELD(product_registry, u"Software\\Kestrel"),
      KS_FIELD(registry_entries, u"\\HKLM\\Software\\K,Name,Value,1\r\n"),
      KS_FIELD(registry_merge, Bin({0xFF, 0xFE, 'R', 0})),
      KS_FIELD(app_path_text, u"app.exe"),
      KS_FIELD(bitmap_size, 100u),
      KS_FIELD(stretch_mode, 2u),
      KS_FIELD(uninstall_fonts, 1u),
      KS_FIELD(uninstall_shared, 1u),
      KS_FIELD(information_link, u"https://example.invalid/info"),
      KS_FIELD(licence_documents, std::vector<Bytes>{Bin({'{', '\\', 'r'}), Bin({}), Bin({'L'})}),
      KS_FIELD(readme_documents, std::vector<Bytes>{Bin({'R', 'M'})}),
      KS_FIELD(uninstall_subdir, u"uninstall"),
      KS_FIELD(component_text, "comp"),
      KS_FIELD(uninstall_key_name, u"KestrelKey"),
      KS_FIELD(folder_registry_path, u"HKLM\\Software\\Kestrel\\Dir"),
      KS_FIELD(dialog_font, u"Tahoma"),
      KS_FIELD(dialog_font_size, 85u),
      KS_FIELD(wizard_caption, u"Setup"),
      KS_FIELD(side_picture_colour, 0x00102030u),
      KS_FIELD(side_picture_frame, 2),
      KS_FIELD(title_color, 0x00FFFFFFu),
      KS_FIELD(title_shadow, 1),
      KS_FIELD(title_position, 3),
      KS_FIELD(title_font, u"Arial"),
      KS_FIELD(top_color, 0x00800000u),
      KS_FIELD(bottom_color, 0x00000080u),
      KS_FIELD(background_bitmap, Bin({'B', 'M', 1, 2, 3})),
      KS_FIELD(bitmap_tpi, 96u),
      KS_FIELD(copyright_color, 0x00C0C0C0u),
      KS_FIELD(copyright_size, 9.25),
      KS_FIELD(copyright_text, u"(c) Kestrel"),
      KS_FIELD(copyright_font, u"Verdana"),
      KS_FIELD(dialog_bg, 0x00EEEEEEu),
      KS_FIELD(dialog_fg, 0x00111111u),
      KS_FIELD(dialog_bg2, 0x00DDDDDDu),
      KS_FIELD(dialog_fg2, 0x00222222u),
      KS_FIELD(master_product_name, u"Master"),
      KS_FIELD(master_display_name, u"Master Suite"),
      KS_FIELD(master_min_version, u"2.0"),
      KS_FIELD(start_sound, Bin({'R', 'I', 'F', 'F'})),
      KS_FIELD(desktop_folder, u"Kestrel Tools"),
      KS_FIELD(desktop_folder_icon, Bin({0, 0, 1, 0})),
      KS_FIELD(pre_install_batch, "echo pre"),
      KS_FIELD(post_install_batch, "echo post"),
      KS_FIELD(exit_batch, "echo exit"),
      KS_FIELD(uninstall_batch1, "echo u1"),
      KS_FIELD(uninstall_batch2, "echo u2"),
      KS_FIELD(upgrade_batch, "echo up"),
      KS_FIELD(reinstall_batch, "echo re"),
      KS_FIELD(reserved, reserved),
      KS_FIELD(excluded_systems, 0x80001u),
      KS_FIELD(file_data_outside, 1),
      KS_FIELD(launch_on_exit, u"%InstallDir%\\app.exe"),
      KS_FIELD(finishing_text1, u"Finish one"),
      KS_FIELD(finishing_text2, u"Finish two"),
      KS_FIELD(start_url, "http://n.invalid/start"),
      KS_FIELD(begin_url, "http://n.invalid/begin"),
      KS_FIELD(completion_url_new, "http://n.invalid/new"),
      KS_FIELD(completion_url_reinstall, "http://n.invalid/re"),
      KS_FIELD(completion_url_upgrade, "http://n.invalid/up"),
      KS_FIELD(completion_url_downgrade, "http://n.invalid/down"),
      KS_FIELD(notify_url, "http://n.invalid/uninstalled"),
      KS_FIELD(greeting_url, "http://n.invalid/greet"),
      KS_FIELD(cancel_url, "http://n.invalid/cancel"),
      KS_FIELD(error_url, "http://n.invalid/error"),
      KS_FIELD(old_version_warning_limit, "1.5"),
      KS_FIELD(no_downgrade_below, "3.0"),
      KS_FIELD(password, u"secret"),
      KS_FIELD(uninstall_first_limit, u"4.0"),
      KS_FIELD(firewall_text, "|fw\xC3\xA9"),
      KS_FIELD(add_to_path_subfolder, u"bin"),
      KS_FIELD(page_styles.values, styles.values),
      KS_FIELD(uninstaller_icon, Bin({0, 0, 1, 0, 9})),
      KS_FIELD(deletions, std::vector<FileDeletion>{deletion, FileDeletion{"b", 0, "", 8}}),
      KS_FIELD(associations, std::vector<FileAssociation>{assoc, FileAssociation{}}),
      KS_FIELD(shortcuts, std::vector<ShortcutRecord>{shortcut}),
      KS_FIELD(root_shortcut_command, u"%InstallDir%\\run.exe"),
      KS_FIELD(root_shortcut_name, u"Run"),
      KS_FIELD(taskbar_pin_command, u"\"%InstallDir%\\pin.exe\" -x"),
      KS_FIELD(taskbar_pin_name, u"Pinned"),
      KS_FIELD(extra_uninstall_values,
               std::vector<ExtraUninstallValue>{{"HelpLink", 1, u"http://h.invalid"}, {"Size", 4, u"42"}}),
      KS_FIELD(support_offer, "http://support.invalid"),
      KS_FIELD(product_icon, Bin({0, 0, 1, 0, 7})),
      KS_FIELD(close_programs, std::vector<CloseProgramEntry>{{u"KestrelWnd*", u"*Kestrel*", "Kestrel", 2, 3},
                                                             {u"", u"Other", "", 0, 1}}),
  };
}

// Flags that make every optional field present.
constexpr ProductFlags kAllOptional = kDialogColours | kMasterProduct | kRegisterUninstaller;

SettingsInput WithSecondColours() {
  SettingsInput input;
  input.archive_flags = kArchiveFlagSecondDialogColours;
  return input;
}

// Every optional field present, and no default that copies another field:
// a row then changes exactly one field.
InstallSettings BaseRecord() {
  InstallSettings s;
  s.product_flags = kAllOptional;
  s.copyright_pos = 1;
  s.background_bitmap = {1};
  for (WString* text : {&s.description, &s.shared_path, &s.product_start_menu, &s.uninstall_key_name,
                        &s.master_product_name, &s.master_display_name, &s.install_path}) {
    *text = u"D:\\x";
  }
  return s;
}

TEST(InstallSettingsTest, EveryFieldRoundTripsAlone) {
  for (const FieldRow& row : FieldRows()) {
    SCOPED_TRACE(row.name);
    InstallSettings s = BaseRecord();
    row.set(s);
    const Bytes stream = Encode(s, kArchiveFlagSecondDialogColours);
    const ReadResult r = Decode(stream, WithSecondColours());
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(row.check(r.settings));
    // Nothing else moved: the record encodes to the same bytes again.
    EXPECT_EQ(Encode(r.settings, kArchiveFlagSecondDialogColours), stream);
  }
}

TEST(InstallSettingsTest, AllFieldsRoundTripTogether) {
  InstallSettings s = BaseRecord();
  s.product_flags = 0xFEDCBA9876543210ull | kAllOptional;
  s.copyright_pos = 2;
  const std::vector<FieldRow> rows = FieldRows();
  for (const FieldRow& row : rows) row.set(s);
  const ReadResult r = Decode(Encode(s, kArchiveFlagSecondDialogColours), WithSecondColours());
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.settings.product_flags, s.product_flags);
  EXPECT_EQ(r.settings.copyright_pos, 2);
  for (const FieldRow& row : rows) EXPECT_TRUE(row.check(r.settings)) << row.name;
}

TEST(InstallSettingsTest, OptionalFieldsAreAbsentWithoutTheirFlag) {
  InstallSettings with = BaseRecord();
  for (const FieldRow& row : FieldRows()) row.set(with);
  InstallSettings without = with;
  without.product_flags = 0;
  without.copyright_pos = 0;
  without.background_bitmap.clear();

  const Bytes full = Encode(with, kArchiveFlagSecondDialogColours);
  const Bytes bare = Encode(without, 0);
  // 49's TPI, 51..54, 55, 56, 57 and 91 are gone from the stream.
  EXPECT_LT(bare.size(), full.size());
  const ReadResult r = Decode(bare);
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.settings.bitmap_tpi, 0u);
  EXPECT_TRUE(r.settings.copyright_text.empty());
  EXPECT_EQ(r.settings.dialog_bg, 0u);
  EXPECT_EQ(r.settings.dialog_bg2, 0u);
  EXPECT_TRUE(r.settings.master_min_version.empty());
  EXPECT_TRUE(r.settings.uninstaller_icon.empty());
  // The fields behind them still line up.
  EXPECT_EQ(r.settings.start_sound, with.start_sound);
  EXPECT_EQ(r.settings.product_icon, with.product_icon);
  EXPECT_EQ(r.settings.close_programs, with.close_programs);
}

TEST(InstallSettingsTest, ShortcutsReadFromTheArchiveAreMarkedSo) {
  InstallSettings s;
  s.shortcuts.resize(2);
  const ReadResult r = Decode(Encode(s));
  ASSERT_EQ(r.code, 0);
  ASSERT_EQ(r.settings.shortcuts.size(), 2u);
  EXPECT_TRUE(r.settings.shortcuts[0].from_archive);
  EXPECT_FALSE(r.settings.shortcuts[1].uninstaller_shortcut);
}

// --- checks ---------------------------------------------------------------

struct CheckCase {
  const char* name;
  std::function<void(InstallSettings&)> set;
  int code;
};

std::vector<Bytes> Docs(std::size_t n) { return std::vector<Bytes>(n, Bytes{'d'}); }

TEST(InstallSettingsTest, RangeChecksGiveTheirCorruptCodes) {
  const CheckCase cases[] = {
      {"stage time 9999", [](InstallSettings& s) { s.stage_display_time = 9999; }, 0},
      {"stage time 10000", [](InstallSettings& s) { s.stage_display_time = 10000; }, 19},
      {"bitmap size 100", [](InstallSettings& s) { s.bitmap_size = 100; }, 0},
      {"bitmap size 101", [](InstallSettings& s) { s.bitmap_size = 101; }, 39},
      {"20 licence documents", [](InstallSettings& s) { s.licence_documents = Docs(20); }, 0},
      {"21 licence documents", [](InstallSettings& s) { s.licence_documents = Docs(21); }, 24},
      {"20 readme documents", [](InstallSettings& s) { s.readme_documents = Docs(20); }, 0},
      {"21 readme documents", [](InstallSettings& s) { s.readme_documents = Docs(21); }, 26},
      {"1000 deletions", [](InstallSettings& s) { s.deletions.resize(1000, FileDeletion{"x", 0, "", 0}); }, 0},
      {"1001 deletions", [](InstallSettings& s) { s.deletions.resize(1001, FileDeletion{"x", 0, "", 0}); }, 38},
      {"1000 associations", [](InstallSettings& s) { s.associations.resize(1000); }, 0},
      {"1001 associations", [](InstallSettings& s) { s.associations.resize(1001); }, 36},
      {"1000 shortcuts", [](InstallSettings& s) { s.shortcuts.resize(1000); }, 0},
      {"1001 shortcuts", [](InstallSettings& s) { s.shortcuts.resize(1001); }, 48},
      {"1000 extra values", [](InstallSettings& s) { s.extra_uninstall_values.resize(1000); }, 0},
      {"1001 extra values", [](InstallSettings& s) { s.extra_uninstall_values.resize(1001); }, 37},
      {"1000 programs to close", [](InstallSettings& s) { s.close_programs.resize(1000); }, 0},
      {"1001 programs to close", [](InstallSettings& s) { s.close_programs.resize(1001); }, 41},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    InstallSettings s;
    c.set(s);
    EXPECT_EQ(Decode(Encode(s)).code, c.code);
  }
}

TEST(InstallSettingsTest, TextTableCountsAreChecked) {
  struct Case {
    const char* name;
    std::size_t languages;
    std::size_t texts;
    int code;
  };
  const Case cases[] = {
      {"no language", 0, 1, 30},      {"one language", 1, 1, 0},    {"200 languages", 200, 1, 0},
      {"201 languages", 201, 1, 30},  {"no text", 1, 0, 31},        {"10000 texts", 1, 10000, 0},
      {"10001 texts", 1, 10001, 31},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LocalizedTexts table(std::vector<WString>(c.languages, u"L"),
                               std::vector<std::vector<WString>>(c.texts, std::vector<WString>(c.languages)));
    EXPECT_EQ(Decode(Encode(InstallSettings(), 0, table)).code, c.code);
  }
}

TEST(InstallSettingsTest, WrongEndValueGives32) {
  Bytes stream = Encode(InstallSettings());
  stream.back() ^= 0x01;
  EXPECT_EQ(Decode(stream).code, 32);
}

TEST(InstallSettingsTest, NegativeCountFailsLikeATooLargeOne) {
  InstallSettings s;
  s.licence_documents = Docs(3);
  Bytes stream = Encode(s);
  // Fields 1 to 28 of a default record take 85 bytes; field 29 follows.
  constexpr std::size_t kLicenceCountAt = 85;
  ASSERT_EQ(ByteReader(stream.data() + kLicenceCountAt, 4).U32(), 3u);
  for (std::size_t i = 0; i < 4; ++i) stream[kLicenceCountAt + i] = 0xFF;
  EXPECT_EQ(Decode(stream).code, 24);
}

TEST(InstallSettingsTest, StreamCutShortFailsAndNeverReadsPastTheEnd) {
  InstallSettings s = BaseRecord();
  for (const FieldRow& row : FieldRows()) row.set(s);
  const Bytes full = Encode(s, kArchiveFlagSecondDialogColours);
  const SettingsInput input = WithSecondColours();
  // Each prefix is copied so that ASan sees any read behind it.
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    const Bytes prefix(full.begin(), full.begin() + cut);
    const int code = Decode(prefix, input).code;
    // Before the text table the counts read zero (30); inside it the end value fails.
    EXPECT_TRUE(code == 30 || code == 31 || code == 32) << "cut " << cut << " code " << code;
  }
  EXPECT_EQ(Decode(Bytes(full.begin(), full.end() - 1), input).code, 32);
  EXPECT_EQ(Decode(Bytes(full.begin(), full.end() - 8), input).code, 32);  // inside the last text
  EXPECT_EQ(Decode(Bytes(full.begin(), full.begin() + 40), input).code, 30);
}

TEST(InstallSettingsTest, MalformedTextEmptiesTheRestOfTheStream) {
  InstallSettings s;
  s.publisher = u"P";
  Bytes stream = Encode(s);
  // The publisher (field 10) starts at 8+1+1+1+8+4+2+1+24 = 50: make its count
  // a 0x7FFFFFFF long form; everything behind it becomes unreadable.
  constexpr std::size_t kPublisherAt = 50;
  ASSERT_EQ(stream[kPublisherAt], 2);
  const Bytes bad = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
  stream.erase(stream.begin() + kPublisherAt, stream.begin() + kPublisherAt + 3);
  stream.insert(stream.begin() + kPublisherAt, bad.begin(), bad.end());
  const ReadResult r = Decode(stream);
  EXPECT_EQ(r.code, 30);
  EXPECT_TRUE(r.settings.product_name.empty());
}

TEST(InstallSettingsTest, HookRunsBetweenField6And7) {
  InstallSettings s;
  s.progress_page_option = 77;
  s.stage_display_time = 10000;  // field 7 would fail with 19
  const Bytes stream = Encode(s);

  InstallSettings seen;
  bool called = false;
  ReadResult r;
  SettingsReadHooks hooks;
  hooks.after_field_6 = [&] {
    called = true;
    seen = r.settings;
    return 25;
  };
  r.code = ReadInstallSettings(ByteReader(stream), {}, hooks, r.settings, r.texts);
  EXPECT_TRUE(called);
  EXPECT_EQ(r.code, 25);
  EXPECT_EQ(seen.progress_page_option, 77u);
  EXPECT_EQ(seen.stage_display_time, 0);

  hooks.after_field_6 = [] { return 0; };
  EXPECT_EQ(ReadInstallSettings(ByteReader(stream), {}, hooks, r.settings, r.texts), 19);
}

// --- defaults and derived values -----------------------------------------

struct DefaultCase {
  const char* name;
  std::function<void(InstallSettings&, SettingsInput&)> set;
  std::function<bool(const InstallSettings&)> check;
};

TEST(InstallSettingsTest, DefaultsCopyTheProductName) {
  const DefaultCase cases[] = {
      {"description", [](InstallSettings&, SettingsInput&) {},
       [](const InstallSettings& s) { return s.description == u"Prod"; }},
      {"shared path from publisher", [](InstallSettings& s, SettingsInput&) { s.publisher = u"Pub"; },
       [](const InstallSettings& s) { return s.shared_path == u"Pub"; }},
      {"shared path with blank publisher", [](InstallSettings& s, SettingsInput&) { s.publisher = u" \t"; },
       [](const InstallSettings& s) { return s.shared_path == u"Prod"; }},
      {"start menu", [](InstallSettings&, SettingsInput&) {},
       [](const InstallSettings& s) { return s.product_start_menu == u"Prod"; }},
      {"blank uninstall key name",
       [](InstallSettings& s, SettingsInput&) { s.uninstall_key_name = u"  \t\r\n"; },
       [](const InstallSettings& s) { return s.uninstall_key_name == u"Prod"; }},
      {"uninstall key name kept", [](InstallSettings& s, SettingsInput&) { s.uninstall_key_name = u" Key"; },
       [](const InstallSettings& s) { return s.uninstall_key_name == u" Key"; }},
      {"master names", [](InstallSettings& s, SettingsInput&) { s.product_flags = kMasterProduct; },
       [](const InstallSettings& s) {
         return s.master_product_name == u"Prod" && s.master_display_name == u"Prod" &&
                s.master_min_version.empty();
       }},
      {"desktop folder with its flag",
       [](InstallSettings& s, SettingsInput&) { s.product_flags = kDesktopFolderIsProduct; },
       [](const InstallSettings& s) { return s.desktop_folder == u"Prod"; }},
      {"desktop folder without the flag", [](InstallSettings&, SettingsInput&) {},
       [](const InstallSettings& s) { return s.desktop_folder.empty(); }},
      {"command-line name wins",
       [](InstallSettings&, SettingsInput& in) { in.product_name_override = u"Cmd"; },
       [](const InstallSettings& s) { return s.product_name == u"Cmd" && s.description == u"Cmd"; }},
      {"command-line name fills an empty one",
       [](InstallSettings& s, SettingsInput& in) {
         s.product_name.clear();
         in.product_name_override = u"Cmd";
       },
       [](const InstallSettings& s) { return s.product_name == u"Cmd" && s.uninstall_key_name == u"Cmd"; }},
      {"no name anywhere", [](InstallSettings& s, SettingsInput&) { s.product_name.clear(); },
       [](const InstallSettings& s) {
         return s.product_name.empty() && s.description.empty() && s.product_start_menu.empty() &&
                s.uninstall_key_name.empty() && s.shared_path.empty();
       }},
      {"narrow version", [](InstallSettings& s, SettingsInput&) { s.display_version = u"1.2 \u00E9"; },
       [](const InstallSettings& s) { return s.display_version_narrow == "1.2 \xE9"; }},
      {"mono colour", [](InstallSettings& s, SettingsInput&) { s.top_color = s.bottom_color = 0x123456; },
       [](const InstallSettings& s) { return s.mono_color; }},
      {"two colours", [](InstallSettings& s, SettingsInput&) { s.top_color = 1; },
       [](const InstallSettings& s) { return !s.mono_color; }},
      {"wizard caption placeholders",
       [](InstallSettings& s, SettingsInput& in) {
         s.description = u"Tool";
         s.wizard_caption = u"<product> - <description> for <os>, <product>";
         in.os_name = u"Windows 10";
       },
       [](const InstallSettings& s) { return s.wizard_caption == u"Prod - Tool for Windows 10, Prod"; }},
  };
  for (const DefaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    InstallSettings s;
    s.product_name = u"Prod";
    SettingsInput input;
    c.set(s, input);
    const ReadResult r = Decode(Encode(s), input);
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(c.check(r.settings));
  }
}

TEST(InstallSettingsTest, DialogFontSizeRoundsToPoints) {
  const std::pair<std::uint32_t, int> cases[] = {{0, 0}, {84, 8}, {85, 9}, {90, 9}, {96, 10}};
  for (const auto& [tenths, points] : cases) {
    InstallSettings s;
    s.dialog_font_size = tenths;
    EXPECT_EQ(s.dialog_font_points(), points) << tenths;
  }
}

TEST(InstallSettingsTest, AutomaticRule) {
  struct Case {
    std::uint8_t rule;
    bool automatic, silent, expected;
  };
  const Case cases[] = {
      {0, false, false, false}, {0, true, false, true},  {1, false, false, true}, {1, true, true, true},
      {2, true, false, false},  {2, true, true, true},   {3, true, false, true},  {3, false, false, false},
  };
  for (const Case& c : cases) {
    InstallSettings s;
    s.automatic_rule = c.rule;
    SettingsInput input;
    input.automatic = c.automatic;
    input.silent = c.silent;
    const ReadResult r = Decode(Encode(s), input);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.settings.automatic, c.expected)
        << "rule " << int(c.rule) << " automatic " << c.automatic << " silent " << c.silent;
  }
}

TEST(InstallSettingsTest, SilentModeChangesTheFlags) {
  struct Case {
    ProductFlags stored;
    bool silent;
    ProductFlags expected;
  };
  // Silent clears low 0x80000080 and high 0x0008121C, sets low 0x30600000 and high 0x800.
  const Case cases[] = {
      {0, false, 0},
      {~0ull, false, ~0ull},
      {0, true, 0x0000080030600000ull},
      {~0ull, true, 0xFFF7EDE37FFFFF7Full},
      {0x0000001080000080ull, true, 0x0000080030600000ull},
  };
  for (const Case& c : cases) {
    InstallSettings s;
    s.product_flags = c.stored;
    SettingsInput input;
    input.silent = c.silent;
    const ReadResult r = Decode(Encode(s), input);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.settings.product_flags, c.expected) << std::hex << c.stored << " silent " << c.silent;
  }
  EXPECT_TRUE(HasFlag(ApplySilentMode(0), product_flag::kNoBackgroundWindow));
  EXPECT_FALSE(HasFlag(ApplySilentMode(~0ull), product_flag::kProgressPage));
}

TEST(InstallSettingsTest, InstallPathRule) {
  SettingsInput input;
  input.program_files = u"C:\\Program Files (x86)";
  input.program_files_64 = u"C:\\Program Files\\";
  input.os_short_name = u"10";
  input.expand_path_variables = [](const WString& text) {
    WString out = text;
    const WString var = u"%CommonDir%";
    const std::size_t at = out.find(var);
    if (at != WString::npos) out.replace(at, var.size(), u"C:\\Common");
    return out;
  };
  struct Case {
    const char* name;
    WString field;
    std::uint8_t bitness;
    WString expected;
  };
  const Case cases[] = {
      {"empty", u"", 0, u"C:\\Program Files (x86)\\Prod"},
      {"empty 64-bit", u"", 1, u"C:\\Program Files\\Prod"},
      {"relative", u"Kestrel\\App", 2, u"C:\\Program Files (x86)\\Kestrel\\App"},
      {"root-relative", u"\\Kestrel", 0, u"C:\\Program Files (x86)\\Kestrel"},
      {"absolute", u"D:\\Apps\\K", 1, u"D:\\Apps\\K"},
      {"UNC", u"\\\\server\\share\\K", 0, u"\\\\server\\share\\K"},
      {"<os>", u"K<os>\\<os>", 0, u"C:\\Program Files (x86)\\K10\\10"},
      {"path variable", u"%CommonDir%\\K", 0, u"C:\\Common\\K"},
      {"master", u"<MASTER>", 0, u"<MASTER>"},
      {"HKLM", u"hklm\\Software\\K\\Dir", 0, u"hklm\\Software\\K\\Dir"},
      {"HKCU", u"HKCU\\Software\\K\\Dir", 1, u"HKCU\\Software\\K\\Dir"},
      {"HKLM without backslash is a folder", u"HKLMx", 0, u"C:\\Program Files (x86)\\HKLMx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ResolveInstallPath(c.field, u"Prod", c.bitness, input), c.expected);
  }
  // The reader applies the rule with the product name and bitness it read.
  InstallSettings s;
  s.product_name = u"Prod";
  s.bitness = 1;
  const ReadResult r = Decode(Encode(s), input);
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.settings.install_path, u"C:\\Program Files\\Prod");
}

TEST(InstallSettingsTest, TextTableGetsThePlaceholders) {
  InstallSettings s;
  s.product_name = u"Prod";
  s.description = u"Desc";
  SettingsInput input;
  input.os_name = u"Windows 11";
  const LocalizedTexts table({u"English"}, {{u"<product>/<description>/<os>"}});
  const ReadResult r = Decode(Encode(s, 0, table), input);
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.texts.Text(0), u"Prod/Desc/Windows 11");
}

}  // namespace
}  // namespace ks
