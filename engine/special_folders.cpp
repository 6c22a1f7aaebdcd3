#include "engine/special_folders.h"

namespace ks {

int EffectiveFolderMode(int mode, bool is_64bit_os) {
  if (!is_64bit_os) return kFolderModeDefault;
  return (mode == kFolderMode64 || mode == kFolderMode64Alias) ? kFolderMode64 : kFolderModeDefault;
}

WString JoinPath(const WString& base, const WString& tail) {
  if (base.empty()) return WString();
  if (tail.empty()) return base;
  WString out = base;
  while (!out.empty() && out.back() == u'\\') out.pop_back();
  std::size_t start = 0;
  while (start < tail.size() && tail[start] == u'\\') ++start;
  return out + u'\\' + tail.substr(start);
}

WString TrimRegistryFolder(WString value) {
  if (value.size() >= 4 && value.back() == u'\\') value.pop_back();
  return value;
}

WString FolderLevelsUp(WString path, int levels) {
  for (int i = 0; i < levels; ++i) {
    const std::size_t slash = path.rfind(u'\\');
    if (slash == WString::npos) return WString();
    path.resize(slash);
  }
  return path;
}

WString RemoveX86Suffix(WString path) {
  static const WString kX86 = u" (x86)";
  const std::size_t at = path.find(kX86);
  if (at != WString::npos) path.erase(at, kX86.size());
  return path;
}

WString DevicePathFolder(WString value, FolderMethods& methods) {
  static const WString kSystemRoot = u"%SystemRoot%";
  const std::size_t semicolon = value.find(u';');
  if (semicolon != WString::npos) value.resize(semicolon);
  const std::size_t at = value.find(kSystemRoot);
  if (at != WString::npos) {
    const WString root = methods.ExpandEnvironment(kSystemRoot);
    if (!root.empty()) value.replace(at, kSystemRoot.size(), root);
  }
  return value;
}

WString InetpubParent(const WString& expanded_root) {
  WString path = expanded_root.empty() ? WString(u"c:\\Inetpub\\wwwroot") : expanded_root;
  if (!path.empty() && path.back() == u'\\') path.pop_back();
  const std::size_t slash = path.rfind(u'\\');
  if (slash != WString::npos && slash + 1 < path.size()) path.resize(slash + 1);
  if (!path.empty() && path.back() == u'\\') path.pop_back();
  return path;
}

char16_t BootDriveLetter(NStringView boot_dir) {
  if (boot_dir.size() >= 2 && boot_dir[1] == ':') {
    const char c = boot_dir[0];
    if (c >= 'a' && c <= 'z') return static_cast<char16_t>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return static_cast<char16_t>(c);
  }
  return u'C';
}

// ---- chains ------------------------------------------------------------------

WString SpecialFolders::ShellOr(int csidl, RegistryRoot root, const char16_t* value_name) {
  WString path = m_.ShellFolder(csidl);
  if (path.empty()) path = TrimRegistryFolder(m_.ShellFoldersValue(root, value_name));
  return path;
}

WString SpecialFolders::ProgramFilesDefault() {
  WString path = m_.ShellFolder(csidl::kProgramFiles);
  if (path.empty()) path = m_.KnownFolderPath(KnownFolder::kProgramFiles);
  if (path.empty()) path = TrimRegistryFolder(m_.CurrentVersionValue(u"ProgramFilesDir"));
  if (path.empty()) path = u"c:\\Program Files";
  return path;
}

WString SpecialFolders::ProgramFiles(int mode) {
  if (EffectiveFolderMode(mode, m_.Is64BitOs()) != kFolderMode64) return ProgramFilesDefault();
  WString path = m_.KnownFolderPath(KnownFolder::kProgramFilesX64);
  if (path.empty()) path = m_.EnvironmentValue(u"ProgramW6432");
  if (path.empty()) path = RemoveX86Suffix(ProgramFilesDefault());
  return path;
}

WString SpecialFolders::CommonFilesDefault() {
  WString path = m_.ShellFolder(csidl::kProgramFilesCommon);
  if (path.empty()) path = m_.KnownFolderPath(KnownFolder::kProgramFilesCommon);
  if (path.empty()) path = TrimRegistryFolder(m_.CurrentVersionValue(u"CommonFilesDir"));
  if (path.empty()) path = JoinPath(ProgramFilesDefault(), u"Common Files");
  return path;
}

WString SpecialFolders::CommonFiles(int mode) {
  if (EffectiveFolderMode(mode, m_.Is64BitOs()) != kFolderMode64) return CommonFilesDefault();
  WString path = m_.KnownFolderPath(KnownFolder::kProgramFilesCommonX64);
  if (path.empty()) path = m_.EnvironmentValue(u"CommonProgramW6432");
  if (path.empty()) path = RemoveX86Suffix(CommonFilesDefault());
  return path;
}

WString SpecialFolders::StartMenu() {
  WString path = ShellOr(csidl::kStartMenu, RegistryRoot::kCurrentUser, u"Start Menu");
  if (path.empty()) path = JoinPath(m_.WindowsFolder(), u"Start Menu");
  return path;
}

WString SpecialFolders::Programs() {
  WString path = ShellOr(csidl::kPrograms, RegistryRoot::kCurrentUser, u"Programs");
  if (path.empty()) path = JoinPath(StartMenu(), u"Programs");
  return path;
}

WString SpecialFolders::Startup() {
  WString path = ShellOr(csidl::kStartup, RegistryRoot::kCurrentUser, u"Startup");
  if (path.empty()) path = JoinPath(Programs(), u"StartUp");
  return path;
}

// "Common Startup" lies in the common Start-menu programs, inside the common Start menu.
WString SpecialFolders::CommonStartMenu() {
  WString path = ShellOr(csidl::kCommonStartMenu, RegistryRoot::kLocalMachine, u"Common Start Menu");
  if (path.empty()) {
    path = FolderLevelsUp(
        TrimRegistryFolder(m_.ShellFoldersValue(RegistryRoot::kLocalMachine, u"Common Startup")), 2);
  }
  if (path.empty()) path = StartMenu();
  return path;
}

WString SpecialFolders::CommonPrograms() {
  WString path = ShellOr(csidl::kCommonPrograms, RegistryRoot::kLocalMachine, u"Common Programs");
  if (path.empty()) {
    path = FolderLevelsUp(
        TrimRegistryFolder(m_.ShellFoldersValue(RegistryRoot::kLocalMachine, u"Common Startup")), 1);
  }
  if (path.empty()) path = Programs();
  return path;
}

WString SpecialFolders::System() {
  WString path = m_.SystemDirectory();
  if (path.empty()) path = JoinPath(m_.WindowsFolder(), m_.Platform() == 2 ? u"System32" : u"System");
  return path;
}

WString SpecialFolders::Temp() {
  if (temp_resolved_) return temp_;
  WString path = m_.SystemTempPath();
  if (path.empty() || !m_.FolderExists(path)) {
    path = JoinPath(m_.WindowsFolder(), u"temp");
    if (path.empty() || !m_.FolderExists(path)) {
      path = u"c:\\temp";
      m_.CreateFolderTree(path);
    }
  }
  if (!path.empty() && path.back() == u'\\') path.pop_back();
  temp_ = path;
  temp_resolved_ = true;
  return temp_;
}

WString SpecialFolders::Device() {
  WString path = DevicePathFolder(TrimRegistryFolder(m_.CurrentVersionValue(u"DevicePath")), m_);
  if (path.empty()) {
    const WString windows = m_.WindowsFolder();
    path = windows.empty() ? WString(u"INF") : JoinPath(windows, u"INF");
  }
  return path;
}

WString SpecialFolders::Media() {
  WString path = TrimRegistryFolder(m_.CurrentVersionValue(u"MediaPath"));
  if (path.empty()) {
    const WString windows = m_.WindowsFolder();
    path = windows.empty() ? WString(u"Media") : JoinPath(windows, u"Media");
  }
  return path;
}

WString SpecialFolders::Inetpub() {
  const WString root = AnsiToWide(m_.WwwRootValue());
  return InetpubParent(root.empty() ? root : m_.ExpandEnvironment(root));
}

WString SpecialFolders::Profile() {
  WString path = m_.ShellFolder(csidl::kProfile);
  if (path.empty()) path = JoinPath(JoinPath(m_.WindowsFolder(), u"Profiles"), m_.UserName());
  return path;
}

char16_t SpecialFolders::BootDrive() { return BootDriveLetter(m_.BootDirValue()); }

// Per-user folders never fall back to all-users ones.
WString SpecialFolders::PerUserFolder(SpecialFolder folder) {
  const RegistryRoot hkcu = RegistryRoot::kCurrentUser;
  WString path;
  switch (folder) {
    case SpecialFolder::kAppData:
      path = ShellOr(csidl::kAppData, hkcu, u"AppData");
      return path.empty() ? CommonFilesDefault() : path;
    case SpecialFolder::kDesktop:
      path = ShellOr(csidl::kDesktop, hkcu, u"Desktop");
      return path.empty() ? JoinPath(m_.WindowsFolder(), u"Desktop") : path;
    case SpecialFolder::kDocuments:
      path = ShellOr(csidl::kPersonal, hkcu, u"Personal");
      return path.empty() ? WString(u"c:\\My Documents") : path;
    case SpecialFolder::kFavorites:
      path = ShellOr(csidl::kFavorites, hkcu, u"Favorites");
      return path.empty() ? JoinPath(m_.WindowsFolder(), u"Favorites") : path;
    case SpecialFolder::kFonts:
      path = ShellOr(csidl::kFonts, hkcu, u"Fonts");
      return path.empty() ? JoinPath(m_.WindowsFolder(), u"Fonts") : path;
    case SpecialFolder::kStartMenu: return StartMenu();
    case SpecialFolder::kPrograms: return Programs();
    case SpecialFolder::kStartup: return Startup();
    default: return WString();
  }
}

// All-users folders fall back to their per-user counterparts.
WString SpecialFolders::CommonFolder(SpecialFolder folder) {
  const RegistryRoot hklm = RegistryRoot::kLocalMachine;
  WString path;
  switch (folder) {
    case SpecialFolder::kCommonAppData:
      path = ShellOr(csidl::kCommonAppData, hklm, u"Common AppData");
      return path.empty() ? CommonFilesDefault() : path;
    case SpecialFolder::kCommonDesktop:
      path = ShellOr(csidl::kCommonDesktop, hklm, u"Common Desktop");
      return path.empty() ? PerUserFolder(SpecialFolder::kDesktop) : path;
    case SpecialFolder::kCommonDocuments:
      path = ShellOr(csidl::kCommonDocuments, hklm, u"Common Documents");
      return path.empty() ? PerUserFolder(SpecialFolder::kDocuments) : path;
    case SpecialFolder::kCommonFavorites:
      path = ShellOr(csidl::kCommonFavorites, hklm, u"Common Favorites");
      return path.empty() ? PerUserFolder(SpecialFolder::kFavorites) : path;
    case SpecialFolder::kCommonStartMenu: return CommonStartMenu();
    case SpecialFolder::kCommonPrograms: return CommonPrograms();
    case SpecialFolder::kCommonStartup:
      path = ShellOr(csidl::kCommonStartup, hklm, u"Common Startup");
      return path.empty() ? Startup() : path;
    default: return WString();
  }
}

WString SpecialFolders::Get(SpecialFolder folder) {
  switch (folder) {
    case SpecialFolder::kSystem: return System();
    case SpecialFolder::kSystem32Bit: {
      const WString path = m_.ShellFolder(csidl::kSystemX86);
      return path.empty() ? System() : path;
    }
    case SpecialFolder::kWindows: return m_.WindowsFolder();
    case SpecialFolder::kTemp: return Temp();
    case SpecialFolder::kDevice: return Device();
    case SpecialFolder::kMedia: return Media();
    case SpecialFolder::kInetpubParent: return Inetpub();
    case SpecialFolder::kProfile: return Profile();
    case SpecialFolder::kCommonAppData:
    case SpecialFolder::kCommonDesktop:
    case SpecialFolder::kCommonDocuments:
    case SpecialFolder::kCommonFavorites:
    case SpecialFolder::kCommonStartMenu:
    case SpecialFolder::kCommonPrograms:
    case SpecialFolder::kCommonStartup: return CommonFolder(folder);
    default: return PerUserFolder(folder);
  }
}

}  // namespace ks
