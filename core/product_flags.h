#pragma once
// Named bits of the 64-bit product flags word. Bits of the high half are
// often quoted as a 32-bit mask of that half; FlagHigh() turns such a mask
// into the 64-bit value so that the two forms cannot be mixed up.

#include <cstdint>

namespace ks {

using ProductFlags = std::uint64_t;

constexpr ProductFlags FlagLow(std::uint32_t mask) { return mask; }
constexpr ProductFlags FlagHigh(std::uint32_t mask) { return static_cast<ProductFlags>(mask) << 32; }
constexpr bool HasFlag(ProductFlags flags, ProductFlags bit) { return (flags & bit) != 0; }

namespace product_flag {

// Low half.
inline constexpr ProductFlags kUninstallEarlierFirst = FlagLow(0x00000001);
inline constexpr ProductFlags kUninstallerShortcutInStartMenu = FlagLow(0x00000002);
inline constexpr ProductFlags kRegisterUninstaller = FlagLow(0x00000004);
inline constexpr ProductFlags kDialogColours = FlagLow(0x00000010);
inline constexpr ProductFlags kFolderPage = FlagLow(0x00000080);
inline constexpr ProductFlags kSingleInstance = FlagLow(0x00000100);
inline constexpr ProductFlags kUninstallSilently = FlagLow(0x00000200);
inline constexpr ProductFlags kUninstallDeletesWholeFolder = FlagLow(0x00000400);
inline constexpr ProductFlags kAddToSearchPath = FlagLow(0x00001000);
inline constexpr ProductFlags kRebootRequired = FlagLow(0x00004000);
inline constexpr ProductFlags kBackgroundBitmap = FlagLow(0x00008000);
inline constexpr ProductFlags kMasterProduct = FlagLow(0x00010000);
inline constexpr ProductFlags kDetailedLog = FlagLow(0x00100000);
inline constexpr ProductFlags kProgressCancelDisabled = FlagLow(0x00200000);
inline constexpr ProductFlags kPreInstallBatch = FlagLow(0x00800000);
inline constexpr ProductFlags kPostInstallBatch = FlagLow(0x01000000);
inline constexpr ProductFlags kExitBatch = FlagLow(0x02000000);
inline constexpr ProductFlags kNoEarlierInstallQuestion = FlagLow(0x10000000);
inline constexpr ProductFlags kNoBackgroundWindow = FlagLow(0x20000000);

// High half.
inline constexpr ProductFlags kProductRegistryKey = FlagHigh(0x00000001);
inline constexpr ProductFlags kUninstallerShortcutOnDesktop = FlagHigh(0x00000002);
inline constexpr ProductFlags kStartMenuPage = FlagHigh(0x00000004);
inline constexpr ProductFlags kErrorsInAutomaticMode = FlagHigh(0x00000008);
inline constexpr ProductFlags kCompareVersions = FlagHigh(0x00000010);
inline constexpr ProductFlags kLocalFoldersOnly = FlagHigh(0x00000020);
inline constexpr ProductFlags kUninstallerShortcutInDataFolder = FlagHigh(0x00000040);
inline constexpr ProductFlags kBackgroundMaximised = FlagHigh(0x00000100);
inline constexpr ProductFlags kKeepBackgroundTitle = FlagHigh(0x00000400);
inline constexpr ProductFlags kNoGreetingPage = FlagHigh(0x00000800);
inline constexpr ProductFlags kWarnOldVersion = FlagHigh(0x00001000);
inline constexpr ProductFlags kNoShortcutProgressText = FlagHigh(0x00020000);
inline constexpr ProductFlags kGrantFolderRights = FlagHigh(0x00040000);
inline constexpr ProductFlags kProgressPage = FlagHigh(0x00080000);
inline constexpr ProductFlags kDialogIcons = FlagHigh(0x00100000);
inline constexpr ProductFlags kRefuseRemovableDrives = FlagHigh(0x00800000);
inline constexpr ProductFlags kSummaryCheckBox = FlagHigh(0x02000000);
inline constexpr ProductFlags kDesktopFolderIsProduct = FlagHigh(0x04000000);
inline constexpr ProductFlags kInstallLogShortcut = FlagHigh(0x08000000);
inline constexpr ProductFlags kUpgradeBatchChoice = FlagHigh(0x10000000);
inline constexpr ProductFlags kReinstallBatchChoice = FlagHigh(0x20000000);

// A silent installation asks nothing and shows no window: these bits are
// forced off and on right after the flags are read.
inline constexpr ProductFlags kSilentClear =
    FlagLow(0x00000080 | 0x80000000) |
    FlagHigh(0x00000004 | 0x00000008 | 0x00000010 | 0x00000200 | 0x00001000 | 0x00080000);
inline constexpr ProductFlags kSilentSet =
    FlagLow(0x00200000 | 0x00400000 | 0x10000000 | 0x20000000) | FlagHigh(0x00000800);

}  // namespace product_flag

constexpr ProductFlags ApplySilentMode(ProductFlags flags) {
  return (flags & ~product_flag::kSilentClear) | product_flag::kSilentSet;
}

}  // namespace ks
