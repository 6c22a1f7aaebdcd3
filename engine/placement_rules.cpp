#include "engine/placement_rules.h"

#include "engine/font_list.h"
#include "engine/path_variables.h"
#include "engine/special_folders.h"
#include "lib/marked_text.h"

namespace ks {
namespace {

constexpr std::int32_t kRuleNever = 4;
constexpr std::int32_t kRuleOnlyIfExists = 8;
constexpr std::int32_t kRuleOnlyIfMissing = 12;
constexpr std::int32_t kRuleUnlessNewer = 16;
constexpr std::int32_t kRuleNeverToo = 20;

bool IsValidKind(std::int32_t kind) { return kind >= 0 && kind <= 12 && kind != 2 && kind != 3; }
bool Keeps(const FileRecord& r) { return (r.flags & kRecordKeep) != 0; }

bool IsAbsolute(const WString& path) {
  if (!path.empty() && path[0] == u'\\') return true;
  return path.size() >= 2 && path[1] == u':';
}

WString CollapseTrailingBackslashes(WString path) {
  while (path.size() >= 2 && path.back() == u'\\' && path[path.size() - 2] == u'\\') path.pop_back();
  return path;
}

// The portable shared sub-folder takes only overrides that name a folder
// below it: no UNC path, no variable, and at least one backslash.
WString PortableOverride(const WString& override_path, const WString& subfolder) {
  std::size_t start = 0;
  while (start < override_path.size() && override_path[start] == u' ') ++start;
  const WString trimmed = override_path.substr(start);
  if (override_path.find(u'\\') == WString::npos) return WString();
  if (trimmed.rfind(u"\\\\", 0) == 0 || trimmed.rfind(u"%", 0) == 0) return WString();
  return IsAbsolute(override_path) ? override_path : JoinPath(subfolder, override_path);
}

const WString& KindFolder(std::int32_t kind, const PlacementFolders& f) {
  switch (kind) {
    case 1: return f.shared;
    case 4: return f.fonts;
    case 6: case 7: case 8: return f.system;
    default: return f.install;
  }
}

bool KindUsesInstallTree(std::int32_t kind) { return kind == 0 || kind == 5 || (kind >= 9 && kind <= 12); }

WString OverrideDestination(const FileRecord& r, WString override_path, const WString& relative,
                            const PlacementFolders& f) {
  if (f.expand) override_path = f.expand(override_path);
  override_path = CollapseTrailingBackslashes(override_path);
  if (!IsAbsolute(override_path)) override_path = JoinPath(r.kind == 1 ? f.shared : f.install, override_path);
  if (!override_path.empty() && override_path.back() == u'\\') override_path += FileNameOf(relative);
  return override_path;
}

}  // namespace

Destination ComputeDestination(const FileRecord& r, const PlacementFolders& f) {
  Destination d;
  if (!IsValidKind(r.kind)) {
    d.corrupt_code = kCorruptRecordKind;
    return d;
  }
  d.relative = DecodeMarkedText(r.name);
  WString override_path = r.destination;
  if (!override_path.empty() && override_path.find(u'\\') == WString::npos) d.relative = override_path;
  if (r.kind == 1 && f.portable && !f.portable_shared_subfolder.empty())
    override_path = PortableOverride(override_path, f.portable_shared_subfolder);
  if (!override_path.empty()) {
    d.path = OverrideDestination(r, override_path, d.relative, f);
    d.in_install_tree = true;
  } else if ((r.flags & kRecordInUninstallFolder) != 0) {
    d.path = JoinPath(f.uninstall_data, d.relative);
  } else {
    d.path = JoinPath(KindFolder(r.kind, f), d.relative);
    d.in_install_tree = KindUsesInstallTree(r.kind);
  }
  d.log_prefix = FileNameOf(d.relative) + u" >>> " + d.path;
  return d;
}

bool IsKindRecorded(std::int32_t kind, bool portable) {
  switch (kind) {
    case 0: case 5: case 9: case 10: case 11: case 12: return true;
    case 1: return portable;
    default: return false;
  }
}

NString FontListEntry(const FileRecord& r) { return FontListEntry(r.title, r.name); }

std::optional<NString> SharedFileEntry(const FileRecord& r, const WString& destination, bool portable) {
  const bool listed = r.kind == 6 || r.kind == 8 || ((r.kind == 1 || r.kind == 7) && !portable);
  if (!listed) return std::nullopt;
  NString entry = EncodeMarkedText(destination);
  if (Keeps(r) || r.kind == 6) entry += kSharedKeepMarker;
  else if (r.kind == 7) entry += kSharedComServerMarker;
  else if (r.kind == 8) entry += kSharedTypeLibraryMarker;
  return entry;
}

bool IsBlankText(NStringView text) {
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

namespace {

WString Sentence(const WString& prefix, const char16_t* tail) { return prefix + tail; }

// The existing-file rule; true when it decides (the record is skipped).
bool ApplyExistingRule(const FileRecord& r, const WString& prefix, const ExistingFile& e, bool portable,
                       PlacementDecision& out) {
  const std::int32_t rule = r.flags & kRecordExistingRuleMask;
  const bool removal = !Keeps(r) && IsKindRecorded(r.kind, portable);
  if (rule == kRuleNever || rule == kRuleNeverToo) return true;
  if (rule == kRuleOnlyIfExists && !e.exists) {
    out.log_line = Sentence(prefix, u" was not installed because it does not already exist.\r\n");
    return true;
  }
  if (rule == kRuleOnlyIfMissing && e.exists) {
    out.record_removal = removal;
    out.log_line = Sentence(prefix, u" was not installed because it already exists.\r\n");
    return true;
  }
  if (rule == kRuleUnlessNewer && e.exists && e.modified && e.modified->is_real() && r.date.is_real() &&
      CompareDates(*e.modified, r.date) > 0) {
    out.record_removal = removal;
    out.log_line = Sentence(prefix, u" was not installed because the existing file is newer.\r\n");
    return true;
  }
  return false;
}

// Kinds 6 to 9: version, then date. True when the record is skipped.
bool CheckVersionAndDate(const FileRecord& r, const WString& prefix, const ExistingFile& e, WString& reason,
                         PlacementDecision& out) {
  const bool record_on_skip = r.kind == 9 && !Keeps(r);
  if (!IsBlankText(r.title) && !IsBlankText(e.version)) {
    const WString mine = Utf8ToWide(r.title);
    const WString theirs = Utf8ToWide(e.version);
    if (CompareVersions(r.title, e.version) <= 0) {
      out.log_line = prefix + u" was not installed because its version (" + mine + u") is not newer than " +
                     theirs + u"\r\n";
      out.record_removal = record_on_skip;
      return true;
    }
    reason = u"its version (" + mine + u") is newer than " + theirs;
  }
  if (e.modified) {
    const WString mine = Widen(FormatRecordDate(r.date));
    const WString theirs = Widen(FormatRecordDate(*e.modified));
    if (CompareDates(r.date, *e.modified) <= 0) {
      out.log_line = prefix + u" was not installed because its date (" + mine + u") is not newer than " +
                     theirs + u".\r\n";
      out.record_removal = record_on_skip;
      return true;
    }
    if (!reason.empty()) reason += u" and ";
    reason += u"its date (" + mine + u") is newer than " + theirs;
  }
  return false;
}

}  // namespace

PlacementDecision DecidePlacement(const FileRecord& r, const WString& prefix, const ExistingFile& e,
                                  bool portable) {
  PlacementDecision out;
  out.existed = e.exists;
  if (ApplyExistingRule(r, prefix, e, portable, out)) return out;
  const bool checked = e.exists && (r.kind == 1 || r.kind == 4 || (r.kind >= 6 && r.kind <= 9));
  if (!checked) {
    out.place = true;
    return out;
  }
  WString reason;
  if (r.kind == 1 || r.kind == 4) {
    const bool up_to_date = r.date.is_real() && e.modified && CompareDates(*e.modified, r.date) >= 0;
    if (up_to_date) {
      out.log_line = prefix + u" is up to date.\r\n";
      out.record_removal = r.kind == 1 && portable && !Keeps(r);
      return out;
    }
  } else if (CheckVersionAndDate(r, prefix, e, reason, out)) {
    return out;
  }
  out.place = true;
  out.log_line = reason.empty() ? prefix + u" is out of date and will be replaced.\r\n"
                                : prefix + u" needs replacement because " + reason + u"\r\n";
  return out;
}

WString FolderFailureText(const WString& label, const WString& folder, const WString& reason,
                          const WString& destination) {
  return label + u" " + folder + u"\r\n" + reason + u"\r\n\r\nNot installed: " + destination + u"\r\n\r\n";
}

}  // namespace ks
