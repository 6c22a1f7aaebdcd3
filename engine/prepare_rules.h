#pragma once
// The decisions of the preparation step as plain functions: which shared
// folder, which restore-point description, which drives make an installation
// portable, which product flags it leaves.

#include <cstddef>
#include <cstdint>

#include "core/product_flags.h"
#include "lib/text.h"

namespace ks {

namespace product_flag {
// Grant access rights on the installation folder (and the Start-menu folder).
// kGrantFolderRights itself is in core/product_flags.h.
inline constexpr ProductFlags kGrantSharedFolderRights = FlagHigh(0x40000000);
// A portable installation gets no uninstaller and no shared-file counts.
inline constexpr ProductFlags kPortableWithoutUninstaller = FlagHigh(0x01000000);
}  // namespace product_flag

// Archive flag: create a restore point before installing, commit it at the end.
inline constexpr std::uint32_t kArchiveRestorePoint = 0x2;

// "<product> <version>", or the product name alone when the version is empty;
// at most 255 characters (the system's description holds 256 with its end).
WString RestorePointDescription(const WString& product_name, const WString& version);
inline constexpr std::size_t kRestorePointDescriptionMax = 255;

// The base folder of the shared folder by the settings' choice.
enum class SharedFolderBase { kCommonAppData, kCommonFilesDefault, kCommonFiles64 };
SharedFolderBase ChooseSharedFolderBase(std::uint8_t choice, bool install_64bit);

struct SharedFolderInput {
  bool creates_uninstaller = false;  // ProductFlags 0x4
  bool portable = false;
  WString install_dir;
  WString portable_subfolder;  // the portable installation's shared sub-folder
  WString name;                // the shared folder name of the settings
  WString base;                // the folder ChooseSharedFolderBase named
};
// Empty without an uninstaller; the installation folder joined with the
// portable sub-folder in a portable installation that has one; otherwise the
// name made absolute against the base (a name that is absolute already, with a
// drive or two leading backslashes, stays as it is).
WString SharedFolderFor(const SharedFolderInput& in);

// The shared folder name: the shared folder path of the settings when it is
// not empty, else `SharedPath` (which the settings default to the publisher or
// the product name).
WString SharedFolderName(const WString& shared_path, const WString& shared_folder_path);

// "C:\" for a drive path, "\\server\share\" for a network path, empty when the
// path has neither.
WString DriveRootOf(const WString& path);
bool IsAbsolutePath(WStringView path);

// Drive types (as GetDriveType numbers them) that make an installation portable:
// removable, CD-ROM and RAM disk.
bool IsPortableDriveType(unsigned drive_type);

// Clears ProductFlags 0x4 when the product asks a portable installation to go
// without an uninstaller.
ProductFlags FlagsAfterPortableRule(ProductFlags flags, bool portable);

// The installation folder without its trailing backslashes (a drive root keeps
// its one).
WString WithoutTrailingBackslash(WString path);

// What the end of an installation must still be able to write into its
// uninstall data folder when the files fill the disk: the uninstaller,
// Uninstall.DAT (a line per file record, each a path below the installation
// folder of at most 260 characters, UTF-8), the registry records and the
// product icon, and Install.log with its step lines.
struct RecordSpaceInput {
  std::uint64_t uninstaller_bytes = 0;  // 0 without an uninstaller
  std::size_t file_records = 0;
  std::size_t install_dir_chars = 0;
  std::size_t registry_chars = 0;
  std::size_t icon_bytes = 0;
};
std::uint64_t RecordSpace(const RecordSpaceInput& in);

}  // namespace ks
