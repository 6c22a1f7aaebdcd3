#pragma once
// Writing the uninstaller into the uninstall data folder and registering the
// product under the system's Uninstall key (HKLM, 32-bit view). The values
// are the uninstaller's configuration and what the next installation reads
// back (integration/uninstall_values.h).

#include "core/install_settings.h"
#include "core/win/archive_open.h"
#include "lib/text.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"

namespace ks {

// What the registration writes, as the installation has settled it.
struct RegistrationInput {
  const SetupArchive* archive = nullptr;
  InstallSettings* settings = nullptr;  // its reboot bit may be set
  WString install_dir;                  // the folder the preparation fixed
  WString start_menu_name;              // the Start-menu folder chosen
  WString shared_dir;
  NString font_list;                    // the placed fonts' list
  NString shared_files;                 // the SharedFiles text after the counts
  InstallLog* log = nullptr;
  UninstallData* uninstall = nullptr;
};

// The folder of the uninstallers that live apart from their products:
// kUninstallersFolderName in the common program files (only administrators
// may write there); empty when the system names no such folder.
WString UninstallersFolder();

// The uninstaller's path: "uninstall.exe" in the uninstall data folder, or,
// when a command line could not start it there (a deep installation
// folder), in the product's own folder among the uninstallers.
WString UninstallerPath(const WString& install_dir, const WString& uninstall_subdir, const WString& key_name);

// Writes the uninstaller: the compact engine image (with the archive's
// uninstaller icon) when the archive built one, else a copy of the running
// program; a program in use is replaced at the next restart (the reboot bit
// of the settings' product flags is set then). False when no uninstaller was
// written (the failure summary says why).
bool WriteUninstaller(const RegistrationInput& input);

// The whole step: the uninstaller, the product icon, the Uninstall key values
// with the extra values (and their removal records), the read-back check, and
// the install-path value. Failures go to the step log and the failure
// summary; nothing here stops the installation. Returns 0, or corrupt code
// 200 for an extra value of an unknown type, found before anything is written.
int RegisterUninstaller(const RegistrationInput& input);

}  // namespace ks
