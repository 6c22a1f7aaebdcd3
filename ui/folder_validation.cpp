#include "ui/folder_validation.h"

#include "ui/wizard_rules.h"

namespace ks {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

WString Trimmed(WStringView text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return WString(text);
}

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool OnLocalDrive(WStringView folder) { return folder.size() >= 2 && IsDriveLetter(folder[0]) && folder[1] == u':'; }

bool IsUnc(WStringView folder) { return folder.size() >= 2 && folder[0] == u'\\' && folder[1] == u'\\'; }

WString DriveRoot(WStringView folder) { return WString(folder.substr(0, 2)) + u"\\"; }

WString WithoutTrailingSlash(WStringView path) {
  while (path.size() > 3 && path.back() == u'\\') path.remove_suffix(1);
  return WString(path);
}

// The elements after the root, split at backslashes.
std::vector<WStringView> Elements(WStringView rest) {
  std::vector<WStringView> out;
  while (!rest.empty()) {
    const std::size_t slash = rest.find(u'\\');
    out.push_back(rest.substr(0, slash));
    if (slash == WStringView::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return out;
}

bool ElementValid(WStringView element) {
  if (element.empty()) return false;
  bool blank = true;
  for (const char16_t c : element) {
    if (c < 0x20 || WStringView(u"<>:\"/|?*").find(c) != WStringView::npos) return false;
    if (!IsBlank(c)) blank = false;
  }
  return !blank;
}

bool IsAscii(WStringView text) {
  for (const char16_t c : text) {
    if (c > 0x7F) return false;
  }
  return true;
}

FolderVerdict Refuse(WString folder, int text, bool with_folder = false) {
  FolderVerdict v;
  v.kind = FolderVerdict::kRefuse;
  v.folder = std::move(folder);
  v.text = text;
  v.text_with_folder = with_folder;
  return v;
}

bool IsForbidden(const WString& folder, const FolderFacts& facts) {
  for (const WString& f : facts.forbidden) {
    if (!f.empty() && EqualsIgnoreCase(WithoutTrailingSlash(f), folder)) return true;
  }
  return false;
}

bool RefusedDriveKind(DriveKind kind) {
  return kind == DriveKind::kRemovable || kind == DriveKind::kCdRom || kind == DriveKind::kRamDisk;
}

}  // namespace

bool IsWellFormedFolder(WStringView folder) {
  WStringView rest;
  if (OnLocalDrive(folder)) {
    if (folder.size() == 2) return false;  // "C:" alone is relative to the drive's current folder
    if (folder[2] != u'\\') return false;
    rest = folder.substr(3);
    if (rest.empty()) return true;
  } else if (IsUnc(folder)) {
    rest = folder.substr(2);
    // Server and share at least.
    if (Elements(rest).size() < 2) return false;
  } else {
    return false;
  }
  for (const WStringView element : Elements(rest)) {
    if (!ElementValid(element)) return false;
  }
  return true;
}

bool IsSameOrAbove(WStringView folder, WStringView inner) {
  const WString outer = WithoutTrailingSlash(folder);
  const WString in = WithoutTrailingSlash(inner);
  if (outer.empty() || in.size() < outer.size()) return false;
  if (!StartsWithIgnoreCase(in, outer)) return false;
  return in.size() == outer.size() || outer.back() == u'\\' || in[outer.size()] == u'\\';
}

FolderVerdict ValidateFolder(WStringView entry, const FolderRules& rules, const FolderFacts& facts) {
  WString folder = Trimmed(entry);
  if (!folder.empty() && folder.back() == u'\\') folder.pop_back();
  if (folder.empty()) {
    FolderVerdict v;
    v.kind = FolderVerdict::kReopen;
    return v;
  }
  // A drive root loses its backslash above; the checks see it whole.
  const WString whole = folder.size() == 2 && OnLocalDrive(folder) ? folder + u"\\" : folder;
  if (!IsWellFormedFolder(whole) || IsForbidden(folder, facts)) return Refuse(folder, 14, true);
  const bool local = OnLocalDrive(folder);
  const DriveKind kind = local && facts.drive_kind ? facts.drive_kind(DriveRoot(folder)) : DriveKind::kOther;
  if (local && kind == DriveKind::kMissing) return Refuse(folder, 16);
  if (HasFlag(rules.flags, product_flag::kLocalFoldersOnly) && (IsUnc(folder) || kind == DriveKind::kNetwork)) {
    return Refuse(folder, 66);
  }
  if (folder.size() <= 3) return Refuse(folder, 17);
  for (const WString& program_files : facts.program_files) {
    if (!program_files.empty() && IsSameOrAbove(folder, program_files)) return Refuse(folder, 18);
  }
  if (local) {
    const bool read_only = facts.read_only && facts.read_only(DriveRoot(folder));
    const bool refused_kind =
        HasFlag(rules.flags, product_flag::kRefuseRemovableDrives) && RefusedDriveKind(kind);
    if (read_only || refused_kind) return Refuse(folder, 96);
  }
  if ((rules.archive_flags & archive_flag::kAsciiFolderOnly) && !IsAscii(folder)) return Refuse(folder, 30);
  FolderVerdict v;
  v.folder = folder;
  if (rules.new_installation && rules.interactive && local && facts.free_bytes) {
    const std::optional<std::uint64_t> free = facts.free_bytes(DriveRoot(folder));
    if (free && *free < rules.space_needed) {
      v.kind = FolderVerdict::kAskSpace;
      v.needed_kb = rules.space_needed / 1024;
      v.free_kb = *free / 1024;
    }
  }
  return v;
}

}  // namespace ks
