#pragma once
// The uninstaller's file associations: each recorded extension goes back to
// its previous owner from the backups the installation saved; the shell
// hears of the change once.

#include <vector>

#include "lib/text.h"
#include "records/uninstall_data.h"

namespace ks {

// `display_name` names the backup values (the product's DisplayName).
void RemoveFileAssociations(const std::vector<AssociationRecord>& records, WStringView display_name);

}  // namespace ks
