#pragma once
// File associations: the installation makes extensions open with the
// product (a file type, its description, icon and verbs below the classes
// root), saving every default value it replaces under the backup value, and
// the uninstaller gives each extension back to its previous owner from those
// backups. Both sides are plain code over ClassesKeys, the classes root as a
// tree of keys (integration/win/classes_keys.h is the registry's).

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/install_settings.h"
#include "lib/text.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"

namespace ks {

// ArchiveFlags: no associations when the folder is on a removable drive.
inline constexpr std::uint32_t kArchiveFlagNoAssociationsOnRemovable = 0x20000;

// The keys below the classes root; a key is named by its path below the root
// ("Ks.Doc\shell\open\command"), a value by its name ("" the default value).
class ClassesKeys {
 public:
  virtual ~ClassesKeys() = default;
  virtual bool Exists(const WString& key) = 0;
  // Opens the key, creating it and its missing parents; false when it cannot.
  virtual bool Create(const WString& key) = 0;
  // A text value; nullopt when the key or the value is missing.
  virtual std::optional<WString> Value(const WString& key, const WString& name) = 0;
  virtual bool SetValue(const WString& key, const WString& name, const WString& text) = 0;
  virtual void DeleteValue(const WString& key, const WString& name) = 0;
  // Sub-key and value names; empty for a missing key.
  virtual std::vector<WString> SubKeys(const WString& key) = 0;
  virtual std::vector<WString> ValueNames(const WString& key) = 0;
  // The key with everything below it.
  virtual void DeleteTree(const WString& key) = 0;
};

// The value that keeps what the installation replaced: the product's display
// name and " Backup", without backslashes, CR, LF and tabs.
WString AssociationBackupName(WStringView display_name);

// The extension as a key name: with its leading point.
NString ExtensionKeyName(NStringView extension);
// The verbs of a record, split at commas (blank ones dropped, each trimmed).
std::vector<NString> SplitVerbs(NStringView verbs);

struct AssociationStepInput {
  std::vector<FileAssociation> records;
  WString display_name;            // the product's, for the backup value
  WString language;                // the language chosen for the installation
  WString install_dir;             // relative icons start here
  bool removable_drive = false;
  std::uint32_t archive_flags = 0;
  std::function<WString(const WString&)> expand;  // path variables
  std::function<void()> notify_shell;             // associations changed; once, after the records
  InstallLog* log = nullptr;
};

// The installation's step: every record that applies, each verb recorded in
// the uninstall data whether or not its writes succeeded.
void AssociateFiles(const AssociationStepInput& in, ClassesKeys& keys, UninstallData& data);

// The uninstaller's step for the recorded associations: the backups become
// the default values again and are deleted; what the product added and
// nobody else uses goes.
void RemoveAssociations(const std::vector<AssociationRecord>& records, WStringView display_name, ClassesKeys& keys);

}  // namespace ks
