#pragma once
// The values of the product's Uninstall key, built as data from the settings
// and what the installation found: name, registry type, whether the wide or
// the narrow (ANSI) registry call writes it, and whether the value is deleted
// instead of written. The Win32 step (integration/win/uninstall_registration.h)
// only walks these lists; the uninstaller and the next installation read the
// values back, so their order and rules live here where they can be tested.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/install_settings.h"
#include "records/uninstall_data.h"
#include "lib/text.h"

namespace ks {

// Below HKEY_LOCAL_MACHINE; the uninstall key name follows.
inline constexpr const char16_t* kUninstallKeyRoot = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The uninstaller and the product icon, in the uninstall data folder.
inline constexpr const char16_t* kUninstallerFileName = u"uninstall.exe";
inline constexpr const char16_t* kProductIconFileName = u"product.ico";

// The longest program path a command line can start: the list of installed
// programs runs UninstallString as one, and the system takes no more than
// MAX_PATH - 1 characters for the program there, whatever the file system
// allows.
inline constexpr std::size_t kMaxStartablePathLength = 259;
// An uninstaller that would be out of reach in a deep installation folder
// lives in a folder of its own, named by UninstallerFolderName, in this
// folder of the common program files.
inline constexpr const char16_t* kUninstallersFolderName = u"Kestrelon Setup";

// Sixteen hex digits from the key name (ASCII letters taken as upper case,
// as the registry compares them): short, and the same at every installation
// of the product, so that a reinstallation replaces its uninstaller.
WString UninstallerFolderName(WStringView key_name);

// The uninstaller's path: `in_data_folder` when a command line can start it,
// else "uninstall.exe" in `own_folder` (the product's folder among the
// uninstallers) when that one can be started; `in_data_folder` when neither
// can (the path is then as good as any).
WString ChooseUninstallerPath(const WString& in_data_folder, const WString& own_folder);

enum class RegValueKind : std::uint8_t {
  kWideString,    // REG_SZ through the wide call
  kNarrowString,  // REG_SZ through the ANSI call
  kExpandString,  // REG_EXPAND_SZ, wide
  kDword,
  kQword,
};

struct UninstallValue {
  NString name;              // system code page (the table's names are ASCII)
  RegValueKind kind = RegValueKind::kWideString;
  WString wide;              // kWideString, kExpandString
  NString narrow;            // kNarrowString, system code page
  std::uint64_t number = 0;  // kDword (low 32 bits), kQword
  bool remove = false;       // delete the value instead of writing it
  bool operator==(const UninstallValue& o) const;
};

// What the values are made of besides the settings.
struct UninstallValueInput {
  const InstallSettings* settings = nullptr;
  ProductFlags product_flags = 0;     // as they stand now (the reboot bit may be set)
  std::uint32_t archive_flags = 0;
  WString uninstaller_path;
  WString installer_path;             // the running program
  WString display_icon_path;          // empty: no product icon was written
  WString start_menu_folder;          // the folder chosen
  WString shared_folder;
  NString font_list;                  // fonts installed
  NString shared_files;               // the SharedFiles text
  std::uint64_t session = 0;
  std::uint64_t total_file_bytes = 0; // the product's files
};

// "/u:" and the key name in double quotes.
WString UninstallArguments(WStringView key_name);
// The text UninstallString holds and the registration reads back.
WString UninstallCommand(WStringView uninstaller_path, WStringView key_name);

// The key values in writing order up to the background window values; the
// extra values and the closing pair follow (below).
std::vector<UninstallValue> BuildUninstallValues(const UninstallValueInput& in);

// VersionMajor and VersionMinor: only for a version with a "."; the decimal
// number in front of the first "." and the digits right after it (0 when
// there are none). False when the version has no ".".
bool SplitProductVersion(NStringView version, std::uint32_t* major, std::uint32_t* minor);

// EstimatedSize in KiB; false (delete the value) when it is 0 or does not fit
// in 32 bits.
bool EstimatedSizeKiB(std::uint64_t total_bytes, std::uint32_t* kib);

// A size as "%f" with trailing zeros and a trailing point removed ("12.5",
// "12"); the registry records' own number format.
NString FormatSize(double size);
// A colour (red in the low byte) as "%02X%02X%02X" of red, green and blue.
NString FormatColour(std::uint32_t colour);
// The local date as eight digits, yyyymmdd.
NString FormatInstallDate(int year, int month, int day);

// InstallLocation and InstallDate, written after the extra values.
std::vector<UninstallValue> ClosingUninstallValues(const WString& install_dir, NStringView install_date);

// One extra value: where it goes and what is written. An empty key path means
// the Uninstall key itself; otherwise the registry path of the key (the name
// split at its last backslash).
struct ExtraValueWrite {
  WString key_path;
  UninstallValue value;
};
inline constexpr int kCorruptExtraValueType = 200;
// The writes in list order. Returns 0, or the corrupt code when an entry has a
// type other than 1, 2 and 4 (then `out` is empty).
int PlanExtraValues(const std::vector<ExtraUninstallValue>& extras, std::vector<ExtraValueWrite>* out);
// Appends the "[Registry2]" record that removes an extra value written below
// a registry path: key, value name, two empty fields, code 2.
void AppendExtraValueRemoval(WString& registry_text, const WString& key_path, const WString& value_name);

// The programs the uninstaller must close: the settings' close-program rules
// whose when-byte has 0x2, as "[AutoClose]" records; a rule that asks the
// user (action 2) runs after the confirmation, the others before it.
std::vector<AutoCloseRule> UninstallationCloseRules(const std::vector<CloseProgramEntry>& entries);

}  // namespace ks
