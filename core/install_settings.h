#pragma once
// InstallSettings: everything the product's author configured, read in one
// pass from the decoded settings block. The reader applies the range checks
// (returning the corrupt code), the defaults that copy other fields and the
// silent-mode changes; the writer encodes a record field by field, so that
// tests and fixtures set only what they care about.
//
// What the reader needs from the running system arrives as plain data in
// SettingsInput, so the rules run the same on Linux and Windows.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/bytes.h"
#include "core/localized_texts.h"
#include "core/product_flags.h"
#include "core/settings_stream.h"
#include "lib/text.h"

namespace ks {

inline constexpr std::uint32_t kSettingsEndValue = 0xD3E82B97;
inline constexpr std::uint32_t kArchiveFlagSecondDialogColours = 0x01000000;
inline constexpr std::uint16_t kMaxStageDisplayTime = 9999;
inline constexpr std::uint32_t kMaxDocuments = 20;
inline constexpr std::uint32_t kMaxBitmapSize = 100;
inline constexpr std::uint32_t kMaxSettingsRecords = 1000;
// End markers of the two lists that run until a marker record.
inline constexpr const char* kDeletionListEnd = "~~THE END~~";
inline constexpr const char16_t* kCloseListEnd = u"~~THE~END~~";

// The archive's build date: a SYSTEMTIME in UTC, all zero when there is none;
// the last eight bytes are reserved.
struct BuildDateRecord {
  std::uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
  std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
  std::array<std::uint8_t, 8> reserved{};
  bool operator==(const BuildDateRecord& o) const;
};

// A file deleted under a condition at installation or uninstallation.
struct FileDeletion {
  NString path;  // MarkedText
  std::uint8_t condition = 0;
  NString condition_value;
  std::uint8_t flags = 0;
  bool operator==(const FileDeletion& o) const;
};

struct FileAssociation {
  std::uint32_t mode = 0;
  NString extension, prog_id, description, verbs, verb_label;
  WString command;
  WString language;
  WString icon;
  bool operator==(const FileAssociation& o) const;
};

struct ShortcutRecord {
  WString target, name, icon, arguments, start_in;
  std::uint8_t on_desktop = 0, in_start_menu = 0, in_startup = 0;
  NString other_folder;  // MarkedText
  std::uint8_t window_state = 0, keep = 0;
  // Not in the archive: set for every record read from it (only those get
  // path variables expanded in their target), and for the uninstaller's own.
  bool from_archive = false;
  bool uninstaller_shortcut = false;
  bool operator==(const ShortcutRecord& o) const;
};

struct ExtraUninstallValue {
  NString name;
  std::uint8_t type = 0;  // 1 string, 2 expandable string, 4 number
  WString data;
  bool operator==(const ExtraUninstallValue& o) const;
};

// A running program to close before installing or uninstalling.
struct CloseProgramEntry {
  WString class_pattern, title_pattern;
  NString display_name;
  std::uint8_t action = 0;  // 0 close, 1 quit, 2 ask, 3 terminate
  std::uint8_t when = 0;    // 0x1 installation, 0x2 uninstallation
  bool operator==(const CloseProgramEntry& o) const;
};

// The eleven u32 page styles.
enum class WizardPage { kGreeting, kLanguage, kLicence, kReadme, kFolder, kStartMenu, kProgress, kSummary };
struct PageStyles {
  std::array<std::uint32_t, 11> values{};
  std::uint32_t uninstaller_style(int i) const { return values.at(static_cast<std::size_t>(i)); }
  std::uint32_t layout_variant(WizardPage page) const { return values.at(2 + static_cast<std::size_t>(page)); }
  std::uint32_t integrity_mode() const { return values[10]; }
};

struct InstallSettings {
  ProductFlags product_flags = 0;                 // 1
  std::uint8_t automatic_rule = 0;                // 2
  WString taskbar_text;                           // 3
  WString display_title;                          // 4
  double title_size = 0;                          // 5
  std::uint32_t progress_page_option = 0;         // 6
  std::uint16_t stage_display_time = 0;           // 7
  std::uint8_t shortcut_mode = 0;                 // 8
  BuildDateRecord build_date;                     // 9
  WString publisher;                              // 10
  WString product_name;                           // 11
  WString description;                            // 12
  std::uint8_t bitness = 0;                       // 13
  std::uint8_t shared_folder_base = 0;            // 14
  WString shared_path;                            // 15
  WString shared_folder_path;                     // 16
  WString product_start_menu;                     // 17
  WString display_version;                        // 18
  WString install_path;                           // 19
  WString product_registry;                       // 20
  WString registry_entries;                       // 21
  Bytes registry_merge;                           // 22
  WString app_path_text;                          // 23
  std::uint32_t bitmap_size = 0;                  // 24
  std::uint32_t stretch_mode = 0;                 // 25
  std::uint32_t uninstall_fonts = 0;              // 26
  std::uint32_t uninstall_shared = 0;             // 27
  WString information_link;                       // 28
  std::vector<Bytes> licence_documents;           // 29, 30
  std::vector<Bytes> readme_documents;            // 31, 32
  WString uninstall_subdir;                       // 33
  NString component_text;                         // 34
  WString uninstall_key_name;                     // 35
  WString folder_registry_path;                   // 36
  WString dialog_font;                            // 37
  std::uint32_t dialog_font_size = 0;             // 38, tenths of a point
  WString wizard_caption;                         // 39
  std::uint32_t side_picture_colour = 0;          // 40
  std::uint8_t side_picture_frame = 0;            // 41
  std::uint32_t title_color = 0;                  // 42
  std::uint8_t title_shadow = 0;                  // 43
  std::uint8_t title_position = 0;                // 44
  WString title_font;                             // 45
  std::uint32_t top_color = 0;                    // 46
  std::uint32_t bottom_color = 0;                 // 47
  Bytes background_bitmap;                        // 48, 49
  std::uint32_t bitmap_tpi = 0;                   // 49, only with a bitmap
  std::uint8_t copyright_pos = 0;                 // 50
  std::uint32_t copyright_color = 0;              // 51..54 only when
  double copyright_size = 0;                      //   copyright_pos != 0
  WString copyright_text;
  WString copyright_font;
  std::uint32_t dialog_bg = 0, dialog_fg = 0;     // 55, with kDialogColours
  std::uint32_t dialog_bg2 = 0, dialog_fg2 = 0;   // 56, with the archive flag
  WString master_product_name;                    // 57, with kMasterProduct
  WString master_display_name;
  WString master_min_version;
  Bytes start_sound;                              // 58
  WString desktop_folder;                         // 59
  Bytes desktop_folder_icon;                      // 60
  NString pre_install_batch;                      // 61
  NString post_install_batch;                     // 62
  NString exit_batch;                             // 63
  NString uninstall_batch1;                       // 64
  NString uninstall_batch2;                       // 65
  NString upgrade_batch;                          // 66
  NString reinstall_batch;                        // 67
  std::array<std::uint8_t, 20> reserved{};        // 68
  std::uint32_t excluded_systems = 0;             // 69
  std::uint8_t file_data_outside = 0;             // 70
  WString launch_on_exit;                         // 71
  WString finishing_text1, finishing_text2;       // 72, 73
  NString start_url;                              // 74
  NString begin_url;                              // 75
  NString completion_url_new;                     // 76
  NString completion_url_reinstall;               // 77
  NString completion_url_upgrade;                 // 78
  NString completion_url_downgrade;               // 79
  NString notify_url;                             // 80, NotifyURL
  NString greeting_url;                           // 81
  NString cancel_url;                             // 82
  NString error_url;                              // 83
  NString old_version_warning_limit;              // 84
  NString no_downgrade_below;                     // 85
  WString password;                               // 86
  WString uninstall_first_limit;                  // 87
  NString firewall_text;                          // 88
  WString add_to_path_subfolder;                  // 89
  PageStyles page_styles;                         // 90
  Bytes uninstaller_icon;                         // 91, with kRegisterUninstaller
  std::vector<FileDeletion> deletions;            // 92
  std::vector<FileAssociation> associations;      // 93
  std::vector<ShortcutRecord> shortcuts;          // 94
  WString root_shortcut_command;                  // 95
  WString root_shortcut_name;                     // 96
  WString taskbar_pin_command;                    // 97
  WString taskbar_pin_name;                       // 98
  std::vector<ExtraUninstallValue> extra_uninstall_values;  // 99
  NString support_offer;                          // 100
  Bytes product_icon;                             // 101
  std::vector<CloseProgramEntry> close_programs;  // 102
  // 103 to 106 are the localized texts; 107 the end value.

  // Derived while reading, not stored in the stream.
  bool automatic = false;          // the automatic rule applied to the command line
  NString display_version_narrow;  // system code page copy of field 18
  bool mono_color = false;         // bottom colour equals top colour

  int dialog_font_points() const { return static_cast<int>((dialog_font_size + 5) / 10); }
};

// What the reader takes from the command line and the running system.
struct SettingsInput {
  bool silent = false;
  bool automatic = false;
  WString product_name_override;  // "/n:"; empty when not given
  std::uint32_t archive_flags = 0;
  WString os_short_name;          // "<os>" in the install path
  WString os_name;                // "<os>" in texts and the wizard caption
  WString program_files;          // the install path's base
  WString program_files_64;       // the same when the product needs 64-bit Windows
  // Expands path variables; null leaves the text as it is.
  std::function<WString(const WString&)> expand_path_variables;
};

struct SettingsReadHooks {
  // Called between field 6 and field 7: the settings check value is
  // verified there (and the background window made). 0 or a corrupt code.
  std::function<int()> after_field_6;
};

// Reads the whole stream into settings and texts (the texts get the product's
// placeholders). Returns 0 or the corrupt code of the first failed check.
int ReadInstallSettings(ByteReader stream, const SettingsInput& input, const SettingsReadHooks& hooks,
                        InstallSettings& settings, LocalizedTexts& texts);

// Encodes settings and texts as a stream, the end value last. Fields present
// only under a flag are written under the same flag. Returns false when a
// value does not fit its encoding (a list above 1000 records still encodes:
// tests need such streams).
bool WriteInstallSettings(const InstallSettings& settings, const LocalizedTexts& texts,
                          std::uint32_t archive_flags, SettingsWriter& out);

// The install path rule, given the field as read (product name, bitness and
// the input as the reader has them).
WString ResolveInstallPath(const WString& field, const WString& product_name, std::uint8_t bitness,
                           const SettingsInput& input);

// Only spaces, tabs and line ends (or nothing).
bool IsBlank(WStringView text);

}  // namespace ks
