#pragma once
// The product's Uninstall key as the uninstaller reads it: every value with
// the default that stands in for a missing one, the messages of the opening,
// and the paths that follow from the values. The registry access itself is
// behind UninstallKeySource so that the defaults are testable without Windows.

#include <cstdint>

#include "core/product_flags.h"
#include "engine/path_variables.h"
#include "lib/text.h"

namespace ks {

// "Software\Microsoft\Windows\CurrentVersion\Uninstall"
extern const char16_t kUninstallKeyPath[];

// Bits of ProductFlags that only the uninstaller reads.
namespace uninstall_flag {
inline constexpr ProductFlags kFirstBatchHidden = FlagLow(0x04000000);
inline constexpr ProductFlags kSecondBatchHidden = FlagLow(0x08000000);
inline constexpr ProductFlags kKeepInstallLog = FlagHigh(0x00400000);
}  // namespace uninstall_flag

// ProductFlags2 (the archive flags word): show the completion message.
inline constexpr std::uint32_t kShowUninstallCompletion = 0x40000;

// Reads one value of the open key. Each call answers false when the value is
// missing or has a type the call cannot read; `out` is then untouched.
class UninstallKeySource {
 public:
  virtual ~UninstallKeySource() = default;
  virtual bool ReadText(const WString& name, WString* out) = 0;     // REG_SZ / REG_EXPAND_SZ
  virtual bool ReadNumber(const WString& name, std::uint64_t* out) = 0;  // REG_DWORD / REG_QWORD
};

// How the installation looked, as it registered it: the uninstaller's
// background window and dialogs look the same. Missing values are 0 or empty.
struct UninstallAppearance {
  WString taskbar_text;
  WString title;  // "DisplayTitle"
  std::uint32_t title_color = 0;
  double title_size = 0;
  std::uint32_t top_color = 0, bottom_color = 0;
  bool mono = false;
  std::uint32_t title_shadow = 0, title_position = 0;
  WString title_font;
  WString copyright_text, copyright_font;
  double copyright_size = 0;
  std::uint32_t copyright_color = 0;
  std::uint32_t copyright_pos = 0;
  std::uint32_t bitmap_size = 0, bitmap_tpi = 0, stretch_mode = 0;
  WString dialog_font;
  bool dialog_colours = false;  // "DialogFG" and "DialogBG" were written
  std::uint32_t dialog_fg = 0, dialog_bg = 0;
};

struct UninstallKeyValues {
  WString key_name;
  WString display_name;       // the key name when blank
  WString publisher;
  WString install_location;   // required: empty means the registration is incomplete
  ProductFlags product_flags = 0;   // signed decimal text, 0 when missing or not a number
  std::uint32_t product_flags2 = 0;
  std::uint32_t bitness = 0;        // 1: no file-system redirection for the run
  NString display_version;
  WString desktop_folder;
  WString uninstall_subdir;
  WString add_to_path_subfolder;
  NString product_fonts;
  std::uint32_t uninstall_fonts = 2;   // 0 keep, 1 ask, 2 remove
  std::uint32_t uninstall_shared = 2;
  std::uint32_t shortcut_mode = 0;     // 1: all users
  NString notify_url;
  std::uint64_t session = 0;
  NString support_offer;
  WString shared_path;
  WString product_start_menu;
  NString uninstall_batch1, uninstall_batch2;  // system code page
  NString shared_files;
  WString product_registry;
  UninstallAppearance appearance;
};

// Every value with its default. Narrow values are converted to the system
// code page, as the installer wrote them with the narrow registry call.
UninstallKeyValues ReadUninstallKeyValues(UninstallKeySource& source, const WString& key_name);

// A colour written as "RRGGBB" (hexadecimal red, green, blue) as a colour
// value (red in the low byte); 0 when the text is no such colour.
std::uint32_t ParseColourText(WStringView text);
// A number written with a decimal point ("1.5"); 0 for text without digits.
double ParseDecimalNumber(WStringView text);

// A signed decimal number as text (leading blanks and one sign allowed, digits
// up to the first other character); 0 for text without digits. Out-of-range
// text keeps the low bits of what fits, so a 64-bit word round-trips.
std::int64_t ParseSignedDecimal(WStringView text);

// The path variables of the uninstallation: the inputs the installation had,
// read back from the values it registered, so that both sides expand the
// same texts alike. `portable`: the installation folder lies on a removable,
// CD-ROM or RAM drive (the system's answer today).
PathVariableInputs UninstallationInputs(const UninstallKeyValues& values, bool automatic, bool portable);

// The Uninstall key path joined with the product's key name.
WString ProductUninstallKeyPath(WStringView key_name);

// The folder that holds "Uninstall.DAT", "Install.log" and "uninstall.ico".
WString UninstallDataFolder(const UninstallKeyValues& values);
WString UninstallDataFilePath(const UninstallKeyValues& values);
WString InstallLogPath(const UninstallKeyValues& values);

// The messages of the opening.
WString NoSuchProductMessage(WStringView key_name);
WString PermissionDeniedMessage();
WString KeyAccessFailedMessage(WStringView key_name);
WString CorruptRegistrationMessage(WStringView display_name);

}  // namespace ks
