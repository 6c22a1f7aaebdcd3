#include "uninstall/win/remove_associations.h"

#include "integration/file_associations.h"
#include "integration/win/classes_keys.h"

namespace ks {

void RemoveFileAssociations(const std::vector<AssociationRecord>& records, WStringView display_name) {
  if (records.empty()) return;
  RegistryClassesKeys keys;
  RemoveAssociations(records, display_name, keys);
  NotifyAssociationsChanged();
}

}  // namespace ks
