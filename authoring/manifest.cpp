#include "authoring/manifest.h"

#include <algorithm>

#include "authoring/manifest_lists.h"
#include "authoring/manifest_text.h"
#include "authoring/toml_reader.h"
#include "core/archive_header.h"
#include "lib/text.h"
#include "ui/bmp_file.h"
#include "ui/wizard_rules.h"

namespace ks::authoring {
namespace {

using S = InstallSettings;
namespace pf = product_flag;

struct WideKey {
  const char* key;
  WString S::*field;
  std::size_t max_bytes = kNoLimit;  // UTF-16LE bytes
};
struct NarrowKey {
  const char* key;
  NString S::*field;
  std::size_t max_bytes = kNoLimit;
};

// A manifest section: its reader and the record it fills.
struct Section {
  TomlReader& t;
  Manifest& m;
  S& s() { return m.settings; }
};

void ReadWide(Section& sec, const std::vector<WideKey>& keys) {
  for (const WideKey& k : keys) {
    if (auto v = WideText(sec.t, k.key, k.max_bytes)) sec.s().*k.field = std::move(*v);
  }
}

void ReadNarrow(Section& sec, const std::vector<NarrowKey>& keys) {
  for (const NarrowKey& k : keys) {
    if (auto v = NarrowText(sec.t, k.key, k.max_bytes)) sec.s().*k.field = std::move(*v);
  }
}

template <typename Int>
void ReadInt(Section& sec, const char* key, Int S::*field, std::int64_t min, std::int64_t max) {
  if (const auto v = sec.t.Int(key, min, max)) sec.s().*field = static_cast<Int>(*v);
}

void ReadColour(Section& sec, const char* key, std::uint32_t S::*field) {
  if (const auto v = sec.t.Colour(key)) sec.s().*field = *v;
}

void ReadFile(Section& sec, const char* key, Bytes S::*field) {
  if (auto v = sec.t.File(key)) sec.s().*field = std::move(*v);
}

void ReadDocuments(Section& sec, const char* key, std::vector<Bytes> S::*field) {
  auto docs = sec.t.FileList(key);
  if (!docs) return;
  if (docs->size() > kMaxDocuments) {
    sec.t.Error(key, "expected at most " + std::to_string(kMaxDocuments) + " documents, found " +
                         std::to_string(docs->size()));
    return;
  }
  for (Bytes& doc : *docs) doc = DocumentForEngine(doc);
  sec.s().*field = std::move(*docs);
}

template <typename Word>
void ReadBits(TomlReader& t, const std::vector<NamedBit>& names, Word& word) {
  if (const auto raw = t.Word("raw")) {
    if (*raw > static_cast<std::uint64_t>(static_cast<Word>(~Word{0}))) {
      t.Error("raw", "expected a value that fits " + std::to_string(sizeof(Word) * 8) + " bits");
    } else {
      word = static_cast<Word>(*raw);
    }
  }
  for (const NamedBit& b : names) {
    const auto on = t.Bool(b.name);
    if (!on) continue;
    word = *on ? static_cast<Word>(word | b.bit) : static_cast<Word>(word & ~static_cast<Word>(b.bit));
  }
}

void ReadProduct(Section& sec) {
  ReadWide(sec, {{"name", &S::product_name},
                 {"version", &S::display_version},
                 {"publisher", &S::publisher},
                 {"description", &S::description},
                 {"install_path", &S::install_path},
                 {"start_menu_folder", &S::product_start_menu},
                 {"registry_key", &S::product_registry},
                 {"uninstall_key", &S::uninstall_key_name},
                 {"uninstall_subdir", &S::uninstall_subdir},
                 {"information_link", &S::information_link, kText16Bytes},
                 {"shared_folder_name", &S::shared_path},
                 {"shared_folder_path", &S::shared_folder_path},
                 {"desktop_folder", &S::desktop_folder},
                 {"add_to_path_subfolder", &S::add_to_path_subfolder},
                 {"password", &S::password},
                 {"earlier_folder_registry_path", &S::folder_registry_path, kText16Bytes},
                 {"registry_entries", &S::registry_entries},
                 {"app_path", &S::app_path_text}});
  ReadNarrow(sec, {{"support_offer", &S::support_offer, kText16Bytes},
                   {"component_text", &S::component_text, kText8Bytes},
                   {"firewall_text", &S::firewall_text}});
  if (const auto v = sec.t.Enum("bitness", {{"any", 0}, {"64-bit", 1}, {"32-bit", 2}})) {
    sec.s().bitness = static_cast<std::uint8_t>(*v);
  }
  ReadInt(sec, "shared_folder_base", &S::shared_folder_base, 0, 255);
  if (const auto v = sec.t.Word("excluded_systems")) {
    if (*v > 0xFFFFFFFFu) sec.t.Error("excluded_systems", "expected a 32-bit mask");
    else sec.s().excluded_systems = static_cast<std::uint32_t>(*v);
  }
  ReadFile(sec, "icon", &S::product_icon);
  ReadFile(sec, "desktop_folder_icon", &S::desktop_folder_icon);
  ReadFile(sec, "registry_merge_file", &S::registry_merge);
  if (!sec.t.Has("name")) sec.t.Error("", "missing key \"name\": the product's name");
}

void ReadVersions(Section& sec) {
  ReadNarrow(sec, {{"old_version_warning_below", &S::old_version_warning_limit, kZTextBytes},
                   {"no_downgrade_below", &S::no_downgrade_below, kText8Bytes}});
  ReadWide(sec, {{"uninstall_first_below", &S::uninstall_first_limit}});
}

void ReadMaster(Section& sec) {
  ReadWide(sec, {{"name", &S::master_product_name},
                 {"display_name", &S::master_display_name},
                 {"min_version", &S::master_min_version}});
  if (!sec.t.Has("name")) sec.t.Error("", "missing key \"name\": the master product's Uninstall key name");
  sec.s().product_flags |= pf::kMasterProduct;
}

void ReadLayout(Section& sec) {
  static const char* const kNames[] = {"uninstaller_1", "uninstaller_2", "greeting", "language", "licence",
                                       "readme",        "folder",        "start_menu", "progress", "summary"};
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    if (const auto v = sec.t.Int(kNames[i], 0, 0xFFFFFFFF)) {
      sec.s().page_styles.values[i] = static_cast<std::uint32_t>(*v);
    }
  }
}

void ReadDialogColours(Section& sec) {
  const bool first = sec.t.Has("dialog_background") || sec.t.Has("dialog_text");
  const bool second = sec.t.Has("dialog_background_2") || sec.t.Has("dialog_text_2");
  ReadColour(sec, "dialog_background", &S::dialog_bg);
  ReadColour(sec, "dialog_text", &S::dialog_fg);
  ReadColour(sec, "dialog_background_2", &S::dialog_bg2);
  ReadColour(sec, "dialog_text_2", &S::dialog_fg2);
  if (first) sec.s().product_flags |= pf::kDialogColours;
  if (second) sec.m.archive_flags |= kArchiveFlagSecondDialogColours;
}

// The author's pictures of the pages. Each is checked here, so that a
// damaged or foreign file stops the build instead of reaching the engine.
struct PictureKey {
  const char* key;
  int bitmap;
  int max_side;  // pixels; the buttons take their images at their own size
};
constexpr PictureKey kPictureKeys[] = {
    {"side_picture", kSidePictureBitmap, kMaxPagePictureSide},
    {"header_picture", kHeaderBitmap, kMaxPagePictureSide},
    {"first_button_image", kFirstButtonImage, kMaxButtonImageSide},
    {"cancel_button_image", kCancelButtonImage, kMaxButtonImageSide},
};

void ReadPictures(Section& sec) {
  static const Bytes kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const PictureKey& k : kPictureKeys) {
    const auto file = sec.t.File(k.key);
    if (!file) continue;
    BmpLayout layout;
    EnginePicture picture;
    picture.bitmap = static_cast<std::uint16_t>(k.bitmap);
    if (file->size() >= kPngSignature.size() && std::equal(kPngSignature.begin(), kPngSignature.end(), file->begin())) {
      sec.t.Error(k.key, "this is a PNG picture; the engine takes BMP pictures only: save it as BMP");
    } else if (!ReadBmpLayout(*file, &layout) || !BmpResourceFromFile(*file, &picture.resource)) {
      sec.t.Error(k.key,
                  "not a BMP picture the engine can show (damaged or another format): expected \"BM\", an info "
                  "header of 40 bytes or more, 1, 4, 8, 16, 24 or 32 bits per pixel, no run-length compression, "
                  "and the colour table and every row inside the file");
    } else if (layout.width > k.max_side || layout.height > k.max_side) {
      sec.t.Error(k.key, "the picture is " + std::to_string(layout.width) + " x " + std::to_string(layout.height) +
                             " pixels; at most " + std::to_string(k.max_side) + " on a side");
    } else {
      sec.m.pictures.push_back(std::move(picture));
    }
  }
}

void ReadWizard(Section& sec) {
  ReadWide(sec, {{"caption", &S::wizard_caption},
                 {"dialog_font", &S::dialog_font, kText16Bytes},
                 {"launch_on_exit", &S::launch_on_exit},
                 {"finish_open", &S::finishing_text1},
                 {"finish_document", &S::finishing_text2}});
  if (const auto v = sec.t.Enum("automatic", {{"command-line", 0}, {"always", 1}, {"never", 2}})) {
    sec.s().automatic_rule = static_cast<std::uint8_t>(*v);
  }
  if (const auto v = sec.t.Float("dialog_font_size", 1, 400)) {
    sec.s().dialog_font_size = static_cast<std::uint32_t>(*v * 10 + 0.5);
  }
  ReadInt(sec, "stage_display_time", &S::stage_display_time, 0, kMaxStageDisplayTime);
  ReadInt(sec, "progress_page_option", &S::progress_page_option, 0, 0xFFFFFFFF);
  ReadColour(sec, "side_picture_colour", &S::side_picture_colour);
  if (const auto v = sec.t.Enum("side_picture_frame",
                                {{"none", 0}, {"sunken", 1}, {"border", 2}, {"sunken-variant-1", 3}})) {
    sec.s().side_picture_frame = static_cast<std::uint8_t>(*v);
  }
  ReadDialogColours(sec);
  ReadDocuments(sec, "licence", &S::licence_documents);
  ReadDocuments(sec, "readme", &S::readme_documents);
  ReadFile(sec, "start_sound", &S::start_sound);
  ReadPictures(sec);
  if (auto layout = sec.t.Table("layout")) {
    Section sub{*layout, sec.m};
    ReadLayout(sub);
    layout->Finish();
  }
}

void ReadCopyright(Section& sec) {
  ReadInt(sec, "copyright_position", &S::copyright_pos, 0, 255);
  ReadColour(sec, "copyright_colour", &S::copyright_color);
  if (const auto v = sec.t.Float("copyright_size", 0, 1000)) sec.s().copyright_size = *v;
  ReadWide(sec, {{"copyright_text", &S::copyright_text}, {"copyright_font", &S::copyright_font}});
  const bool any = sec.t.Has("copyright_text") || sec.t.Has("copyright_colour") ||
                   sec.t.Has("copyright_size") || sec.t.Has("copyright_font");
  if (any && sec.s().copyright_pos == 0 && !sec.t.Has("copyright_position")) {
    sec.t.Error("", "copyright settings given without \"copyright_position\" (0 shows no copyright line)");
  }
}

void ReadBackground(Section& sec) {
  ReadWide(sec, {{"taskbar_text", &S::taskbar_text},
                 {"title", &S::display_title},
                 {"title_font", &S::title_font, kText16Bytes}});
  if (const auto v = sec.t.Float("title_size", 0, 1000)) sec.s().title_size = *v;
  ReadColour(sec, "title_colour", &S::title_color);
  ReadInt(sec, "title_shadow", &S::title_shadow, 0, 255);
  ReadInt(sec, "title_position", &S::title_position, 0, 255);
  ReadColour(sec, "top_colour", &S::top_color);
  ReadColour(sec, "bottom_colour", &S::bottom_color);
  ReadFile(sec, "bitmap", &S::background_bitmap);
  ReadInt(sec, "bitmap_tpi", &S::bitmap_tpi, 0, 0xFFFFFFFF);
  ReadInt(sec, "bitmap_size", &S::bitmap_size, 0, kMaxBitmapSize);
  ReadInt(sec, "stretch_mode", &S::stretch_mode, 0, 0xFFFFFFFF);
  ReadCopyright(sec);
}

void ReadUninstall(Section& sec) {
  const std::vector<EnumChoice> keep_ask_remove = {{"keep", 0}, {"ask", 1}, {"remove", 2}};
  if (const auto v = sec.t.Enum("fonts", keep_ask_remove)) sec.s().uninstall_fonts = static_cast<std::uint32_t>(*v);
  if (const auto v = sec.t.Enum("shared_files", keep_ask_remove)) {
    sec.s().uninstall_shared = static_cast<std::uint32_t>(*v);
  }
  ReadFile(sec, "icon", &S::uninstaller_icon);
}

void ReadShortcutSettings(Section& sec) {
  if (const auto v = sec.t.Bool("all_users")) sec.s().shortcut_mode = *v ? 1 : 0;
  ReadWide(sec, {{"root_command", &S::root_shortcut_command},
                 {"root_name", &S::root_shortcut_name},
                 {"pin_command", &S::taskbar_pin_command, kZTextBytes * 2},
                 {"pin_name", &S::taskbar_pin_name, kZTextBytes * 2}});
}

void ReadNotify(Section& sec) {
  ReadNarrow(sec, {{"start", &S::start_url},
                   {"begin", &S::begin_url},
                   {"completed_new", &S::completion_url_new},
                   {"completed_reinstall", &S::completion_url_reinstall},
                   {"completed_upgrade", &S::completion_url_upgrade},
                   {"completed_downgrade", &S::completion_url_downgrade},
                   {"uninstalled", &S::notify_url},
                   {"greeting", &S::greeting_url},
                   {"cancel", &S::cancel_url},
                   {"error", &S::error_url}});
}

// The maker's addresses for crash reports: the support address names the
// maker in the crash dialog and the form's "from" field; the form's address
// receives the report. One without the other would offer a button that sends
// nothing, or send without naming the maker.
void ReadCrashReport(Section& sec) {
  if (auto v = NarrowText(sec.t, "support_address", kCrashSupportAddressBytes)) {
    if (v->find('@') == NString::npos || v->find_first_of(" \t\r\n") != NString::npos) {
      sec.t.Error("support_address", "expected an e-mail address (name@host), found \"" + *v + "\"");
    }
    sec.m.crash_support_address = std::move(*v);
  }
  if (auto v = NarrowText(sec.t, "form_address", kCrashFormAddressBytes)) {
    if (!StartsWithIgnoreCase(*v, "https://") && !StartsWithIgnoreCase(*v, "http://")) {
      sec.t.Error("form_address", "expected an https:// (or http://) address, found \"" + *v + "\"");
    }
    sec.m.crash_form_address = std::move(*v);
  }
  if (sec.t.Has("support_address") != sec.t.Has("form_address")) {
    sec.t.Error("", "\"support_address\" and \"form_address\" go together: give both or neither");
  }
}

void ReadBatches(Section& sec) {
  ReadNarrow(sec, {{"pre_install", &S::pre_install_batch},
                   {"post_install", &S::post_install_batch},
                   {"exit", &S::exit_batch},
                   {"uninstall_1", &S::uninstall_batch1},
                   {"uninstall_2", &S::uninstall_batch2},
                   {"upgrade", &S::upgrade_batch},
                   {"reinstall", &S::reinstall_batch}});
}

std::optional<std::array<std::uint8_t, 8>> ParseKey(const std::string& hex) {
  if (hex.size() != 16) return std::nullopt;
  std::array<std::uint8_t, 8> key{};
  for (std::size_t i = 0; i < 16; ++i) {
    const char c = hex[i];
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return std::nullopt;
    key[i / 2] = static_cast<std::uint8_t>(key[i / 2] << 4 | d);
  }
  return key;
}

void ReadArchive(Section& sec) {
  ReadBits(sec.t, ArchiveFlagNames(), sec.m.archive_flags);
  if (const auto v = sec.t.Enum("integrity_check", {{"none", 0}, {"checksum", 1}, {"signature", 2}})) {
    sec.s().page_styles.values[10] = static_cast<std::uint32_t>(*v);
  }
  if (const auto v = sec.t.Bool("file_data_outside")) sec.s().file_data_outside = *v ? 1 : 0;
  if (const auto hex = sec.t.Text("cipher_key")) {
    sec.m.cipher_key = ParseKey(*hex);
    if (!sec.m.cipher_key) sec.t.Error("cipher_key", "expected 16 hexadecimal digits (8 bytes)");
  }
}

void ReadLanguages(TomlReader& t, Manifest& m, Diagnostics& diags) {
  if (const auto v = t.Bool("english")) m.include_english = *v;
  const auto files = t.TextList("files");
  if (!files) return;
  for (const std::string& f : *files) {
    auto lang = LoadLanguageFile(ResolveRelative(t.base_dir(), f), diags);
    if (lang) m.languages.push_back(std::move(*lang));
  }
}

// Shipping the built file: signing and the package managers' descriptions.
void ReadSigning(Section& sec) { ReadSigningTable(sec.t, sec.m.signing); }
void ReadPackage(Section& sec) { ReadPackageTable(sec.t, sec.m.package); }

using SectionFn = void (*)(Section&);
struct SectionSpec {
  const char* name;
  SectionFn read;
};
const SectionSpec kSections[] = {
    {"product", ReadProduct}, {"versions", ReadVersions}, {"master", ReadMaster},
    {"wizard", ReadWizard},   {"background", ReadBackground}, {"uninstall", ReadUninstall},
    {"notify", ReadNotify},   {"batches", ReadBatches},   {"archive", ReadArchive},
    {"shortcuts", ReadShortcutSettings}, {"crash_report", ReadCrashReport},
    {"signing", ReadSigning}, {"package", ReadPackage},
};

void ReadRoot(TomlReader& root, Manifest& m, Diagnostics& diags) {
  for (const SectionSpec& entry : kSections) {
    auto t = root.Table(entry.name);
    if (!t) continue;
    Section sec{*t, m};
    entry.read(sec);
    t->Finish();
  }
  if (!root.Has("product")) root.Error("", "missing table [product] with at least the product's name");
  if (auto flags = root.Table("flags")) {
    ReadBits(*flags, ProductFlagNames(), m.settings.product_flags);
    flags->Finish();
  }
  if (auto texts = root.Table("texts")) {
    m.english_texts = texts->NumberedTexts(kMaxTextNumber);
    texts->Finish();
  }
  ReadClosePrograms(root, m.settings.close_programs);
  ReadDeletions(root, m.settings.deletions);
  ReadUninstallValues(root, m.settings.extra_uninstall_values);
  ReadShortcuts(root, m.settings.shortcuts);
  ReadAssociations(root, m.settings.associations);
  const NString firewall = ReadFirewallExceptions(root);
  NString& firewall_text = m.settings.firewall_text;
  if (!firewall.empty() && !firewall_text.empty() && firewall_text.back() != '\n') firewall_text += "\r\n";
  firewall_text += firewall;
  ReadFiles(root, m.files);
  m.file_chunk_size = static_cast<std::uint32_t>(
      root.Int("file_chunk_size", 4096, 256 << 20).value_or(kDefaultChunkSize));
  if (auto langs = root.Table("languages")) {
    ReadLanguages(*langs, m, diags);
    langs->Finish();
  }
  root.Finish();
}

}  // namespace

const std::vector<NamedBit>& ProductFlagNames() {
  static const std::vector<NamedBit> names = {
      {"uninstall_earlier_first", pf::kUninstallEarlierFirst},
      {"uninstaller_shortcut_in_start_menu", pf::kUninstallerShortcutInStartMenu},
      {"register_uninstaller", pf::kRegisterUninstaller},
      {"compressed_file_data", FlagLow(0x00000020)},
      {"always_write_log", FlagLow(0x00000040)},
      {"folder_page", pf::kFolderPage},
      {"single_instance", pf::kSingleInstance},
      {"uninstall_silently", pf::kUninstallSilently},
      {"uninstall_deletes_install_folder", pf::kUninstallDeletesWholeFolder},
      {"replace_new_files_at_restart", FlagLow(0x00000800)},
      {"add_to_search_path", pf::kAddToSearchPath},
      {"background_bitmap", pf::kBackgroundBitmap},
      {"verify_written_files", FlagLow(0x00040000)},
      {"clear_attributes_on_retry", FlagLow(0x00080000)},
      {"detailed_log", pf::kDetailedLog},
      {"progress_cancel_disabled", pf::kProgressCancelDisabled},
      {"no_final_message", FlagLow(0x00400000)},
      {"wait_for_pre_install_batch", pf::kPreInstallBatch},
      {"wait_for_post_install_batch", pf::kPostInstallBatch},
      {"wait_for_exit_batch", pf::kExitBatch},
      {"no_earlier_install_question", pf::kNoEarlierInstallQuestion},
      {"no_background_window", pf::kNoBackgroundWindow},
      {"product_registry_key_64bit", pf::kProductRegistryKey},
      {"uninstaller_shortcut_on_desktop", pf::kUninstallerShortcutOnDesktop},
      {"start_menu_page", pf::kStartMenuPage},
      {"errors_in_automatic_mode", pf::kErrorsInAutomaticMode},
      {"compare_versions", pf::kCompareVersions},
      {"local_folders_only", pf::kLocalFoldersOnly},
      {"uninstaller_shortcut_in_data_folder", pf::kUninstallerShortcutInDataFolder},
      {"ask_restart_when_automatic", FlagHigh(0x00000200)},
      {"background_maximised", pf::kBackgroundMaximised},
      {"keep_background_title", pf::kKeepBackgroundTitle},
      {"no_greeting_page", pf::kNoGreetingPage},
      {"warn_old_version", pf::kWarnOldVersion},
      {"save_readme", FlagHigh(0x00004000)},
      {"save_licence", FlagHigh(0x00008000)},
      {"no_shortcut_progress_text", pf::kNoShortcutProgressText},
      {"grant_folder_rights", pf::kGrantFolderRights},
      {"progress_page", pf::kProgressPage},
      {"dialog_icons", pf::kDialogIcons},
      {"reboot_marker", FlagHigh(0x00200000)},
      {"refuse_removable_drives", pf::kRefuseRemovableDrives},
      {"offer_view_log", pf::kSummaryCheckBox},
      {"desktop_folder_is_product", pf::kDesktopFolderIsProduct},
      {"install_log_shortcut", pf::kInstallLogShortcut},
      {"upgrade_batch_choice", pf::kUpgradeBatchChoice},
      {"reinstall_batch_choice", pf::kReinstallBatchChoice},
  };
  return names;
}

const std::vector<NamedBit>& ArchiveFlagNames() {
  static const std::vector<NamedBit> names = {
      {"restore_point", 0x00000002},
      {"engine_image", kArchiveBuildEngineImage},
      {"name_pre_install_batch", 0x00000040},
      {"name_post_install_batch", 0x00000080},
      {"name_upgrade_batch", 0x00000100},
      {"name_reinstall_batch", 0x00000200},
      {"no_start_menu_page_on_removable", 0x00000800},
      {"encipher", kArchiveEnciphered},
      {"record_earlier_folder_registry_path", 0x00002000},
      {"ascii_folder_only", 0x00010000},
      {"launch_directly", 0x00100000},
      {"uninstaller_shortcut_in_install_folder", 0x00200000},
      {"show_disk_space", 0x00400000},
      {"licence_scroll_to_end", 0x00800000},
  };
  return names;
}

InstallSettings DefaultSettings() {
  InstallSettings s;
  s.product_flags = pf::kRegisterUninstaller | pf::kFolderPage | pf::kProgressPage | pf::kCompareVersions;
  // No dialog font: the pages keep the engine's own (the system's dialog font).
  s.wizard_caption = u"<product> Setup";
  s.top_color = 0x800000;  // dark blue to black, red in the low byte
  s.bottom_color = 0x000000;
  s.title_color = 0xFFFFFF;
  s.title_size = 1.5;  // times 26 points
  s.title_position = 1;
  s.title_shadow = 60;
  s.title_font = u"Arial";
  return s;
}

std::optional<Manifest> LoadManifest(const std::filesystem::path& path, Diagnostics& diags) {
  const std::size_t before = diags.size();
  const auto doc = ParseToml(path, diags);
  if (!doc) return std::nullopt;
  Manifest m;
  m.path = path;
  m.settings = DefaultSettings();
  std::filesystem::path base = path.parent_path();
  if (base.empty()) base = ".";
  TomlReader root(*doc, "", path.string(), base, diags);
  ReadRoot(root, m, diags);
  if (diags.size() != before) return std::nullopt;
  return m;
}

}  // namespace ks::authoring
