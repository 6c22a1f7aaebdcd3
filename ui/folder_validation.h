#pragma once
// The checks of the folder the user chose on the folder page, in their fixed
// order; each refusal names its localized text, and the page opens again.
// What the running system knows (drives, special folders, free space) comes
// in through FolderFacts, so the order and the texts are testable anywhere.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/product_flags.h"
#include "lib/text.h"

namespace ks {

enum class DriveKind { kMissing, kFixed, kRemovable, kCdRom, kRamDisk, kNetwork, kOther };

struct FolderFacts {
  // The kind of a drive given by its root ("C:\").
  std::function<DriveKind(const WString& root)> drive_kind;
  // The volume of the root is write-protected.
  std::function<bool(const WString& root)> read_only;
  // Free bytes for the caller on the drive of the root; nullopt when unknown.
  std::function<std::optional<std::uint64_t>(const WString& root)> free_bytes;
  // The folders that may not be the installation folder itself: the desktop
  // and Start-menu folders of all users and of the user, and the Windows folder.
  std::vector<WString> forbidden;
  // The Program Files folders (32-bit and 64-bit).
  std::vector<WString> program_files;
};

struct FolderRules {
  ProductFlags flags = 0;
  std::uint32_t archive_flags = 0;
  bool new_installation = true;  // no earlier installation is being replaced
  bool interactive = true;       // not automatic: the space question may be asked
  std::uint64_t space_needed = 0;
};

struct FolderVerdict {
  enum Kind {
    kAccept,     // `folder` is the installation folder
    kReopen,     // blank entry: the page opens again without a message
    kRefuse,     // error box with `message`, then the page again
    kAskSpace,   // ask text 19 with needed and free KB; "no" opens the page again
  };
  Kind kind = kAccept;
  WString folder;               // trimmed, one trailing backslash removed
  int text = 0;                 // the localized text of a refusal
  bool text_with_folder = false;  // text 14: two line ends and the folder follow it
  std::uint64_t needed_kb = 0, free_kb = 0;
};

// The checks in their order: blank, well-formed and not a special folder
// (14), the drive exists (16), network (66), drive root (17), Program Files
// (18), read-only or removable drive (96), 7-bit ASCII (30), free space.
FolderVerdict ValidateFolder(WStringView entry, const FolderRules& rules, const FolderFacts& facts);

// A well-formed absolute folder: "X:\..." or "\\server\share\...", no
// characters a file name may not hold, no empty or blank element.
bool IsWellFormedFolder(WStringView folder);

// `folder` is `inner` itself or one of the folders it lies in (letter case ignored).
bool IsSameOrAbove(WStringView folder, WStringView inner);

}  // namespace ks
