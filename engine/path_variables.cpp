#include "engine/path_variables.h"

#include <array>
#include <string>

namespace ks {
namespace {

constexpr std::array<const char16_t*, kPathVariableCount> kNames = {
    u"%AppDataAllDir%", u"%AppDataDir%", u"%Automatic%", u"%Bits%", u"%BootDrive%", u"%CommonDir%",
    u"%CommonDir32%", u"%CommonDir64%", u"%DesktopAllDir%", u"%DesktopDir%", u"%DesktopShortcuts%",
    u"%DeviceDir%", u"%DocumentAllDir%", u"%DocumentDir%", u"%Existing%", u"%FavoritesAllDir%",
    u"%FavoritesDir%", u"%FontDir%", u"%Inetpub%", u"%InstallDir%", u"%InstallDrive%",
    u"%InstallerDir%", u"%InstallerDrive%", u"%InstallerFilename%", u"%InstallerFilepath%",
    u"%Language%", u"%MediaDir%", u"%NetworkInstall%", u"%OldVersion%", u"%OldVersionMajor%",
    u"%OldVersionMinor%", u"%Portable%", u"%ProductName%", u"%CompanyName%", u"%ProgramsDir%",
    u"%ProgramsDir32%", u"%ProgramsDir64%", u"%SharedDir%", u"%SMProgramsAllDir%", u"%SMProgramsDir%",
    u"%StartMenuAllDir%", u"%StartMenuChosen%", u"%StartMenuDir%", u"%StartupAllDir%", u"%StartupDir%",
    u"%SystemDir%", u"%Temp%", u"%UninstallDir%", u"%Version%", u"%WinDir%", u"%OS%", u"%OSMajor%",
    u"%OSMinor%", u"%OSName%", u"%OSDescription%", u"%OSServer%",
};
static_assert(static_cast<int>(PathVariable::kOSServer) + 1 == kPathVariableCount);

bool MatchesAt(const WString& text, std::size_t at, WStringView name, bool exact_case) {
  if (text.size() - at < name.size()) return false;
  const WStringView candidate(text.data() + at, name.size());
  return exact_case ? candidate == name : EqualsIgnoreCase(candidate, name);
}

WString Flag(bool value) { return value ? u"1" : u"0"; }
WString Number(long long value) { return Widen(std::to_string(value)); }
bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

WString ModeFolder(PathVariableSystem& sys, bool common, int mode) {
  return common ? sys.CommonFiles(mode) : sys.ProgramFiles(mode);
}

bool IsNetworkInstall(const WString& install_dir, PathVariableSystem& sys) {
  if (IsUncPath(install_dir)) return true;
  const WString drive = DriveOf(install_dir);
  return !drive.empty() && sys.IsRemoteDrive(drive[0]);
}

WString ExistingNumber(const PathVariableInputs& in) {
  return Number(in.creates_uninstaller ? static_cast<int>(in.existing) : 0);
}

// The folders of the table; empty for the variables that are not folders.
WString FolderValue(PathVariable variable, const PathVariableInputs& in, PathVariableSystem& sys) {
  using V = PathVariable;
  using F = SpecialFolder;
  const int chosen_mode = in.install_64bit ? kFolderMode64 : kFolderMode32;
  switch (variable) {
    case V::kAppDataAllDir: return sys.Folder(F::kCommonAppData);
    case V::kAppDataDir: return sys.Folder(F::kAppData);
    case V::kCommonDir: return ModeFolder(sys, true, chosen_mode);
    case V::kCommonDir32: return ModeFolder(sys, true, kFolderMode32);
    case V::kCommonDir64: return ModeFolder(sys, true, kFolderMode64);
    case V::kDesktopAllDir: return sys.Folder(F::kCommonDesktop);
    case V::kDesktopDir: return sys.Folder(F::kDesktop);
    case V::kDesktopShortcuts:
      return JoinPath(sys.Folder(in.all_users ? F::kCommonDesktop : F::kDesktop), in.desktop_folder_name);
    case V::kDeviceDir: return sys.Folder(F::kDevice);
    case V::kDocumentAllDir: return sys.Folder(F::kCommonDocuments);
    case V::kDocumentDir: return sys.Folder(F::kDocuments);
    case V::kFavoritesAllDir: return sys.Folder(F::kCommonFavorites);
    case V::kFavoritesDir: return sys.Folder(F::kFavorites);
    case V::kFontDir: return sys.Folder(F::kFonts);
    case V::kInetpub: return sys.Folder(F::kInetpubParent);
    case V::kMediaDir: return sys.Folder(F::kMedia);
    case V::kProgramsDir: return ModeFolder(sys, false, chosen_mode);
    case V::kProgramsDir32: return ModeFolder(sys, false, kFolderMode32);
    case V::kProgramsDir64: return ModeFolder(sys, false, kFolderMode64);
    case V::kSMProgramsAllDir: return sys.Folder(F::kCommonPrograms);
    case V::kSMProgramsDir: return sys.Folder(F::kPrograms);
    case V::kStartMenuAllDir: return sys.Folder(F::kCommonStartMenu);
    case V::kStartMenuChosen:
      return JoinPath(sys.Folder(in.all_users ? F::kCommonPrograms : F::kPrograms), in.start_menu_name);
    case V::kStartMenuDir: return sys.Folder(F::kStartMenu);
    case V::kStartupAllDir: return sys.Folder(F::kCommonStartup);
    case V::kStartupDir: return sys.Folder(F::kStartup);
    case V::kSystemDir: return sys.Folder(F::kSystem);
    case V::kTemp: return sys.Folder(F::kTemp);
    case V::kWinDir: return sys.Folder(F::kWindows);
    default: return WString();
  }
}

WString SystemValue(PathVariable variable, PathVariableSystem& sys) {
  using V = PathVariable;
  const SystemVersion& v = sys.Version();
  switch (variable) {
    case V::kBits: return Is64BitOs(v) ? u"64" : u"32";
    case V::kOS: return Number(OsNumber(v));
    case V::kOSMajor: return Number(v.major);
    case V::kOSMinor: return Number(v.minor);
    case V::kOSName: return AnsiToWide(OsName(v, kOsNameShort));
    case V::kOSDescription: return OsNameW(v);
    case V::kOSServer: return Flag(IsServer(v));
    default: return WString();
  }
}

}  // namespace

const char16_t* PathVariableName(PathVariable variable) {
  return kNames.at(static_cast<std::size_t>(variable));
}

bool PathVariableExactCase(PathVariable variable) {
  return variable == PathVariable::kOldVersionMajor || variable == PathVariable::kOldVersionMinor;
}

void ReplaceVariable(WString& text, WStringView name, const WString& value, bool exact_case) {
  if (name.empty()) return;
  std::size_t at = 0;
  while (at < text.size()) {
    at = text.find(name[0], at);  // a '%', which has no case
    if (at == WString::npos) return;
    if (MatchesAt(text, at, name, exact_case)) {
      text.replace(at, name.size(), value);
      at += value.size();
    } else {
      ++at;
    }
  }
}

void ExpandPathVariablesWith(WString& text, const std::function<WString(PathVariable)>& value_of,
                             const EnvironmentExpandFn& expand_environment) {
  for (int i = 0; i < kPathVariableCount; ++i) {
    const auto variable = static_cast<PathVariable>(i);
    ReplaceVariable(text, PathVariableName(variable), value_of(variable), PathVariableExactCase(variable));
  }
  std::optional<WString> expanded = expand_environment(text);
  if (!expanded) return;
  if (expanded->size() > kExpansionRoom - 1) expanded->resize(kExpansionRoom - 1);
  text = std::move(*expanded);
}

const WString& InstallFolderOf(const InstallSettings& settings, const InstallChoices& choices) {
  return choices.install_dir.empty() ? settings.install_path : choices.install_dir;
}

const WString& StartMenuNameOf(const InstallSettings& settings, const InstallChoices& choices) {
  return choices.start_menu_name.empty() ? settings.product_start_menu : choices.start_menu_name;
}

PathVariableInputs InstallationInputs(const InstallSettings& settings, const WString& language,
                                      const EarlierInstallation& earlier, const InstallChoices& choices) {
  PathVariableInputs in;
  in.automatic = settings.automatic;
  in.install_64bit = settings.bitness == 1;  // the product needs 64-bit Windows
  in.all_users = settings.shortcut_mode == 1;
  in.creates_uninstaller = HasFlag(settings.product_flags, product_flag::kRegisterUninstaller);
  in.existing = static_cast<ExistingInstallation>(choices.install_type);
  // An earlier installation whose folder is gone counts as none.
  if (earlier.usable()) in.old_version = earlier.version;
  in.portable = choices.portable;
  in.install_dir = InstallFolderOf(settings, choices);
  in.language = language;
  in.product_name = settings.product_name;
  in.company_name = settings.publisher;
  in.version = settings.display_version;
  in.shared_dir = choices.shared_dir;
  in.start_menu_name = StartMenuNameOf(settings, choices);
  in.desktop_folder_name = settings.desktop_folder;
  in.uninstall_dir = choices.uninstall_dir;
  return in;
}

WString PathVariableValue(PathVariable variable, const PathVariableInputs& in, PathVariableSystem& sys) {
  using V = PathVariable;
  switch (variable) {
    case V::kAutomatic: return Flag(in.automatic);
    case V::kBootDrive: return WString(1, sys.BootDrive()) + u":";
    case V::kExisting: return ExistingNumber(in);
    case V::kInstallDir: return in.install_dir;
    case V::kInstallDrive: return DriveOf(in.install_dir);
    case V::kInstallerDir: return FolderOfFile(sys.InstallerPath());
    case V::kInstallerDrive: return DriveOf(sys.InstallerPath());
    case V::kInstallerFilename: return FileNameOf(sys.InstallerPath());
    case V::kInstallerFilepath: return sys.InstallerPath();
    case V::kLanguage: return in.language;
    case V::kNetworkInstall: return Flag(IsNetworkInstall(in.install_dir, sys));
    case V::kOldVersion: return in.old_version;
    case V::kOldVersionMajor: return VersionPiece(in.old_version, 0);
    case V::kOldVersionMinor: return VersionPiece(in.old_version, 1);
    case V::kPortable: return Flag(in.portable);
    case V::kProductName: return in.product_name;
    case V::kCompanyName: return in.company_name;
    case V::kSharedDir: return in.shared_dir;
    case V::kUninstallDir: return in.uninstall_dir;
    case V::kVersion: return in.version;
    case V::kBits:
    case V::kOS:
    case V::kOSMajor:
    case V::kOSMinor:
    case V::kOSName:
    case V::kOSDescription:
    case V::kOSServer: return SystemValue(variable, sys);
    default: return FolderValue(variable, in, sys);
  }
}

void ExpandPathVariables(WString& text, const PathVariableInputs& in, PathVariableSystem& sys,
                         const EnvironmentExpandFn& expand_environment) {
  ExpandPathVariablesWith(
      text, [&](PathVariable variable) { return PathVariableValue(variable, in, sys); },
      expand_environment);
}

// ---- pieces ------------------------------------------------------------------

WString DriveOf(const WString& path) {
  if (path.size() < 2 || path[1] != u':' || !IsAsciiLetter(path[0])) return WString();
  const char16_t letter = (path[0] >= u'a') ? static_cast<char16_t>(path[0] - u'a' + u'A') : path[0];
  return WString{letter, u':'};
}

WString FolderOfFile(const WString& path) {
  const std::size_t slash = path.rfind(u'\\');
  if (slash == WString::npos) {
    const std::size_t colon = path.find(u':');
    return colon == WString::npos ? WString() : path.substr(0, colon + 1);
  }
  // "C:\setup.exe" lies in the drive root, which keeps its backslash.
  if (slash == 2 && !DriveOf(path).empty()) return path.substr(0, 3);
  return path.substr(0, slash);
}

WString FileNameOf(const WString& path) {
  std::size_t cut = path.rfind(u'\\');
  if (cut == WString::npos) cut = path.find(u':');
  return cut == WString::npos ? path : path.substr(cut + 1);
}

WString VersionPiece(const WString& version, int index) {
  int seen = 0;
  std::size_t start = 0;
  while (start <= version.size()) {
    std::size_t end = version.find(u'.', start);
    if (end == WString::npos) end = version.size();
    if (end > start) {
      if (seen == index) return version.substr(start, end - start);
      ++seen;
    }
    start = end + 1;
  }
  return WString();
}

bool IsUncPath(const WString& path) {
  return path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\';
}

}  // namespace ks
