#pragma once
// The earlier installation of the product and the kind of installation this
// run is: what the Uninstall key says of the earlier one, and the rules that
// turn it into a decision (install type, downgrade limit, uninstall first,
// the command line handed to the earlier uninstaller). The rules are plain
// functions of data; core/win/existing_installation.h runs them against the
// system in their order.

#include <cstdint>

#include "core/product_flags.h"
#include "lib/registry_path.h"
#include "lib/text.h"

namespace ks {

// Written to Install.log's header as "New", "Reinstall", "Upgrade", "Downgrade".
enum class InstallType : int { kNew = 0, kReinstall = 1, kUpgrade = 2, kDowngrade = 3 };

// What the Uninstall key of the product says of an earlier installation.
// (engine/path_variables.h already uses the name ExistingInstallation for
// the %Existing% value, hence this name.)
struct EarlierInstallation {
  bool key_found = false;      // the product's Uninstall key could be opened
  WString folder;              // "InstallLocation", or the folder registry path's value
  bool folder_exists = false;  // the folder exists as a directory: the installation counts
  WString version;             // "DisplayVersion"
  NString version_narrow;      // the same in the system code page
  NString shared_files;        // "SharedFiles", handed to the shared-file counts
  WString start_menu;          // "ProductStartMenu", handed to the shortcuts
  WString key_path;            // the Uninstall key below HKEY_LOCAL_MACHINE that was read

  // An earlier installation this run builds on: read and its folder present.
  bool usable() const { return key_found && folder_exists; }
};

// The words of the log header.
const char16_t* InstallTypeName(InstallType type);

inline constexpr const char16_t* kUninstallKeyBase = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// kUninstallKeyBase + "\" + name.
WString UninstallKeyPath(WStringView name);

// ---- the rules ---------------------------------------------------------------

// Bitness 1 needs a 64-bit system, 2 a 32-bit one; any other value fits all.
bool BitnessFits(std::uint8_t bitness, bool system_is_64bit);
// The number the refusal text is formatted with: 64 for bitness 1, 32 for 2.
int RequiredBits(std::uint8_t bitness);

bool SystemExcluded(std::uint32_t os_code, std::uint32_t excluded_mask);

// What the master-product lookup found.
struct MasterProduct {
  bool installed = false;  // its key has "UninstallString" or "QuietUninstallString"
  WString folder;
  WString version;
};
enum class MasterVerdict { kOk, kMissing, kTooOld };
// `install_path_is_master`: the install path setting is "<master>", which
// also needs the master's folder.
MasterVerdict JudgeMasterProduct(const MasterProduct& master, WStringView min_version, bool install_path_is_master);
bool IsMasterInstallPath(WStringView install_path);

// "NoDowngradeBelow": true when `limit` (trimmed) is set and the new version is lower.
bool BelowDowngradeLimit(NStringView limit, NStringView new_version);

// Whether the earlier version is uninstalled first: flag 0x1, unless the
// uninstall-first limit is set and the earlier version is at or above it.
bool UninstallFirstApplies(ProductFlags flags, WStringView limit, WStringView earlier_version);

// The install type and its message text (3 to 6).
struct InstallTypeDecision {
  InstallType type = InstallType::kReinstall;
  int message_text = 3;
  bool operator==(const InstallTypeDecision& o) const {
    return type == o.type && message_text == o.message_text;
  }
};
InstallTypeDecision DecideInstallType(ProductFlags flags, WStringView earlier_version, WStringView new_version);

// The earlier-installation question: message text, CR LF, the earlier folder,
// CR LF CR LF, text 7.
WString EarlierInstallQuestion(WStringView message, WStringView folder, WStringView text7);
bool AsksEarlierInstallQuestion(bool automatic, bool silent, ProductFlags flags);

// The old-version warning: flag high 0x1000, an earlier version, and either
// no warning limit or an earlier version below it.
bool OldVersionWarningApplies(ProductFlags flags, WStringView earlier_version, NStringView warning_limit);

// The command that starts the earlier uninstaller in this program's place:
// the uninstall command, " /r:", a double quote, this program's command line
// with every double quote turned into a backquote, a closing double quote,
// and " /silent" when silent. The uninstaller's "/r:" turns the backquotes
// back into double quotes when it restarts this installer.
WString HandOverCommandLine(WStringView uninstall_command, WStringView own_command_line, bool silent);

// ---- folders -----------------------------------------------------------------

// A registry value named by a path such as "HKLM\Software\Maker\Path":
// root (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER), key and value name.
struct RegistryValuePath {
  RegRoot root = RegRoot::kLocalMachine;
  WString key;
  WString value;
};
// The install path's registry form: begins with "HKLM\" or "HKCU\" (any case).
bool IsRegistryInstallPath(WStringView install_path);
// Splits such a path at its last backslash. Also takes the long root names
// and a leading backslash (the folder registry path setting may carry them).
// False when there is no known root or no value part.
bool ParseRegistryValuePath(WStringView path, RegistryValuePath* out);

// The two untranslated refusals of the folder from the registry.
WString RegistryFolderMissingText(WStringView path_setting);
WString RegistryFolderAbsentText(WStringView folder, WStringView path_setting);

// A folder read from the registry: blanks and enclosing double quotes go,
// trailing separators go (a drive root keeps its one).
WString NormalizeFolderText(WStringView text);

// The folder when no earlier installation decides it: "/d:" when given, else
// the install path setting; one trailing backslash removed.
WString DefaultInstallFolder(WStringView folder_option, WStringView install_path);

// Spaces and tabs at both ends removed.
NString TrimBlanks(NStringView text);

}  // namespace ks
