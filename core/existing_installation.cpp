#include "core/existing_installation.h"

#include "core/install_settings.h"
#include "lib/version_compare.h"

namespace ks {
namespace {

// Version texts are digits, dots and letters; the narrow form compares them.
NString VersionText(WStringView version) { return WideToAnsi(version); }

bool IsBlankNarrow(NStringView text) {
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

bool StripRoot(WStringView& path, RegRoot* root) {
  static const struct {
    const char16_t* prefix;
    RegRoot root;
  } kRoots[] = {
      {u"HKLM\\", RegRoot::kLocalMachine},
      {u"HKCU\\", RegRoot::kCurrentUser},
      {u"HKEY_LOCAL_MACHINE\\", RegRoot::kLocalMachine},
      {u"HKEY_CURRENT_USER\\", RegRoot::kCurrentUser},
  };
  for (const auto& r : kRoots) {
    if (StartsWithIgnoreCase(path, r.prefix)) {
      path.remove_prefix(WStringView(r.prefix).size());
      *root = r.root;
      return true;
    }
  }
  return false;
}

}  // namespace

const char16_t* InstallTypeName(InstallType type) {
  switch (type) {
    case InstallType::kNew: return u"New";
    case InstallType::kReinstall: return u"Reinstall";
    case InstallType::kUpgrade: return u"Upgrade";
    case InstallType::kDowngrade: return u"Downgrade";
  }
  return u"New";
}

WString UninstallKeyPath(WStringView name) { return WString(kUninstallKeyBase) + u"\\" + WString(name); }

bool BitnessFits(std::uint8_t bitness, bool system_is_64bit) {
  if (bitness == 1) return system_is_64bit;
  if (bitness == 2) return !system_is_64bit;
  return true;
}

int RequiredBits(std::uint8_t bitness) { return bitness == 1 ? 64 : 32; }

bool SystemExcluded(std::uint32_t os_code, std::uint32_t excluded_mask) { return (os_code & excluded_mask) != 0; }

bool IsMasterInstallPath(WStringView install_path) { return EqualsIgnoreCase(install_path, u"<master>"); }

MasterVerdict JudgeMasterProduct(const MasterProduct& master, WStringView min_version, bool install_path_is_master) {
  if (!master.installed || (install_path_is_master && master.folder.empty())) return MasterVerdict::kMissing;
  if (!min_version.empty() && CompareVersions(VersionText(master.version), VersionText(min_version)) < 0)
    return MasterVerdict::kTooOld;
  return MasterVerdict::kOk;
}

NString TrimBlanks(NStringView text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return NString(text);
}

bool BelowDowngradeLimit(NStringView limit, NStringView new_version) {
  const NString trimmed = TrimBlanks(limit);
  return !trimmed.empty() && CompareVersions(new_version, trimmed) < 0;
}

bool UninstallFirstApplies(ProductFlags flags, WStringView limit, WStringView earlier_version) {
  if (!HasFlag(flags, product_flag::kUninstallEarlierFirst)) return false;
  if (IsBlank(limit)) return true;
  return CompareVersions(VersionText(earlier_version), VersionText(limit)) < 0;
}

InstallTypeDecision DecideInstallType(ProductFlags flags, WStringView earlier_version, WStringView new_version) {
  if (!HasFlag(flags, product_flag::kCompareVersions) || IsBlank(earlier_version) || IsBlank(new_version))
    return {InstallType::kReinstall, 3};
  const int order = CompareVersions(VersionText(earlier_version), VersionText(new_version));
  if (order == 0) return {InstallType::kReinstall, 4};
  if (order < 0) return {InstallType::kUpgrade, 5};
  return {InstallType::kDowngrade, 6};
}

WString EarlierInstallQuestion(WStringView message, WStringView folder, WStringView text7) {
  WString text(message);
  text += u"\r\n";
  text += folder;
  text += u"\r\n\r\n";
  text += text7;
  return text;
}

bool AsksEarlierInstallQuestion(bool automatic, bool silent, ProductFlags flags) {
  return !automatic && !silent && !HasFlag(flags, product_flag::kNoEarlierInstallQuestion);
}

bool OldVersionWarningApplies(ProductFlags flags, WStringView earlier_version, NStringView warning_limit) {
  if (!HasFlag(flags, product_flag::kWarnOldVersion) || IsBlank(earlier_version)) return false;
  return IsBlankNarrow(warning_limit) || CompareVersions(VersionText(earlier_version), warning_limit) < 0;
}

WString HandOverCommandLine(WStringView uninstall_command, WStringView own_command_line, bool silent) {
  WString line(uninstall_command);
  line += u" /r:\"";
  for (char16_t c : own_command_line) line += c == u'"' ? u'`' : c;
  line += u'"';
  if (silent) line += u" /silent";
  return line;
}

bool IsRegistryInstallPath(WStringView install_path) {
  return StartsWithIgnoreCase(install_path, u"HKLM\\") || StartsWithIgnoreCase(install_path, u"HKCU\\");
}

bool ParseRegistryValuePath(WStringView path, RegistryValuePath* out) {
  if (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
  RegistryValuePath parsed;
  if (!StripRoot(path, &parsed.root)) return false;
  const std::size_t last = path.rfind(u'\\');
  if (last == WStringView::npos || last + 1 >= path.size()) return false;
  parsed.key = WString(path.substr(0, last));
  parsed.value = WString(path.substr(last + 1));
  *out = std::move(parsed);
  return true;
}

WString RegistryFolderMissingText(WStringView path_setting) {
  return u"Failed to obtain installation path from \"" + WString(path_setting) + u"\"";
}

WString RegistryFolderAbsentText(WStringView folder, WStringView path_setting) {
  return u"Installation path \"" + WString(folder) + u"\" obtained from \"" + WString(path_setting) +
         u"\" does not exist.";
}

WString NormalizeFolderText(WStringView text) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') text = text.substr(1, text.size() - 2);
  WString folder(text);
  while (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
  if (folder.size() == 2 && folder[1] == u':') folder += u'\\';  // "C:" alone means the drive's current folder
  return folder;
}

WString DefaultInstallFolder(WStringView folder_option, WStringView install_path) {
  WString folder(folder_option.empty() ? install_path : folder_option);
  // A drive root keeps its backslash: "C:" alone would mean the drive's current folder.
  const bool drive_root = folder.size() == 3 && folder[1] == u':';
  if (!folder.empty() && folder.back() == u'\\' && !drive_root) folder.pop_back();
  return folder;
}

}  // namespace ks
