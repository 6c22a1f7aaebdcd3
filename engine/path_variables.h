#pragma once
// Path variables: `%InstallDir%`, `%ProgramsDir%` and the other 54 names that
// setting texts may contain. ExpandPathVariables replaces them in a fixed
// order, one pass per name, then lets the system expand environment
// variables in what is left.
//
// The values come from two sources, both as data here: what the run knows at
// the moment (PathVariableInputs, computed afresh from the run's own records
// at every call) and what the system answers (PathVariableSystem).
// engine/win/path_variables.h joins them to the running system.

#include <cstdint>
#include <functional>
#include <optional>

#include "core/existing_installation.h"
#include "core/install_settings.h"
#include "engine/special_folders.h"
#include "lib/os_version.h"
#include "lib/text.h"

namespace ks {

// In the order of expansion.
enum class PathVariable {
  kAppDataAllDir, kAppDataDir, kAutomatic, kBits, kBootDrive, kCommonDir, kCommonDir32, kCommonDir64,
  kDesktopAllDir, kDesktopDir, kDesktopShortcuts, kDeviceDir, kDocumentAllDir, kDocumentDir, kExisting,
  kFavoritesAllDir, kFavoritesDir, kFontDir, kInetpub, kInstallDir, kInstallDrive, kInstallerDir,
  kInstallerDrive, kInstallerFilename, kInstallerFilepath, kLanguage, kMediaDir, kNetworkInstall,
  kOldVersion, kOldVersionMajor, kOldVersionMinor, kPortable, kProductName, kCompanyName, kProgramsDir,
  kProgramsDir32, kProgramsDir64, kSharedDir, kSMProgramsAllDir, kSMProgramsDir, kStartMenuAllDir,
  kStartMenuChosen, kStartMenuDir, kStartupAllDir, kStartupDir, kSystemDir, kTemp, kUninstallDir,
  kVersion, kWinDir, kOS, kOSMajor, kOSMinor, kOSName, kOSDescription, kOSServer,
};
inline constexpr int kPathVariableCount = 56;

// The name with its percent signs, e.g. u"%InstallDir%".
const char16_t* PathVariableName(PathVariable variable);
// Only the two old-version pieces are matched with exact case.
bool PathVariableExactCase(PathVariable variable);

// One pass: every occurrence of `name` (ASCII case ignored unless
// `exact_case`) becomes `value`. The scan continues after each inserted
// value, so a value is never searched for its own name.
void ReplaceVariable(WString& text, WStringView name, const WString& value, bool exact_case);

// The system's environment expansion; nullopt when the call fails.
using EnvironmentExpandFn = std::function<std::optional<WString>(const WString&)>;
// The expansion's buffer: 31,999 characters, the last one forced to zero.
inline constexpr std::size_t kExpansionRoom = 31999;

// The two steps over values given as data: each variable in order, then the
// environment expansion (a longer result is cut to the buffer).
void ExpandPathVariablesWith(WString& text, const std::function<WString(PathVariable)>& value_of,
                             const EnvironmentExpandFn& expand_environment);

// ---- the values ------------------------------------------------------------

// The earlier installation as the install type check found it.
enum class ExistingInstallation { kNone = 0, kSameOrUncompared = 1, kOlder = 2, kNewer = 3 };

// What the run knows when the call is made; a value not known yet is empty.
// The installation and the uninstaller each compute it from their own records
// (InstallationInputs, UninstallationInputs), never keep a copy.
struct PathVariableInputs {
  bool automatic = false;
  bool install_64bit = false;         // the product is a 64-bit installation
  bool all_users = false;             // all-users installation: common desktop and Start menu
  bool creates_uninstaller = false;   // ProductFlags 0x4
  ExistingInstallation existing = ExistingInstallation::kNone;
  WString old_version;                // "DisplayVersion" of the earlier installation
  bool portable = false;              // the folder lies on a removable, CD or RAM drive
  WString install_dir;
  WString language;
  WString product_name;
  WString company_name;
  WString version;
  WString shared_dir;
  WString start_menu_name;            // the Start-menu folder name chosen
  WString desktop_folder_name;        // the settings' desktop folder name
  WString uninstall_dir;
};

// What an installation has settled since its settings were read. Empty
// members are not settled yet; the settings stand in for them.
struct InstallChoices {
  WString install_dir;      // the folder chosen; from the preparation on without a trailing backslash
  WString start_menu_name;  // chosen on the Start-menu page
  InstallType install_type = InstallType::kNew;  // settled with an earlier installation
  // Fixed by the preparation of the target.
  WString uninstall_dir;
  WString shared_dir;
  bool portable = false;    // the folder lies on a removable, CD or RAM drive
};

// The installation's inputs: the settings as read so far (the install path
// is expanded while they are still being read, after the product and company
// names, the bitness and the version), the language the texts show, the
// earlier installation (its version counts when it is usable) and the
// choices made since.
PathVariableInputs InstallationInputs(const InstallSettings& settings, const WString& language,
                                      const EarlierInstallation& earlier, const InstallChoices& choices);

// The installation folder as the run knows it: the one chosen, else the
// install path setting.
const WString& InstallFolderOf(const InstallSettings& settings, const InstallChoices& choices);
// The Start-menu folder name: the one chosen, else the setting.
const WString& StartMenuNameOf(const InstallSettings& settings, const InstallChoices& choices);

// What the running system answers.
class PathVariableSystem {
 public:
  virtual ~PathVariableSystem() = default;
  virtual WString Folder(SpecialFolder folder) = 0;
  virtual WString ProgramFiles(int mode) = 0;
  virtual WString CommonFiles(int mode) = 0;
  virtual char16_t BootDrive() = 0;
  // The program's own full path; empty when it cannot be had whole.
  virtual WString InstallerPath() = 0;
  virtual bool IsRemoteDrive(char16_t letter) = 0;
  virtual const SystemVersion& Version() = 0;
};

WString PathVariableValue(PathVariable variable, const PathVariableInputs& in, PathVariableSystem& sys);

void ExpandPathVariables(WString& text, const PathVariableInputs& in, PathVariableSystem& sys,
                         const EnvironmentExpandFn& expand_environment);

// Pieces of the values, plain rules over text.
WString DriveOf(const WString& path);          // "C:" (upper case) or empty
WString FolderOfFile(const WString& path);     // no trailing backslash except a drive root
WString FileNameOf(const WString& path);       // after the last backslash, else after the colon
WString VersionPiece(const WString& version, int index);  // index 0 major, 1 minor
bool IsUncPath(const WString& path);

}  // namespace ks
