#pragma once
// Opens a product folder to the machine's users.

#include <windows.h>

#include <cstdint>

#include "lib/text.h"
#include "records/install_log.h"

namespace ks {

// Logs "Granting rights to directory "<folder>"..." and then "OK" or
// "FAILED code <code>: <message>". Fails with 161 for an empty folder text and
// with 3 for a folder that does not exist.
//
// What it grants: the folder's read-only, hidden and system attributes are
// cleared; its access list keeps every entry it has (inherited ones too) and
// gains three allow entries that sub-folders and files inherit:
//   - Users (S-1-5-32-545, every local account): modify (read, write,
//     execute, delete), not change-permissions or take-ownership;
//   - Administrators (S-1-5-32-544) and SYSTEM (S-1-5-18): full control.
// Owner and group become Administrators when the process can set them (the
// take-ownership and restore privileges, enabled only for the call); an
// installer without them keeps the current owner, the account that created
// the folder. A crash inside counts as error 0x8000FFFF.
// Returns 0 on success, else the error code it logged.
std::uint32_t GrantFolderRights(const WString& folder, InstallLog& log);

// The access list GrantFolderRights sets: `existing` (may be null) with the
// three grants merged in. 0 or the error; *merged is freed with LocalFree.
std::uint32_t GrantedAccessList(PACL existing, PACL* merged);

}  // namespace ks
