#pragma once
// The uninstaller's decisions as plain data: what an item line asks for, the
// progress of the item walk, which folders to try to remove and in what
// order, and what the rewritten "Uninstall.DAT" keeps.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lib/text.h"
#include "records/uninstall_data.h"

namespace ks {

enum class ItemAction {
  kFile,            // no prefix: a file
  kFolder,          // "~": kept for the folder pass
  kRegistryValue,   // "!": UTF-8 registry path of a value
  kRegistryKey,     // "^": key with its subkeys
  kRegistryKey64,   // "*": the same in the 64-bit view
};
ItemAction ClassifyItem(NStringView line);
// The text after the prefix (the whole line for a file).
NStringView ItemText(NStringView line);

// Progress while walking `count` items, `walked` of them done: 11 + trunc(81 * walked / count).
int ItemProgress(std::size_t walked, std::size_t count);

// The most levels one kept folder climbs.
inline constexpr int kMaxFolderLevels = 50;

// A path the uninstaller may act on: absolute ("X:\..." or "\\server\share\..."),
// without "." or ".." parts, wildcards or control characters. Lines of a
// damaged file that fail this are left alone.
bool IsSafeAbsolutePath(WStringView path);

// The folder without its last element (and without a trailing backslash);
// empty when nothing is left or only a drive root or share root would be.
WString ParentFolder(WStringView folder);

// Longest first; folders of equal length keep their order.
void SortFoldersLongestFirst(std::vector<WString>& folders);

// The folders to try, in order, for one kept folder: the folder itself and
// then its parents, at most kMaxFolderLevels, ending before the installation
// folder. A folder outside the installation folder is tried alone: its
// parents were not the product's. Drive and share roots and every folder in
// `protected_folders` (the Windows folder and the like, with their parents)
// end the chain; none of them is ever tried.
std::vector<WString> FolderRemovalChain(WStringView folder, WStringView install_dir,
                                        const std::vector<WString>& protected_folders);

// `folder` equals `other` or lies inside it (ASCII case ignored, trailing backslashes ignored).
bool IsSameOrInside(WStringView folder, WStringView other);

// A registry key (below its root) that an item or the product's key name may
// delete with its subkeys: at least two elements, and none of the system's
// shared keys ("Software\Microsoft", "Software\Classes", ...) itself. A
// damaged line must not take a whole branch of the registry with it.
bool IsRemovableKeyPath(WStringView key);

// A value's registry path split at its last backslash into the key's path and
// the value name; false when there is no backslash.
bool SplitValuePath(WStringView path, WString& key_path, WString& value_name);

// The first rule (file order) whose pass mask shares a bit with `pass` and
// whose patterns match; -1 when none does.
int FirstMatchingAutoCloseRule(const std::vector<AutoCloseRule>& rules, std::uint8_t pass,
                               WStringView window_class, WStringView title);

// A support offer worth showing: an "http://", "https://" or "www." address.
bool IsInternetAddress(NStringView text);

// What the rewritten file holds: the "[Strings]" texts and auto-close rules as
// read, the item lines that are left (files that failed and folders that are
// still there, kept as read), the MSI lines not removed, the registry
// records, and the conditional deletions that failed. Associations, firewall
// and INF records are not written again.
UninstallData RemainingUninstallData(const UninstallDataContent& content,
                                     const std::vector<NString>& left_items,
                                     const std::vector<NString>& remaining_msi,
                                     const std::vector<ConditionalDeletion>& failed_deletions);

// The "[Strings]" texts as read, for writing them back (a later text of the
// same number wins, as when they were loaded).
UninstallTexts ContentTexts(const UninstallDataContent& content);

}  // namespace ks
