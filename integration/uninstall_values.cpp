#include "integration/uninstall_values.h"

#include <cstdio>
#include <limits>

#include "lib/registry_path.h"

namespace ks {

bool UninstallValue::operator==(const UninstallValue& o) const {
  return name == o.name && kind == o.kind && wide == o.wide && narrow == o.narrow && number == o.number &&
         remove == o.remove;
}

namespace {

// Collects the values in order; the helpers name the table's rules.
class ValueList {
 public:
  void Wide(const char* name, WString text, bool delete_empty = false) {
    const bool remove = delete_empty && text.empty();
    Add(name, RegValueKind::kWideString, std::move(text), {}, 0, remove);
  }
  void Narrow(const char* name, NString text, bool delete_empty = false) {
    const bool remove = delete_empty && text.empty();
    Add(name, RegValueKind::kNarrowString, {}, std::move(text), 0, remove);
  }
  void Dword(const char* name, std::uint32_t number, bool delete_zero = false) {
    Add(name, RegValueKind::kDword, {}, {}, number, delete_zero && number == 0);
  }
  void Qword(const char* name, std::uint64_t number) { Add(name, RegValueKind::kQword, {}, {}, number, false); }
  void Delete(const char* name, RegValueKind kind) { Add(name, kind, {}, {}, 0, true); }

  std::vector<UninstallValue> Take() { return std::move(values_); }

 private:
  void Add(const char* name, RegValueKind kind, WString wide, NString narrow, std::uint64_t number,
           bool remove) {
    UninstallValue v;
    v.name = name;
    v.kind = kind;
    v.wide = std::move(wide);
    v.narrow = std::move(narrow);
    v.number = number;
    v.remove = remove;
    values_.push_back(std::move(v));
  }
  std::vector<UninstallValue> values_;
};

NString SignedDecimal(std::int64_t value) { return std::to_string(value); }

// Row 34: what the uninstaller's own background window is drawn from.
void AddBackgroundValues(const InstallSettings& s, ProductFlags flags, ValueList& list) {
  list.Wide("DisplayTitle", s.display_title);
  list.Dword("TitleColor", s.title_color);
  list.Narrow("TitleSize", FormatSize(s.title_size));
  list.Dword("TopColor", s.top_color);
  if (s.mono_color) {
    list.Delete("BottomColor", RegValueKind::kDword);
  } else {
    list.Dword("BottomColor", s.bottom_color);
  }
  list.Dword("MonoColor", s.mono_color ? 1 : 0);
  list.Dword("TitleShadow", s.title_shadow);
  list.Dword("TitlePosition", s.title_position);
  list.Wide("TitleFont", s.title_font);
  list.Wide("CopyrightText", s.copyright_text);
  list.Wide("CopyrightFont", s.copyright_font);
  list.Narrow("CopyrightSize", FormatSize(s.copyright_size));
  list.Narrow("CopyrightColor", FormatColour(s.copyright_color));
  list.Dword("CopyrightPos", s.copyright_pos);
  if (HasFlag(flags, product_flag::kBackgroundBitmap) && !s.background_bitmap.empty()) {
    list.Dword("BitmapSize", s.bitmap_size);
    if (s.bitmap_tpi != 0) {
      list.Dword("BitmapTPI", s.bitmap_tpi);
    } else {
      list.Delete("BitmapTPI", RegValueKind::kDword);
    }
    list.Dword("StretchMode", s.stretch_mode);
  } else {
    list.Delete("BitmapSize", RegValueKind::kDword);
    list.Delete("BitmapTPI", RegValueKind::kDword);
    list.Delete("StretchMode", RegValueKind::kDword);
  }
}

void AddIdentityValues(const UninstallValueInput& in, ValueList& list) {
  const InstallSettings& s = *in.settings;
  const WString uninstaller = u"\"" + in.uninstaller_path + u"\"";
  list.Wide("UninstallString", UninstallCommand(in.uninstaller_path, s.uninstall_key_name));
  list.Wide("QuietUninstallString", uninstaller + u" /a " + UninstallArguments(s.uninstall_key_name));
  list.Wide("DisplayName", s.product_name);
  list.Wide("InstallSource", in.installer_path);
  list.Wide("Publisher", s.publisher, true);
  list.Dword("Bitness", s.bitness);
  list.Narrow("DisplayVersion", s.display_version_narrow, true);
  list.Narrow("NoDowngradeBelow", s.no_downgrade_below, true);
  if (!in.display_icon_path.empty()) list.Wide("DisplayIcon", in.display_icon_path);
  std::uint32_t major = 0, minor = 0;
  if (SplitProductVersion(s.display_version_narrow, &major, &minor)) {
    list.Dword("VersionMajor", major);
    list.Dword("VersionMinor", minor);
  }
}

void AddProductValues(const UninstallValueInput& in, ValueList& list) {
  const InstallSettings& s = *in.settings;
  list.Wide("ProductRegistry", s.product_registry, true);
  list.Wide("ProductStartMenu", in.start_menu_folder, true);
  list.Wide("SharedPath", in.shared_folder, true);
  list.Narrow("ProductFonts", in.font_list, true);
  list.Narrow("ProductFlags", SignedDecimal(static_cast<std::int64_t>(in.product_flags)));
  list.Narrow("ProductFlags2", SignedDecimal(static_cast<std::int32_t>(in.archive_flags)));
  list.Narrow("UninstallBatch1", s.uninstall_batch1, true);
  list.Narrow("UninstallBatch2", s.uninstall_batch2, true);
  list.Narrow("SharedFiles", in.shared_files, true);
  list.Wide("UninstallSubdir", s.uninstall_subdir, true);
  list.Wide("AddToPathSubfolder", s.add_to_path_subfolder, true);
  list.Dword("ShortcutMode", s.shortcut_mode, true);
  list.Narrow("NotifyURL", s.notify_url, true);
  list.Narrow("SupportOffer", s.support_offer, true);
  list.Wide("DesktopFolder", s.desktop_folder, true);
  list.Dword("UninstallFonts", s.uninstall_fonts);
  list.Dword("UninstallShared", s.uninstall_shared);
  list.Qword("Session", in.session);
}

void AddLookValues(const UninstallValueInput& in, ValueList& list) {
  const InstallSettings& s = *in.settings;
  std::uint32_t kib = 0;
  if (EstimatedSizeKiB(in.total_file_bytes, &kib)) {
    list.Dword("EstimatedSize", kib);
  } else {
    list.Delete("EstimatedSize", RegValueKind::kDword);
  }
  list.Wide("TaskbarText", s.taskbar_text);
  list.Wide("DialogFont", s.dialog_font);
  if (HasFlag(in.product_flags, product_flag::kDialogColours)) {
    list.Narrow("DialogFG", FormatColour(s.dialog_fg));
    list.Narrow("DialogBG", FormatColour(s.dialog_bg));
  }
  if (!HasFlag(in.product_flags, product_flag::kNoBackgroundWindow)) AddBackgroundValues(s, in.product_flags, list);
}

}  // namespace

WString UninstallArguments(WStringView key_name) {
  WString args = u"/u:\"";
  args.append(key_name);
  args += u'"';
  return args;
}

WString UninstallCommand(WStringView uninstaller_path, WStringView key_name) {
  WString command = u"\"";
  command.append(uninstaller_path);
  command += u"\" ";
  command += UninstallArguments(key_name);
  return command;
}

WString UninstallerFolderName(WStringView key_name) {
  // 64-bit FNV-1a over the UTF-16 units.
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char16_t c : key_name) {
    const char16_t folded = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    for (const unsigned byte : {folded & 0xFFu, static_cast<unsigned>(folded) >> 8}) {
      hash ^= byte;
      hash *= 0x100000001b3ULL;
    }
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  WString name(16, u'0');
  for (int i = 15; i >= 0; --i, hash >>= 4) name[static_cast<std::size_t>(i)] = static_cast<char16_t>(kDigits[hash & 0xF]);
  return name;
}

WString ChooseUninstallerPath(const WString& in_data_folder, const WString& own_folder) {
  if (in_data_folder.size() <= kMaxStartablePathLength || own_folder.empty()) return in_data_folder;
  const WString apart = own_folder + u"\\" + kUninstallerFileName;
  return apart.size() <= kMaxStartablePathLength ? apart : in_data_folder;
}

std::vector<UninstallValue> BuildUninstallValues(const UninstallValueInput& in) {
  ValueList list;
  AddIdentityValues(in, list);
  AddProductValues(in, list);
  AddLookValues(in, list);
  return list.Take();
}

namespace {

// The decimal number at the front of `text` (0 when it starts otherwise);
// saturates instead of overflowing.
std::uint32_t LeadingNumber(NStringView text) {
  std::uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    n = n * 10 + static_cast<unsigned>(c - '0');
    if (n > std::numeric_limits<std::uint32_t>::max()) return std::numeric_limits<std::uint32_t>::max();
  }
  return static_cast<std::uint32_t>(n);
}

// A signed decimal number as the 32 bits a DWORD stores ("-1" is 0xFFFFFFFF);
// reading stops at the first character that is not a digit.
std::uint32_t DecimalDword(WStringView text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  const bool negative = i < text.size() && text[i] == u'-';
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
  std::uint32_t n = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) n = n * 10u + (text[i] - u'0');
  return negative ? 0u - n : n;
}

}  // namespace

bool SplitProductVersion(NStringView version, std::uint32_t* major, std::uint32_t* minor) {
  const std::size_t dot = version.find('.');
  if (dot == NStringView::npos) return false;
  *major = LeadingNumber(version.substr(0, dot));
  *minor = LeadingNumber(version.substr(dot + 1));
  return true;
}

bool EstimatedSizeKiB(std::uint64_t total_bytes, std::uint32_t* kib) {
  const std::uint64_t quotient = total_bytes / 1024;
  if (quotient == 0 || quotient > std::numeric_limits<std::uint32_t>::max()) return false;
  *kib = static_cast<std::uint32_t>(quotient);
  return true;
}

NString FormatSize(double size) { return FormatRegDouble(size); }

NString FormatColour(std::uint32_t colour) {
  static const char kHex[] = "0123456789ABCDEF";
  NString text;
  for (int shift = 0; shift <= 16; shift += 8) {
    const unsigned part = (colour >> shift) & 0xFF;
    text += kHex[part >> 4];
    text += kHex[part & 0xF];
  }
  return text;
}

NString FormatInstallDate(int year, int month, int day) {
  const int length = std::snprintf(nullptr, 0, "%04d%02d%02d", year, month, day);
  NString text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%04d%02d%02d", year, month, day);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::vector<UninstallValue> ClosingUninstallValues(const WString& install_dir, NStringView install_date) {
  ValueList list;
  list.Wide("InstallLocation", install_dir);
  list.Narrow("InstallDate", NString(install_date));
  return list.Take();
}

int PlanExtraValues(const std::vector<ExtraUninstallValue>& extras, std::vector<ExtraValueWrite>* out) {
  out->clear();
  std::vector<ExtraValueWrite> writes;
  for (const ExtraUninstallValue& extra : extras) {
    ExtraValueWrite w;
    const std::size_t slash = extra.name.rfind('\\');
    if (slash != NString::npos) {
      w.key_path = AnsiToWide(NStringView(extra.name).substr(0, slash));
      w.value.name = extra.name.substr(slash + 1);
    } else {
      w.value.name = extra.name;
    }
    switch (extra.type) {
      case 1:
      case 2:
        w.value.kind = extra.type == 1 ? RegValueKind::kWideString : RegValueKind::kExpandString;
        w.value.wide = extra.data;
        w.value.remove = extra.data.empty();
        break;
      case 4:
        w.value.kind = RegValueKind::kDword;
        w.value.number = DecimalDword(extra.data);
        w.value.remove = w.value.number == 0;
        break;
      default:
        return kCorruptExtraValueType;
    }
    writes.push_back(std::move(w));
  }
  *out = std::move(writes);
  return 0;
}

void AppendExtraValueRemoval(WString& registry_text, const WString& key_path, const WString& value_name) {
  AppendRegistryRecord(registry_text, {key_path, value_name, u"", u"", u"2"});
}

std::vector<AutoCloseRule> UninstallationCloseRules(const std::vector<CloseProgramEntry>& entries) {
  constexpr std::uint8_t kAtUninstallation = 0x2;
  std::vector<AutoCloseRule> rules;
  for (const CloseProgramEntry& e : entries) {
    if ((e.when & kAtUninstallation) == 0) continue;
    AutoCloseRule rule;
    rule.class_pattern = e.class_pattern;
    rule.title_pattern = e.title_pattern;
    rule.display_name = e.display_name;
    rule.action = e.action;
    rule.pass_mask = e.action == 2 ? 4 : 2;
    rules.push_back(std::move(rule));
  }
  return rules;
}

}  // namespace ks
