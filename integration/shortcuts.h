#pragma once
// The shortcut step: the archive's shortcuts and those of the product's
// files, the uninstaller's and the log's, the desktop folder with its own
// icon, the shortcut in a removable drive's root and the taskbar pin. Every
// file and folder it makes is recorded for the uninstaller unless the
// shortcut is marked to stay.
//
// The rules are plain code over ShortcutSystem, which does what only the
// running system can (integration/win/shortcut_system.h); tests hand a
// system of their own.

#include <cstdint>
#include <functional>
#include <vector>

#include "core/bytes.h"
#include "core/install_settings.h"
#include "engine/special_folders.h"
#include "lib/os_version.h"
#include "lib/text.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"

namespace ks {

// Flags of one shell link.
inline constexpr unsigned kLinkAllUsers = 0x1;
inline constexpr unsigned kLinkMinimized = 0x2;
inline constexpr unsigned kLinkMaximized = 0x4;
inline constexpr unsigned kLinkNoParentFolder = 0x8;

// The show commands a link stores (SW_SHOWMINNOACTIVE, SW_SHOWMAXIMIZED).
inline constexpr int kLinkShowMinimized = 7;
inline constexpr int kLinkShowMaximized = 3;

// ArchiveFlags: no ordinary shortcuts when the folder is on a removable drive.
inline constexpr std::uint32_t kArchiveFlagNoShortcutsOnRemovable = 0x800;
// ArchiveFlags: an uninstaller shortcut in the installation folder.
inline constexpr std::uint32_t kArchiveFlagUninstallerShortcutInInstallFolder = 0x200000;

// One link to save.
struct LinkRequest {
  WString path;  // with its extension (LinkFilePath)
  WString target;
  WString arguments;
  WString start_in;  // as given; LinkWorkingFolder makes the stored form
  WString icon;      // empty: the target's own first icon
  unsigned flags = 0;
};

// What the system answered: the last error after a failure (0 when it set
// none), or a crash inside the shell's code.
struct SystemOutcome {
  bool done = false;
  std::uint32_t error = 0;
  bool crashed = false;
};

// ".LNK" is appended unless ".lnk" occurs in the path in any letter case.
WString LinkFilePath(WStringView path);
// The working folder a link stores: trimmed of white space; a drive letter
// and its colon alone get a backslash.
WString LinkWorkingFolder(WStringView start_in);
// The show command for the link flags; 0 leaves the link's normal window.
int LinkShowCommand(unsigned flags);

// The `~"` form of the arguments: `~"program" rest` carries the program (a
// doubled quote inside stands for one). False, changing nothing, for other
// arguments.
bool SplitProgramFromArguments(WStringView arguments, WString& program, WString& rest);
// A command line as the root shortcut takes it: the first token (quotes
// removed) and the rest, trimmed.
void SplitCommandLine(WStringView command, WString& program, WString& arguments);
// A command line as the taskbar pin takes it: a leading quoted part is the
// program and the rest, trimmed, its arguments; otherwise all of it is the program.
void SplitPinCommand(WStringView command, WString& program, WString& arguments);

// The "Desktop.ini" of a folder must be created as UTF-16 first when the
// icon's path holds a character beyond ASCII (the profile writer keeps the
// file's form).
bool FolderIconNeedsUnicode(WStringView icon);

// The systems that take the taskbar pin verb: Windows 7, 8 and 8.1.
bool TakesTaskbarPin(const SystemVersion& v);
// Windows 95 and 98, where an all-users Start-menu shortcut is made for the
// user as well.
bool CopiesStartMenuForUser(const SystemVersion& v);

// What only the running system can do for the step.
class ShortcutSystem {
 public:
  virtual ~ShortcutSystem() = default;
  virtual WString Folder(SpecialFolder folder) = 0;
  virtual bool FolderExists(const WString& path) = 0;
  // The folder and its missing ancestors; 0 or the system's error.
  virtual std::uint32_t CreateFolder(const WString& path) = 0;
  // The whole file, replacing an older one; 0 or the system's error.
  virtual std::uint32_t WriteFile(const WString& path, const Bytes& bytes) = 0;
  virtual SystemOutcome CreateLink(const LinkRequest& request) = 0;
  // "Desktop.ini" of `folder` showing `icon`; the folder becomes a system folder.
  virtual void WriteFolderIcon(const WString& folder, const WString& icon) = 0;
  // The shell's verb "taskbarpin" on a link.
  virtual SystemOutcome PinToTaskbar(const WString& link) = 0;
  virtual void RemoveFile(const WString& path) = 0;
  virtual WString TemporaryFolder() = 0;
  // The system's message for an error code.
  virtual WString ErrorText(std::uint32_t error) = 0;
};

struct ShortcutStepInput {
  // The archive's shortcut records, then those of the product's files.
  std::vector<ShortcutRecord> records;
  ProductFlags flags = 0;
  std::uint32_t archive_flags = 0;
  bool all_users = false;           // ShortcutMode 1: the common folders
  WString install_dir;
  WString uninstall_dir;
  WString start_menu_name;          // the Start-menu folder chosen, below Programs
  WString desktop_folder_name;      // empty: shortcuts go onto the desktop itself
  Bytes desktop_folder_icon;        // an .ico file's bytes, or nothing
  Bytes uninstaller_icon;
  WString uninstaller_path;
  WString uninstall_arguments;      // "/u:" and the key name in quotes
  WString install_log_path;
  WString product_name;
  WString root_command, root_name;  // the shortcut in a removable drive's root
  WString pin_command, pin_name;    // the taskbar pin
  bool removable_drive = false;     // the installation folder's drive
  bool pin_supported = false;       // Windows 7, 8 and 8.1 take the pin verb
  // Windows 95 and 98: an all-users Start-menu shortcut is made for the user too.
  bool start_menu_copy_for_user = false;
  std::function<WString(int)> text;                       // localized text N
  std::function<WString(WStringView)> replace_placeholders;  // "<product>" and the others
  std::function<WString(const WString&)> expand;          // path variables
  std::function<void(const WString&)> set_status;         // the progress text; may be empty
  InstallLog* log = nullptr;
  UninstallData* uninstall = nullptr;
};

// The whole step. No failure stops the installation: most go to the step
// log, those of Startup, root and pin shortcuts to the failure summary.
void CreateShortcuts(const ShortcutStepInput& in, ShortcutSystem& system);

}  // namespace ks
