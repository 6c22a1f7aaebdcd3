#pragma once
// The installation's registry step (the product key, the archive's registry
// records, the merge file and the App Paths registration) and the
// uninstaller's walk back over the records it left in "[Registry2]".

#include <cstdint>
#include <functional>

#include "core/bytes.h"
#include "lib/text.h"
#include "records/install_log.h"

namespace ks {

class UninstallData;

// ArchiveFlags: no registry step at all when the folder is on a removable drive.
inline constexpr std::uint32_t kArchiveFlagNoRegistryOnRemovable = 0x8000;

struct RegistryStepInput {
  WString install_dir;
  WString product_registry;  // "Software\<this>" in every hive; empty: none
  WString entries;           // the registry records text
  Bytes merge_file;          // a .reg file's bytes for "regedit /s"; empty: none
  WString app_path;          // main program relative to install_dir; empty: none
  bool view64 = false;       // ProductFlags high 0x1: the 64-bit registry view
  bool removable_drive = false;       // install_dir lies on a removable drive
  bool skip_on_removable = false;     // kArchiveFlagNoRegistryOnRemovable
  // Path-variable expansion of type-1 data; empty keeps the text.
  std::function<WString(const WString&)> expand;
  InstallLog* log = nullptr;
};

// The step. Single failures go to the step log, the product key, illegal
// records and the merge file to the failure summary. The entries text with
// the records the step added becomes the uninstall data's registry text.
void WriteRegistryEntries(const RegistryStepInput& in, UninstallData& data);
// The installation folder lies on a removable drive (then the step writes no
// App Paths registration, and with kArchiveFlagNoRegistryOnRemovable nothing).
bool IsOnRemovableDrive(const WString& folder);

// The uninstaller's walk: a one-field record with at least two backslashes
// deletes that key when it is empty; a five-field record with code 2, 3, 5 or
// 7 deletes its value; "\HKAU\" paths in every user's hive. Results are not
// checked (nothing here counts as an uninstallation failure).
void RemoveRegistryRecords(const WString& registry2_text, bool view64);

}  // namespace ks
