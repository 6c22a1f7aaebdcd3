#include "authoring/manifest.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <unistd.h>

#include "authoring/manifest_text.h"
#include "bmp_fixture.h"
#include "core/archive_header.h"
#include "scratch_dir.h"

namespace ks::authoring {
namespace {

namespace fs = std::filesystem;
namespace pf = product_flag;

using test::ScratchDir;

struct Loaded {
  std::optional<Manifest> manifest;
  Diagnostics diags;
  std::string file;
};

Loaded Load(const std::string& manifest, const std::map<std::string, std::string>& files = {}) {
  ScratchDir dir;
  for (const auto& [name, content] : files) dir.Write(name, content);
  Loaded r;
  const fs::path p = dir.Write("setup.toml", manifest);
  r.file = p.string();
  r.manifest = LoadManifest(p, r.diags);
  return r;
}

const char kMinimal[] = "[product]\nname = \"Demo\"\n";

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

struct ErrorCase {
  const char* name;
  std::string manifest;
  std::map<std::string, std::string> files;
  std::string expected;  // FormatDiagnostic of the first diagnostic, without "<file>:"
};

TEST(AuthoringManifestTest, EveryErrorNamesFileLineKeyAndExpectation) {
  const std::string long_link(40000, 'a');
  std::string docs;
  std::map<std::string, std::string> doc_files;
  for (int i = 0; i < 21; ++i) {
    docs += (i ? ", \"d" : "\"d") + std::to_string(i) + "\"";
    doc_files["d" + std::to_string(i)] = "x";
  }
  const ErrorCase cases[] = {
      {"syntax error", "[product\nname = 1\n", {}, "1:9: TOML syntax error: Error while parsing table header: expected ']', saw '\\n'"},
      {"no product table", "[wizard]\ncaption = \"x\"\n", {},
       "1:1: missing table [product] with at least the product's name"},
      {"no product name", "[product]\nversion = \"1\"\n", {},
       "1:1: product: missing key \"name\": the product's name"},
      {"text expected", "[product]\nname = \"D\"\nversion = 3\n", {},
       "3:11: product.version: expected a text in double quotes, found the integer 3"},
      {"enum value", "[product]\nname = \"D\"\nbitness = \"amd64\"\n", {},
       "3:11: product.bitness: expected one of \"any\", \"64-bit\" or \"32-bit\", found a text \"amd64\""},
      {"integer range", std::string(kMinimal) + "[wizard]\nstage_display_time = 12000\n", {},
       "4:22: wizard.stage_display_time: expected an integer from 0 to 9999, found the integer 12000"},
      {"boolean expected", std::string(kMinimal) + "[flags]\nfolder_page = \"yes\"\n", {},
       "4:15: flags.folder_page: expected true or false, found a text \"yes\""},
      {"colour form", std::string(kMinimal) + "[background]\ntop_colour = \"blue\"\n", {},
       "4:14: background.top_colour: expected a colour \"#RRGGBB\" (six hexadecimal digits), found a text "
       "\"blue\""},
      {"float range", std::string(kMinimal) + "[wizard]\ndialog_font_size = 0\n", {},
       "4:20: wizard.dialog_font_size: expected a number from 1 to 400, found the integer 0"},
      {"raw flags", std::string(kMinimal) + "[flags]\nraw = \"0xZZ\"\n", {},
       "4:7: flags.raw: expected a non-negative integer or a text \"0x\" with up to 16 hexadecimal digits, "
       "found a text \"0xZZ\""},
      {"raw archive flags wider than 32 bits", std::string(kMinimal) + "[archive]\nraw = \"0x100000000\"\n", {},
       "4:7: archive.raw: expected a value that fits 32 bits"},
      {"missing file", std::string(kMinimal) + "[uninstall]\nicon = \"nope.ico\"\n", {},
       "4:8: uninstall.icon: cannot read file \"<dir>/nope.ico\": No such file or directory"},
      {"missing document in a list", std::string(kMinimal) + "[wizard]\nreadme = [\"a.txt\", \"b.txt\"]\n",
       {{"a.txt", "A"}}, "4:20: wizard.readme[1]: cannot read file \"<dir>/b.txt\": No such file or directory"},
      {"list of files expected", std::string(kMinimal) + "[wizard]\nlicence = \"LICENSE.txt\"\n", {},
       "4:11: wizard.licence: expected an array of texts, e.g. [\"a\", \"b\"], found a text \"LICENSE.txt\""},
      {"text in a list expected", std::string(kMinimal) + "[languages]\nfiles = [\"de.toml\", 7]\n", {},
       "4:21: languages.files[1]: expected a text in double quotes, found the integer 7"},
      {"mask wider than 32 bits", "[product]\nname = \"D\"\nexcluded_systems = \"0x100000000\"\n", {},
       "3:20: product.excluded_systems: expected a 32-bit mask"},
      {"more than 20 documents", std::string(kMinimal) + "[wizard]\nlicence = [" + docs + "]\n", doc_files,
       "4:11: wizard.licence: expected at most 20 documents, found 21"},
      {"table expected", "wizard = 3\n" + std::string(kMinimal), {},
       "1:10: wizard: expected a table ([wizard]), found the integer 3"},
      {"narrow text outside code page 1252", std::string(kMinimal) + "[notify]\nstart = \"http://x/\xE2\x86\x92\"\n",
       {}, "4:9: notify.start: expected characters of code page 1252 (Western European) only"},
      {"Text16 too long", "[product]\nname = \"D\"\ninformation_link = \"" + long_link + "\"\n", {},
       "3:20: product.information_link: expected at most 32767 characters, found 40000"},
      {"NUL in a text", "[product]\nname = \"D\\u0000x\"\n", {},
       "2:8: product.name: the text may not contain a NUL character"},
      {"NUL in a narrow text", std::string(kMinimal) + "[versions]\nno_downgrade_below = \"1\\u0000\"\n", {},
       "4:22: versions.no_downgrade_below: the text may not contain a NUL character"},
      {"Text8 too long", std::string(kMinimal) + "[versions]\nno_downgrade_below = \"" + std::string(256, '9') +
       "\"\n", {}, "4:22: versions.no_downgrade_below: expected at most 255 characters, found 256"},
      {"text number key", std::string(kMinimal) + "[texts]\nwelcome = \"Hi\"\n", {},
       "4:1: texts.welcome: expected a text number from 0 to 9999 as the key"},
      {"text number too high", std::string(kMinimal) + "[texts]\n10000 = \"Hi\"\n", {},
       "4:1: texts.10000: expected a text number from 0 to 9999 as the key"},
      {"cipher key", std::string(kMinimal) + "[archive]\ncipher_key = \"0011\"\n", {},
       "4:14: archive.cipher_key: expected 16 hexadecimal digits (8 bytes)"},
      {"copyright without position", std::string(kMinimal) + "[background]\ncopyright_text = \"(c)\"\n", {},
       "3:1: background: copyright settings given without \"copyright_position\" (0 shows no copyright line)"},
      {"master without name", std::string(kMinimal) + "[master]\nmin_version = \"2\"\n", {},
       "3:1: master: missing key \"name\": the master product's Uninstall key name"},
      {"crash report address without the form's", std::string(kMinimal) +
       "[crash_report]\nsupport_address = \"help@maker.example\"\n", {},
       "3:1: crash_report: \"support_address\" and \"form_address\" go together: give both or neither"},
      {"crash report support address", std::string(kMinimal) +
       "[crash_report]\nsupport_address = \"maker\"\nform_address = \"https://maker.example/f\"\n", {},
       "4:19: crash_report.support_address: expected an e-mail address (name@host), found \"maker\""},
      {"crash report form address", std::string(kMinimal) +
       "[crash_report]\nsupport_address = \"help@maker.example\"\nform_address = \"ftp://maker.example/f\"\n", {},
       "5:16: crash_report.form_address: expected an https:// (or http://) address, found \"ftp://maker.example/f\""},
      {"PNG picture", std::string(kMinimal) + "[wizard]\nside_picture = \"side.png\"\n",
       {{"side.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)}},
       "4:16: wizard.side_picture: this is a PNG picture; the engine takes BMP pictures only: save it as BMP"},
      {"damaged picture", std::string(kMinimal) + "[wizard]\nheader_picture = \"band.bmp\"\n",
       {{"band.bmp", AsText(test::TestBmp(96, 42, 24)).substr(0, 400)}},
       "4:18: wizard.header_picture: not a BMP picture the engine can show (damaged or another format): expected "
       "\"BM\", an info header of 40 bytes or more, 1, 4, 8, 16, 24 or 32 bits per pixel, no run-length "
       "compression, and the colour table and every row inside the file"},
      {"button image too large", std::string(kMinimal) + "[wizard]\nfirst_button_image = \"go.bmp\"\n",
       {{"go.bmp", AsText(test::TestBmp(65, 16, 24))}},
       "4:22: wizard.first_button_image: the picture is 65 x 16 pixels; at most 64 on a side"},
      {"language file missing", std::string(kMinimal) + "[languages]\nfiles = [\"de.toml\"]\n", {},
       "<dir>/de.toml: cannot read the file: No such file or directory"},
      {"language file without name", std::string(kMinimal) + "[languages]\nfiles = [\"de.toml\"]\n",
       {{"de.toml", "[texts]\n1 = \"Hallo\"\n"}},
       "<dir>/de.toml:1:1: missing key \"name\": the language's name as the language page lists it"},
      {"language file with a bad key", std::string(kMinimal) + "[languages]\nfiles = [\"de.toml\"]\n",
       {{"de.toml", "name = \"Deutsch\"\n[texts]\n1 = 5\n"}},
       "<dir>/de.toml:3:5: texts.1: expected a text in double quotes, found the integer 5"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Loaded r = Load(c.manifest, c.files);
    EXPECT_FALSE(r.manifest);
    ASSERT_FALSE(r.diags.empty());
    const std::string dir = fs::path(r.file).parent_path().string();
    std::string expected = c.expected;
    for (std::size_t at; (at = expected.find("<dir>")) != std::string::npos;) expected.replace(at, 5, dir);
    const std::string prefix = expected.rfind(dir, 0) == 0 ? "" : r.file + ":";
    EXPECT_EQ(FormatDiagnostic(r.diags.front()), prefix + expected);
  }
}

TEST(AuthoringManifestTest, FilePathsTakeEitherSlash) {
  const Loaded r = Load(std::string(kMinimal) + "icon = \"art\\\\p.ico\"\n[wizard]\nreadme = [\"docs/r.txt\"]\n",
                        {{"art/p.ico", "ICO"}, {"docs/r.txt", "R"}});
  ASSERT_TRUE(r.manifest) << r.diags.Text();
  EXPECT_EQ(r.manifest->settings.product_icon, Bytes({'I', 'C', 'O'}));
  EXPECT_EQ(r.manifest->settings.readme_documents.at(0), Bytes({0xFF, 0xFE, 'R', 0}));
}

TEST(AuthoringManifestTest, UnknownKeysListTheKnownOnes) {
  const Loaded r = Load("[product]\nname = \"D\"\npublsher = \"X\"\n[wizzard]\n");
  ASSERT_EQ(r.diags.size(), 2u);
  const std::string typo = FormatDiagnostic(r.diags.list()[0]);
  EXPECT_EQ(typo.rfind(r.file + ":3:1: product.publsher: unknown key; expected one of: ", 0), 0u) << typo;
  EXPECT_NE(typo.find("publisher"), std::string::npos);
  const std::string table = FormatDiagnostic(r.diags.list()[1]);
  EXPECT_EQ(table.rfind(r.file + ":4:2: wizzard: unknown key; expected one of: ", 0), 0u) << table;
  EXPECT_NE(table.find("wizard"), std::string::npos);
}

TEST(AuthoringManifestTest, ReportsEveryMistakeInOneRun) {
  const Loaded r = Load("[product]\nname = 1\nversion = 2\n[flags]\nnope = true\n");
  EXPECT_FALSE(r.manifest);
  EXPECT_EQ(r.diags.size(), 3u) << r.diags.Text();
}

TEST(AuthoringManifestTest, ReadableKeysFillTheSettings) {
  const Loaded r = Load(R"([product]
name = "Demo"
version = "2.1"
publisher = "Maker"
install_path = "Maker\\Demo"
bitness = "64-bit"
excluded_systems = "0x30"
icon = "demo.ico"
support_offer = "Caf\u00e9 help"

[versions]
no_downgrade_below = "2.0"

[master]
name = "Base"
display_name = "Base Suite"

[wizard]
automatic = "never"
dialog_font_size = 9.5
side_picture_frame = "border"
dialog_background = "#102030"
licence = ["a.txt", "b.rtf"]
[wizard.layout]
folder = 2
summary = 1

[background]
top_colour = "#FF8000"
copyright_position = 2
copyright_text = "(c) Maker"

[uninstall]
fonts = "ask"
shared_files = "remove"

[notify]
error = "http://example.invalid/e?p=<product>"

[batches]
pre_install = "echo pre"

[archive]
encipher = true
integrity_check = "checksum"
cipher_key = "0011223344556677"
)",
                        {{"demo.ico", "ICON"}, {"a.txt", "licence A"}, {"b.rtf", "{\\rtf1 B}"}});
  ASSERT_TRUE(r.manifest) << r.diags.Text();
  const InstallSettings& s = r.manifest->settings;
  EXPECT_EQ(s.product_name, u"Demo");
  EXPECT_EQ(s.display_version, u"2.1");
  EXPECT_EQ(s.publisher, u"Maker");
  EXPECT_EQ(s.install_path, u"Maker\\Demo");
  EXPECT_EQ(s.bitness, 1);
  EXPECT_EQ(s.excluded_systems, 0x30u);
  EXPECT_EQ(s.product_icon, Bytes({'I', 'C', 'O', 'N'}));
  EXPECT_EQ(s.support_offer, "Caf\xE9 help");  // code page 1252
  EXPECT_EQ(s.no_downgrade_below, "2.0");
  EXPECT_EQ(s.master_product_name, u"Base");
  EXPECT_EQ(s.master_display_name, u"Base Suite");
  EXPECT_TRUE(HasFlag(s.product_flags, pf::kMasterProduct));
  EXPECT_EQ(s.automatic_rule, 2);
  EXPECT_EQ(s.dialog_font_size, 95u);
  EXPECT_EQ(s.side_picture_frame, 2);
  EXPECT_EQ(s.dialog_bg, 0x302010u);
  EXPECT_TRUE(HasFlag(s.product_flags, pf::kDialogColours));
  ASSERT_EQ(s.licence_documents.size(), 2u);
  EXPECT_EQ(s.licence_documents[0], Bytes({0xFF, 0xFE, 'l', 0, 'i', 0, 'c', 0, 'e', 0, 'n', 0, 'c', 0, 'e', 0, ' ', 0,
                                             'A', 0}));
  EXPECT_EQ(s.licence_documents[1], Bytes({'{', '\\', 'r', 't', 'f', '1', ' ', 'B', '}'}));
  EXPECT_EQ(s.page_styles.layout_variant(WizardPage::kFolder), 2u);
  EXPECT_EQ(s.page_styles.layout_variant(WizardPage::kSummary), 1u);
  EXPECT_EQ(s.page_styles.integrity_mode(), 1u);
  EXPECT_EQ(s.top_color, 0x0080FFu);
  EXPECT_EQ(s.copyright_pos, 2);
  EXPECT_EQ(s.copyright_text, u"(c) Maker");
  EXPECT_EQ(s.uninstall_fonts, 1u);
  EXPECT_EQ(s.uninstall_shared, 2u);
  EXPECT_EQ(s.error_url, "http://example.invalid/e?p=<product>");
  EXPECT_EQ(s.pre_install_batch, "echo pre");
  EXPECT_EQ(r.manifest->archive_flags, kArchiveEnciphered);
  ASSERT_TRUE(r.manifest->cipher_key);
  EXPECT_EQ((*r.manifest->cipher_key)[7], 0x77);
}

TEST(AuthoringManifestTest, PlainDocumentsBecomeUtf16) {
  const auto bytes = [](const std::string& text) { return Bytes(text.begin(), text.end()); };
  const Bytes utf16_e_acute = {0xFF, 0xFE, 'C', 0, 'a', 0, 'f', 0, 0xE9, 0};
  const struct {
    const char* name;
    Bytes file, document;
  } cases[] = {
      {"UTF-8", bytes("Caf\xC3\xA9"), utf16_e_acute},
      {"UTF-8 with its mark", bytes("\xEF\xBB\xBF" "Caf\xC3\xA9"), utf16_e_acute},
      {"code page 1252", bytes("Caf\xE9"), utf16_e_acute},
      {"UTF-16 stays", utf16_e_acute, utf16_e_acute},
      {"RTF stays", bytes("{\\rtf1 \xE9}"), bytes("{\\rtf1 \xE9}")},
      {"a replacement character of its own", bytes("\xEF\xBF\xBD"), {0xFF, 0xFE, 0xFD, 0xFF}},
  };
  for (const auto& c : cases) EXPECT_EQ(DocumentForEngine(c.file), c.document) << c.name;
}

TEST(AuthoringManifestTest, NamedFlagsSetAndClearOverTheRawWord) {
  const struct {
    const char* name;
    std::string flags;
    ProductFlags expected;
  } cases[] = {
      {"defaults", "", DefaultSettings().product_flags},
      {"raw replaces the defaults", "raw = 0x100\n", pf::kSingleInstance},
      {"raw top bit as text", "raw = \"0x8000000000000000\"\n", ProductFlags{1} << 63},
      {"named bit set", "raw = 0\nprogress_page = true\n", pf::kProgressPage},
      {"named bit cleared", "raw = 0x104\nregister_uninstaller = false\n", pf::kSingleInstance},
      {"high half", "raw = 0\noffer_view_log = true\nno_greeting_page = true\n",
       pf::kSummaryCheckBox | pf::kNoGreetingPage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Loaded r = Load(std::string(kMinimal) + "[flags]\n" + c.flags);
    ASSERT_TRUE(r.manifest) << r.diags.Text();
    EXPECT_EQ(r.manifest->settings.product_flags, c.expected);
  }
}

TEST(AuthoringManifestTest, FlagNamesAreUniqueAndEachNamesOneBit) {
  for (const auto* list : {&ProductFlagNames(), &ArchiveFlagNames()}) {
    std::set<std::string> names;
    std::uint64_t seen = 0;
    for (const NamedBit& b : *list) {
      EXPECT_TRUE(names.insert(b.name).second) << b.name;
      EXPECT_EQ(b.bit & (b.bit - 1), 0u) << b.name << " is not a single bit";
      EXPECT_EQ(seen & b.bit, 0u) << b.name << " repeats a bit";
      seen |= b.bit;
    }
  }
}

TEST(AuthoringManifestTest, RecordListsBecomeSettingsRecords) {
  const Loaded r = Load(std::string(kMinimal) + R"(
[[close_program]]
window_class = "NotesMain"
name = "Ptarmigan Notes"
action = "ask"
when = ["install", "uninstall"]

[[close_program]]
window_title = "*Notes*"

[[deletion]]
path = '%InstallDir%\cache\*.tmp'
condition = "size-at-least"
value = "1024"
at_restart = "on-failure"
when = ["install"]

[[deletion]]
path = 'Café\old.log'

[[uninstall_value]]
name = "HelpLink"
data = "https://example.invalid/help"

[[uninstall_value]]
name = "NoModify"
type = "number"
data = "1"
)");
  ASSERT_TRUE(r.manifest) << r.diags.Text();
  const InstallSettings& s = r.manifest->settings;
  ASSERT_EQ(s.close_programs.size(), 2u);
  EXPECT_EQ(s.close_programs[0].class_pattern, u"NotesMain");
  EXPECT_EQ(s.close_programs[0].display_name, "Ptarmigan Notes");
  EXPECT_EQ(s.close_programs[0].action, 2);
  EXPECT_EQ(s.close_programs[0].when, 3);
  EXPECT_EQ(s.close_programs[1].title_pattern, u"*Notes*");
  EXPECT_EQ(s.close_programs[1].action, 0);
  EXPECT_EQ(s.close_programs[1].when, 1) << "installation by default";
  ASSERT_EQ(s.deletions.size(), 2u);
  EXPECT_EQ(s.deletions[0].path, "%InstallDir%\\cache\\*.tmp");
  EXPECT_EQ(s.deletions[0].condition, 5);
  EXPECT_EQ(s.deletions[0].condition_value, "1024");
  EXPECT_EQ(s.deletions[0].flags, 0x2 | 0x4);
  EXPECT_EQ(s.deletions[1].path, "|Caf\xC3\xA9\\old.log") << "non-ASCII paths travel as marked UTF-8";
  EXPECT_EQ(s.deletions[1].flags, 0x8) << "uninstallation by default";
  ASSERT_EQ(s.extra_uninstall_values.size(), 2u);
  EXPECT_EQ(s.extra_uninstall_values[0].name, "HelpLink");
  EXPECT_EQ(s.extra_uninstall_values[0].type, 1);
  EXPECT_EQ(s.extra_uninstall_values[1].type, 4);
  EXPECT_EQ(s.extra_uninstall_values[1].data, u"1");
}

TEST(AuthoringManifestTest, ShortcutsAssociationsAndFirewallExceptions) {
  const Loaded r = Load(std::string(kMinimal) + R"(
firewall_text = "7;Raw;1;0"

[shortcuts]
all_users = true
root_command = '"%InstallDir%\run.exe" -p'
root_name = "Run <product>"
pin_command = '"%InstallDir%\notes.exe"'
pin_name = "Notes"

[[shortcut]]
target = '%InstallDir%\notes.exe'
name = 'Tools\Notes'
arguments = "--new"
start_in = "%InstallDir%"
icon = "notes.ico"
desktop = true
start_menu = true
window = "minimized"

[[shortcut]]
target = "readme.txt"
folder = '%AppDataDir%\Café'
startup = true
keep = true

[[association]]
extension = ".ptn"
prog_id = "Ptarmigan.Note"
description = "Ptarmigan note"
verbs = ["open", "print"]
verb_label = "&Open"
command = '"%InstallDir%\notes.exe" "%1"'
icon = "notes.exe,0"
mode = "open-with"
language = "English"

[[association]]
extension = "ptx"
command = "x.exe"

[[firewall]]
port = 8642
protocol = "both"
name = "Notes sync"

[[firewall]]
program = '%InstallDir%\notes.exe'
keep = true
)");
  ASSERT_TRUE(r.manifest) << r.diags.Text();
  const InstallSettings& s = r.manifest->settings;
  EXPECT_EQ(s.shortcut_mode, 1);
  EXPECT_EQ(s.root_shortcut_command, u"\"%InstallDir%\\run.exe\" -p");
  EXPECT_EQ(s.root_shortcut_name, u"Run <product>");
  EXPECT_EQ(s.taskbar_pin_command, u"\"%InstallDir%\\notes.exe\"");
  EXPECT_EQ(s.taskbar_pin_name, u"Notes");
  ASSERT_EQ(s.shortcuts.size(), 2u);
  const ShortcutRecord& notes = s.shortcuts[0];
  EXPECT_EQ(notes.target, u"%InstallDir%\\notes.exe");
  EXPECT_EQ(notes.name, u"Tools\\Notes");
  EXPECT_EQ(notes.arguments, u"--new");
  EXPECT_EQ(notes.start_in, u"%InstallDir%");
  EXPECT_EQ(notes.icon, u"notes.ico");
  EXPECT_EQ(notes.on_desktop + notes.in_start_menu * 2 + notes.in_startup * 4, 3);
  EXPECT_EQ(notes.window_state, 1);
  EXPECT_EQ(notes.keep, 0);
  EXPECT_EQ(s.shortcuts[1].other_folder, "|%AppDataDir%\\Caf\xC3\xA9");
  EXPECT_EQ(s.shortcuts[1].in_startup, 1);
  EXPECT_EQ(s.shortcuts[1].keep, 1);
  ASSERT_EQ(s.associations.size(), 2u);
  const FileAssociation& note = s.associations[0];
  EXPECT_EQ(note.extension, ".ptn");
  EXPECT_EQ(note.prog_id, "Ptarmigan.Note");
  EXPECT_EQ(note.description, "Ptarmigan note");
  EXPECT_EQ(note.verbs, "open,print");
  EXPECT_EQ(note.verb_label, "&Open");
  EXPECT_EQ(note.command, u"\"%InstallDir%\\notes.exe\" \"%1\"");
  EXPECT_EQ(note.icon, u"notes.exe,0");
  EXPECT_EQ(note.mode, 2u);
  EXPECT_EQ(note.language, u"English");
  EXPECT_EQ(s.associations[1].verbs, "open") << "one verb, open, by default";
  EXPECT_EQ(s.associations[1].mode, 0u);
  EXPECT_EQ(s.firewall_text, "7;Raw;1;0\r\n8642;Notes sync;3;0\r\n%InstallDir%\\notes.exe;;0;1\r\n");
}

TEST(AuthoringManifestTest, RecordListErrorsNameTheEntry) {
  std::string many;
  for (int i = 0; i < 1001; ++i) many += "[[uninstall_value]]\nname = \"V\"\n";
  const struct {
    const char* name;
    std::string lists;
    std::string expected;  // after "<file>:"
  } cases[] = {
      {"end marker as class", "[[close_program]]\nwindow_class = \"~~THE~END~~\"\n",
       "4:16: close_program[0].window_class: this text marks the end of the list"},
      {"no pattern", "[[close_program]]\nname = \"X\"\n",
       "3:1: close_program[0]: expected \"window_class\" or \"window_title\" (a pattern the window must match)"},
      {"bad when", "[[close_program]]\nwindow_title = \"X\"\nwhen = [\"always\"]\n",
       "5:8: close_program[0].when: expected a list of \"install\" and \"uninstall\", found \"always\""},
      {"deletion end marker", "[[deletion]]\npath = \"~~THE END~~\"\n",
       "4:8: deletion[0].path: this text marks the end of the list"},
      {"deletion without path", "[[deletion]]\ncondition = \"always\"\n",
       "3:1: deletion[0]: missing key \"path\": the file or wildcard pattern to delete"},
      {"deletion path too long", "[[deletion]]\npath = \"" + std::string(512, 'p') + "\"\n",
       "4:8: deletion[0].path: expected at most 511 bytes as stored, found 512"},
      {"uninstall value without name", "[[uninstall_value]]\ndata = \"1\"\n",
       "3:1: uninstall_value[0]: missing key \"name\": the value's name under the Uninstall key"},
      {"unknown key in an entry", "[[uninstall_value]]\nname = \"A\"\nvalue = \"1\"\n",
       "5:1: uninstall_value[0].value: unknown key; expected one of: data, name, type"},
      {"not an array of tables", "", "1:12: deletion: expected tables written as [[deletion]], found a text \"x\""},
      {"too many records", many, "3:1: uninstall_value: expected at most 1000 entries, found 1001"},
      {"shortcut without target", "[[shortcut]]\ndesktop = true\n",
       "3:1: shortcut[0]: missing key \"target\": the program or document the shortcut opens"},
      {"shortcut without a place", "[[shortcut]]\ntarget = \"a.exe\"\n",
       "3:1: shortcut[0]: expected at least one place: \"desktop\", \"start_menu\", \"startup\" or \"folder\""},
      {"association without command", "[[association]]\nextension = \"x\"\n",
       "3:1: association[0]: missing key \"command\": the command line of the verbs"},
      {"verb with a comma", "[[association]]\nextension = \"x\"\ncommand = \"c\"\nverbs = [\"a,b\"]\n",
       "6:9: association[0].verbs: expected verbs without commas, found \"a,b\""},
      {"port and program", "[[firewall]]\nport = 1\nprogram = \"p\"\n",
       "3:1: firewall[0]: expected either \"port\" or \"program\""},
      {"name with the separator", "[[firewall]]\nport = 1\nname = \"a;b\"\n",
       "3:1: firewall[0]: the name and the program may not contain \";\" (it separates the fields)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string manifest = c.lists.empty() ? "deletion = \"x\"\n" + std::string(kMinimal)
                                                 : std::string(kMinimal) + c.lists;
    const Loaded r = Load(manifest);
    EXPECT_FALSE(r.manifest);
    ASSERT_FALSE(r.diags.empty());
    const std::string text = FormatDiagnostic(r.diags.front());
    EXPECT_EQ(text.substr(0, r.file.size() + 1 + c.expected.size()), r.file + ":" + c.expected);
  }
}

TEST(AuthoringManifestTest, ReferenceDocumentsEveryFlagName) {
  std::ifstream in(fs::path(KS_SOURCE_DIR) / "docs" / "manifest.md");
  const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(doc.empty());
  for (const auto* list : {&ProductFlagNames(), &ArchiveFlagNames()}) {
    for (const NamedBit& b : *list) {
      EXPECT_NE(doc.find("`" + std::string(b.name) + "`"), std::string::npos) << b.name;
    }
  }
}

}  // namespace
}  // namespace ks::authoring
