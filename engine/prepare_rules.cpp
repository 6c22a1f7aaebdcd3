#include "engine/prepare_rules.h"

#include "engine/special_folders.h"

namespace ks {

WString RestorePointDescription(const WString& product_name, const WString& version) {
  WString text = product_name;
  if (!version.empty()) text += u' ' + version;
  if (text.size() > kRestorePointDescriptionMax) {
    text.resize(kRestorePointDescriptionMax);
    // A surrogate pair cut in half would leave a broken character.
    if (text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
  }
  return text;
}

SharedFolderBase ChooseSharedFolderBase(std::uint8_t choice, bool install_64bit) {
  switch (choice) {
    case 1: return SharedFolderBase::kCommonAppData;
    case 2: return SharedFolderBase::kCommonFilesDefault;
    case 3: return SharedFolderBase::kCommonFiles64;
    default: return install_64bit ? SharedFolderBase::kCommonFiles64 : SharedFolderBase::kCommonFilesDefault;
  }
}

bool IsAbsolutePath(WStringView path) {
  std::size_t start = 0;
  while (start < path.size() && path[start] == u' ') ++start;
  path.remove_prefix(start);
  if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') return true;
  const bool letter = path.size() >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
  return letter && path[1] == u':' && path[2] == u'\\';
}

WString SharedFolderName(const WString& shared_path, const WString& shared_folder_path) {
  return shared_folder_path.empty() ? shared_path : shared_folder_path;
}

WString SharedFolderFor(const SharedFolderInput& in) {
  if (!in.creates_uninstaller) return WString();
  if (in.portable && !in.portable_subfolder.empty()) return JoinPath(in.install_dir, in.portable_subfolder);
  if (IsAbsolutePath(in.name)) return in.name;
  return JoinPath(in.base, in.name);
}

WString DriveRootOf(const WString& path) {
  if (path.size() >= 2 && path[1] == u':') return path.substr(0, 2) + u'\\';
  if (path.compare(0, 2, u"\\\\") != 0) return WString();
  // \\server\share\ : the server and the share name.
  const std::size_t server_end = path.find(u'\\', 2);
  if (server_end == WString::npos || server_end == 2) return WString();
  const std::size_t share_end = path.find(u'\\', server_end + 1);
  if (share_end == server_end + 1) return WString();
  return (share_end == WString::npos ? path : path.substr(0, share_end)) + u'\\';
}

bool IsPortableDriveType(unsigned drive_type) {
  // DRIVE_REMOVABLE 2, DRIVE_CDROM 5, DRIVE_RAMDISK 6.
  return drive_type == 2 || drive_type == 5 || drive_type == 6;
}

ProductFlags FlagsAfterPortableRule(ProductFlags flags, bool portable) {
  if (portable && HasFlag(flags, product_flag::kPortableWithoutUninstaller))
    flags &= ~product_flag::kRegisterUninstaller;
  return flags;
}

WString WithoutTrailingBackslash(WString path) {
  while (path.size() > 1 && path.back() == u'\\') {
    if (path.size() == 3 && path[1] == u':') break;
    path.pop_back();
  }
  return path;
}

std::uint64_t RecordSpace(const RecordSpaceInput& in) {
  constexpr std::uint64_t kFixed = 64 * 1024;        // sections, texts, the header of the log
  constexpr std::uint64_t kLogLines = 256 * 1024;    // the step lines of Install.log
  constexpr std::uint64_t kUtf8 = 3;                 // bytes a character may take
  constexpr std::uint64_t kNameChars = 260;
  const std::uint64_t per_record = (std::uint64_t{in.install_dir_chars} + kNameChars) * kUtf8 + 8;
  return in.uninstaller_bytes + kFixed + kLogLines + per_record * in.file_records +
         std::uint64_t{in.registry_chars} * kUtf8 + in.icon_bytes;
}

}  // namespace ks
