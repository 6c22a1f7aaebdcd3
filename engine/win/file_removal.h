#pragma once
// Removing files and folders on Windows: deletion with options (at restart
// when locked), folder removal that ignores the shell's own files, folder
// trees, and the conditional deletions of the installation and the
// uninstallation passes.

#include <functional>
#include <vector>

#include "lib/text.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"

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
// the file for deletion at restart. A registration sets *restart_needed.
bool DeleteFileWithOptions(const WString& path, unsigned options, bool* restart_needed = nullptr);
// The same for a marked path (uninstall data form).
bool DeleteMarkedFile(NStringView marked, unsigned options, bool* restart_needed = nullptr);

// Removes an empty folder. "thumbs.db" and "desktop.ini" inside it are
// deleted first; a trailing backslash is dropped. A path of 3 characters or
// fewer (a drive root) fails with error 161 without touching anything; a
// missing folder fails with error 3.
bool RemoveFolder(const WString& path);
bool RemoveMarkedFolder(NStringView marked);

// Deletes every file and sub-folder below `path`, depth first, then `path`
// itself. True when the folder is gone.
bool DeleteFolderTree(const WString& path);

inline constexpr int kInstallationPass = 4;
inline constexpr int kUninstallationPass = 8;

// One pass over the conditional deletions.
struct ConditionalDeletionPass {
  int pass = kInstallationPass;  // 4 installation, 8 uninstallation
  WString install_dir;           // relative paths are taken from here
  std::function<WString(const WString&)> expand;  // path variables; empty keeps the text
  InstallLog* log = nullptr;     // the installation pass's lines and failures
  bool restart_needed = false;   // out: a deletion was registered for the restart
};

// Runs the records whose flags hold the pass against the files they match
// (by their long names: MatchesFileNamePattern). The installation pass writes
// its lines to the step log and failed registrations to the failure summary;
// the uninstallation pass logs nothing and drops the records that had no
// failure, so that the rewritten "Uninstall.DAT" keeps only the failed ones.
// An impossible date value is corrupt archive data in the installation pass
// (returns the corrupt code 65, found before anything is deleted); in the
// uninstallation pass the damaged record is dropped and the rest runs.
int RunConditionalDeletions(std::vector<ConditionalDeletion>& records, ConditionalDeletionPass& pass);

}  // namespace ks
