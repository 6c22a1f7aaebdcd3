#pragma once
// The system's well-known folders. Each folder has one resolver that tries a
// fixed chain of methods and takes the first non-empty answer; the methods
// themselves (shell calls, registry values, environment) come through
// FolderMethods, so the chains are plain rules over data.
//
// Answers are absolute folders without a trailing backslash (a method's own
// drive-root answer such as "C:\" keeps it), or empty when every method fails.

#include <cstdint>

#include "lib/text.h"

namespace ks {

enum class SpecialFolder {
  kCommonAppData,
  kAppData,
  kCommonDesktop,
  kDesktop,
  kCommonDocuments,
  kDocuments,
  kCommonFavorites,
  kFavorites,
  kFonts,
  kCommonStartMenu,
  kStartMenu,
  kCommonPrograms,
  kPrograms,
  kCommonStartup,
  kStartup,
  kSystem,
  kSystem32Bit,
  kWindows,
  kTemp,
  kDevice,
  kMedia,
  kInetpubParent,  // the parent of the web server's root
  kProfile,
};

// Program-files modes: 1 32-bit, 2 64-bit, 3 default, 4 same as 2.
inline constexpr int kFolderMode32 = 1;
inline constexpr int kFolderMode64 = 2;
inline constexpr int kFolderModeDefault = 3;
inline constexpr int kFolderMode64Alias = 4;

// The mode in effect: 2 (64-bit) or 3 (default). A 32-bit Windows has only
// the default folders, and for this 32-bit program mode 1 is the default.
int EffectiveFolderMode(int mode, bool is_64bit_os);

enum class KnownFolder { kProgramFiles, kProgramFilesX64, kProgramFilesCommon, kProgramFilesCommonX64 };
enum class RegistryRoot { kLocalMachine, kCurrentUser };

// Shell folder numbers (CSIDL) of the chains.
namespace csidl {
inline constexpr int kPrograms = 2, kPersonal = 5, kFavorites = 6, kStartup = 7, kStartMenu = 11,
                     kDesktop = 16, kFonts = 20, kCommonStartMenu = 22, kCommonPrograms = 23,
                     kCommonStartup = 24, kCommonDesktop = 25, kAppData = 26, kCommonFavorites = 31,
                     kCommonAppData = 35, kProgramFiles = 38, kProfile = 40, kSystemX86 = 41,
                     kProgramFilesCommon = 43, kCommonDocuments = 46;
}

// The methods the chains try. Every one answers empty when it fails or is
// unavailable; none reports an error.
class FolderMethods {
 public:
  virtual ~FolderMethods() = default;
  virtual WString ShellFolder(int csidl) = 0;
  virtual WString KnownFolderPath(KnownFolder id) = 0;
  // The raw string value under "...\Explorer\Shell Folders\" (at most 4,096 characters).
  virtual WString ShellFoldersValue(RegistryRoot root, const WString& name) = 0;
  // The raw string value under HKLM "Software\Microsoft\Windows\CurrentVersion".
  virtual WString CurrentVersionValue(const WString& name) = 0;
  // Empty also when the value has 65,536 characters or more.
  virtual WString EnvironmentValue(const WString& name) = 0;
  virtual WString WindowsFolder() = 0;
  virtual WString SystemDirectory() = 0;
  virtual WString SystemTempPath() = 0;
  virtual bool FolderExists(const WString& path) = 0;
  virtual void CreateFolderTree(const WString& path) = 0;
  virtual WString UserName() = 0;
  // Narrow registry values, at most 64 characters: "PathWWWRoot" under
  // HKLM "SOFTWARE\Microsoft\INetStp", "BootDir" under HKLM
  // "Software\Microsoft\Windows\CurrentVersion\Setup".
  virtual NString WwwRootValue() = 0;
  virtual NString BootDirValue() = 0;
  // The system's environment-string expansion; empty when it fails.
  virtual WString ExpandEnvironment(const WString& text) = 0;
  virtual bool Is64BitOs() = 0;
  virtual std::uint32_t Platform() = 0;  // SystemVersion platform (2 = NT family)
};

// Joins two path parts with exactly one backslash. An empty base gives an
// empty result (a method without an answer must not become a relative path);
// an empty tail gives the base.
WString JoinPath(const WString& base, const WString& tail);
// Removes one trailing backslash when the text has at least four characters
// (so "C:\" stays a drive root).
WString TrimRegistryFolder(WString value);
// The folder `levels` levels up: cut after the last backslash and drop it,
// `levels` times. Empty when a level has no backslash.
WString FolderLevelsUp(WString path, int levels);
// Deletes the first " (x86)" (exact case).
WString RemoveX86Suffix(WString path);
// The first entry of a "DevicePath" list with "%SystemRoot%" expanded.
WString DevicePathFolder(WString value, FolderMethods& methods);
// The parent of the web root ("c:\Inetpub" when the value is empty).
WString InetpubParent(const WString& expanded_root);
// The upper-case boot drive letter from a "BootDir" value, "C" when unusable.
char16_t BootDriveLetter(NStringView boot_dir);

// The resolvers over one set of methods. The temporary folder is resolved on
// its first request and kept for the object's life (one object per process
// on Windows, see engine/win/special_folders.h).
class SpecialFolders {
 public:
  explicit SpecialFolders(FolderMethods& methods) : m_(methods) {}

  WString Get(SpecialFolder folder);
  WString ProgramFiles(int mode);
  WString CommonFiles(int mode);
  char16_t BootDrive();

 private:
  WString ShellOr(int csidl, RegistryRoot root, const char16_t* value_name);
  WString ProgramFilesDefault();
  WString CommonFilesDefault();
  WString CommonStartMenu();
  WString CommonPrograms();
  WString StartMenu();
  WString Programs();
  WString Startup();
  WString System();
  WString Temp();
  WString Device();
  WString Media();
  WString Inetpub();
  WString Profile();
  WString PerUserFolder(SpecialFolder folder);
  WString CommonFolder(SpecialFolder folder);

  FolderMethods& m_;
  bool temp_resolved_ = false;
  WString temp_;
};

}  // namespace ks
