#pragma once
// Removing files and folders on Windows: deletion with options (at restart
// when locked), folder removal that ignores the shell's own files, folder
// trees, and the conditional deletions of the installation and the
// uninstallation passes.

#include <vector>

#include "lib/text.h"
#include "uninstall/uninstall_data.h"

namespace ks {

// Options of DeleteFileWithOptions (a bit set).
inline constexpr unsigned kDeleteKeepAttributes = 0x1;       // leave a read-only file read-only
inline constexpr unsigned kDeleteAtRestart = 0x2;            // only register for the next restart
inline constexpr unsigned kDeleteAtRestartOnFailure = 0x10;  // fall back to the next restart
inline constexpr unsigned kDeleteToRecycleBin = 0x80;
inline constexpr unsigned kDeleteMissingIsDeleted = 0x800;   // errors 2 and 3 count as deleted

// True when the file was deleted (or registered for deletion at restart).
// False leaves the system error set: 87 for an empty path. Unless
// kDeleteKeepAttributes, a read-only attribute is cleared first. With
// kDeleteAtRestartOnFailure, a failure other than errors 2 and 3 registers
// the file for deletion at restart. A registration sets the running mode's
// restart-needed flag.
bool DeleteFileWithOptions(const WString& path, unsigned options);
// The same for a marked path (uninstall data form).
bool DeleteMarkedFile(NStringView marked, unsigned options);

// Removes an empty folder. "thumbs.db" and "desktop.ini" inside it are
// deleted first; a trailing backslash is dropped. A path of 3 characters or
// fewer (a drive root) fails with error 161 without touching anything; a
// missing folder fails with error 3.
bool RemoveFolder(const WString& path);
bool RemoveMarkedFolder(NStringView marked);

// Deletes every file and sub-folder below `path`, depth first, then `path`
// itself. True when the folder is gone.
bool DeleteFolderTree(const WString& path);

// The restart-needed flag that a registration for deletion at restart sets:
// the uninstaller's own flag while uninstalling, the installer's reboot bit of
// its product flags otherwise.
void SetRemovalMode(bool uninstalling);
bool UninstallRestartNeeded();
// True when a deletion during installation was registered for the restart
// (the installer also sets its product flags' reboot bit from it).
bool InstallRestartNeeded();

inline constexpr int kInstallationPass = 4;
inline constexpr int kUninstallationPass = 8;

// Runs the records whose flags hold `pass` (4 installation, 8 uninstallation)
// against the files they match; relative paths are taken from `install_dir`.
// The installation pass writes its lines to the step log and failed
// registrations to the failure summary; the uninstallation pass logs nothing
// and drops the records that had no failure, so that the rewritten
// "Uninstall.DAT" keeps only the failed ones. A record with an impossible date
// value ends the process as a corrupt installation (code 65).
void RunConditionalDeletions(std::vector<ConditionalDeletion>& records, int pass, const WString& install_dir);

}  // namespace ks
