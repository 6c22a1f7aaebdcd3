#include "core/install_settings.h"

#include <algorithm>
#include <tuple>

namespace ks {

bool BuildDateRecord::operator==(const BuildDateRecord& o) const {
  return std::tie(year, month, day_of_week, day, hour, minute, second, milliseconds, reserved) ==
         std::tie(o.year, o.month, o.day_of_week, o.day, o.hour, o.minute, o.second, o.milliseconds,
                  o.reserved);
}
bool FileDeletion::operator==(const FileDeletion& o) const {
  return std::tie(path, condition, condition_value, flags) ==
         std::tie(o.path, o.condition, o.condition_value, o.flags);
}
bool FileAssociation::operator==(const FileAssociation& o) const {
  return std::tie(mode, extension, prog_id, description, verbs, verb_label, command, language, icon) ==
         std::tie(o.mode, o.extension, o.prog_id, o.description, o.verbs, o.verb_label, o.command,
                  o.language, o.icon);
}
bool ShortcutRecord::operator==(const ShortcutRecord& o) const {
  return std::tie(target, name, icon, arguments, start_in, on_desktop, in_start_menu, in_startup,
                  other_folder, window_state, keep, from_archive, uninstaller_shortcut) ==
         std::tie(o.target, o.name, o.icon, o.arguments, o.start_in, o.on_desktop, o.in_start_menu,
                  o.in_startup, o.other_folder, o.window_state, o.keep, o.from_archive,
                  o.uninstaller_shortcut);
}
bool ExtraUninstallValue::operator==(const ExtraUninstallValue& o) const {
  return std::tie(name, type, data) == std::tie(o.name, o.type, o.data);
}
bool CloseProgramEntry::operator==(const CloseProgramEntry& o) const {
  return std::tie(class_pattern, title_pattern, display_name, action, when) ==
         std::tie(o.class_pattern, o.title_pattern, o.display_name, o.action, o.when);
}

bool IsBlank(WStringView text) {
  for (char16_t c : text) {
    if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n') return false;
  }
  return true;
}

namespace {

WString ReplaceAll(WString text, WStringView what, WStringView with) {
  std::size_t at = 0;
  while ((at = text.find(what, at)) != WString::npos) {
    text.replace(at, what.size(), with);
    at += with.size();
  }
  return text;
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// A drive-qualified path ("C:\x", also "C:x", which a base cannot fix) or a
// UNC path; anything else is taken relative to the base.
bool IsAbsolutePath(WStringView path) {
  if (path.size() >= 2 && path[1] == u':') return true;
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

WString JoinPath(WString base, WStringView relative) {
  while (!relative.empty() && IsSeparator(relative.front())) relative.remove_prefix(1);
  if (relative.empty()) return base;
  if (base.empty()) return WString(relative);
  if (!IsSeparator(base.back())) base.push_back(u'\\');
  return base + WString(relative);
}

}  // namespace

WString ResolveInstallPath(const WString& field, const WString& product_name, std::uint8_t bitness,
                           const SettingsInput& input) {
  WString path = field;
  if (path.empty()) {
    path = product_name;
  } else {
    path = ReplaceAll(path, u"<os>", input.os_short_name);
    if (input.expand_path_variables) path = input.expand_path_variables(path);
  }
  // Resolved later from the master product or the registry.
  if (EqualsIgnoreCase(path, u"<master>") || StartsWithIgnoreCase(path, u"HKLM\\") ||
      StartsWithIgnoreCase(path, u"HKCU\\")) {
    return path;
  }
  if (IsAbsolutePath(path)) return path;
  return JoinPath(bitness == 1 ? input.program_files_64 : input.program_files, path);
}

// --- reader -----------------------------------------------------------------

namespace {

class FieldReader {
 public:
  FieldReader(SettingsReader& in, const SettingsInput& input, InstallSettings& s)
      : in_(in), input_(input), s_(s) {}

  void Head();
  int Product();
  int Documents();
  void WizardLook();
  void Background();
  void BatchesAndUrls();
  int Lists();

 private:
  int Deletions();
  int Associations();
  int Shortcuts();
  int ExtraValues();
  int ClosePrograms();
  WString OrProduct(WString value) const { return value.empty() ? s_.product_name : value; }

  SettingsReader& in_;
  const SettingsInput& input_;
  InstallSettings& s_;
};

void FieldReader::Head() {
  s_.product_flags = in_.U64();
  if (input_.silent) s_.product_flags = ApplySilentMode(s_.product_flags);
  s_.automatic_rule = in_.U8();
  s_.automatic = s_.automatic_rule == 1 ? true : s_.automatic_rule == 2 ? input_.silent : input_.automatic;
  s_.taskbar_text = in_.TextW();
  s_.display_title = in_.TextW();
  s_.title_size = in_.F64();
  s_.progress_page_option = in_.U32();
}

int FieldReader::Product() {
  s_.stage_display_time = in_.U16();
  if (s_.stage_display_time > kMaxStageDisplayTime) return 19;
  s_.shortcut_mode = in_.U8();
  BuildDateRecord& d = s_.build_date;
  for (std::uint16_t* v : {&d.year, &d.month, &d.day_of_week, &d.day, &d.hour, &d.minute, &d.second,
                           &d.milliseconds}) {
    *v = in_.U16();
  }
  const Bytes reserved = in_.Raw(d.reserved.size());
  std::copy(reserved.begin(), reserved.end(), d.reserved.begin());
  s_.publisher = in_.TextW();
  s_.product_name = in_.TextW();
  if (!input_.product_name_override.empty()) s_.product_name = input_.product_name_override;
  s_.description = OrProduct(in_.TextW());
  s_.bitness = in_.U8();
  s_.shared_folder_base = in_.U8();
  s_.shared_path = in_.TextW();
  if (s_.shared_path.empty()) s_.shared_path = IsBlank(s_.publisher) ? s_.product_name : s_.publisher;
  s_.shared_folder_path = in_.TextW();
  s_.product_start_menu = OrProduct(in_.TextW());
  s_.display_version = in_.TextW();
  s_.display_version_narrow = WideToAnsi(s_.display_version);
  s_.install_path = ResolveInstallPath(in_.TextW(), s_.product_name, s_.bitness, input_);
  s_.product_registry = in_.TextW();
  s_.registry_entries = in_.BlobW();
  s_.registry_merge = in_.Text();
  s_.app_path_text = in_.TextW();
  return 0;
}

int ReadDocumentList(SettingsReader& in, int corrupt_code, std::vector<Bytes>& out) {
  const std::uint32_t count = in.U32();
  if (count > kMaxDocuments) return corrupt_code;
  for (std::uint32_t i = 0; i < count && !in.failed(); ++i) out.push_back(in.Blob());
  return 0;
}

int FieldReader::Documents() {
  s_.bitmap_size = in_.U32();
  if (s_.bitmap_size > kMaxBitmapSize) return 39;
  s_.stretch_mode = in_.U32();
  s_.uninstall_fonts = in_.U32();
  s_.uninstall_shared = in_.U32();
  s_.information_link = in_.Text16W();
  if (int code = ReadDocumentList(in_, 24, s_.licence_documents)) return code;
  return ReadDocumentList(in_, 26, s_.readme_documents);
}

void FieldReader::WizardLook() {
  s_.uninstall_subdir = in_.TextW();
  s_.component_text = in_.Text8();
  s_.uninstall_key_name = in_.TextW();
  if (IsBlank(s_.uninstall_key_name)) s_.uninstall_key_name = s_.product_name;
  s_.folder_registry_path = in_.Text16W();
  s_.dialog_font = in_.Text16W();
  s_.dialog_font_size = in_.U32();
  s_.wizard_caption = in_.TextW();
  s_.side_picture_colour = in_.Colour();
  s_.side_picture_frame = in_.U8();
  s_.title_color = in_.Colour();
  s_.title_shadow = in_.U8();
  s_.title_position = in_.U8();
  s_.title_font = in_.Text16W();
  s_.top_color = in_.Colour();
  s_.bottom_color = in_.Colour();
  s_.mono_color = s_.bottom_color == s_.top_color;
}

void FieldReader::Background() {
  const std::uint32_t bitmap_length = in_.U32();
  if (bitmap_length > 0) {
    s_.background_bitmap = in_.Raw(bitmap_length);
    s_.bitmap_tpi = in_.U32();
  }
  s_.copyright_pos = in_.U8();
  if (s_.copyright_pos != 0) {
    s_.copyright_color = in_.Colour();
    s_.copyright_size = in_.F64();
    s_.copyright_text = in_.TextW();
    s_.copyright_font = in_.TextW();
  }
  if (HasFlag(s_.product_flags, product_flag::kDialogColours)) {
    s_.dialog_bg = in_.Colour();
    s_.dialog_fg = in_.Colour();
  }
  if (input_.archive_flags & kArchiveFlagSecondDialogColours) {
    s_.dialog_bg2 = in_.Colour();
    s_.dialog_fg2 = in_.Colour();
  }
  if (HasFlag(s_.product_flags, product_flag::kMasterProduct)) {
    s_.master_product_name = OrProduct(in_.TextW());
    s_.master_display_name = OrProduct(in_.TextW());
    s_.master_min_version = in_.TextW();
  }
}

void FieldReader::BatchesAndUrls() {
  s_.start_sound = in_.Text();
  s_.desktop_folder = in_.TextW();
  if (s_.desktop_folder.empty() && HasFlag(s_.product_flags, product_flag::kDesktopFolderIsProduct)) {
    s_.desktop_folder = s_.product_name;
  }
  s_.desktop_folder_icon = in_.Blob();
  for (NString* batch : {&s_.pre_install_batch, &s_.post_install_batch, &s_.exit_batch, &s_.uninstall_batch1,
                         &s_.uninstall_batch2, &s_.upgrade_batch, &s_.reinstall_batch}) {
    *batch = in_.TextA();
  }
  const Bytes reserved = in_.Raw(s_.reserved.size());
  std::copy(reserved.begin(), reserved.end(), s_.reserved.begin());
  s_.excluded_systems = in_.U32();
  s_.file_data_outside = in_.U8();
  s_.launch_on_exit = in_.TextW();
  s_.finishing_text1 = in_.TextW();
  s_.finishing_text2 = in_.TextW();
  for (NString* url : {&s_.start_url, &s_.begin_url, &s_.completion_url_new, &s_.completion_url_reinstall,
                       &s_.completion_url_upgrade, &s_.completion_url_downgrade, &s_.notify_url,
                       &s_.greeting_url, &s_.cancel_url, &s_.error_url}) {
    *url = in_.TextA();
  }
  s_.old_version_warning_limit = in_.ZText();
  s_.no_downgrade_below = in_.Text8();
  s_.password = in_.TextW();
  s_.uninstall_first_limit = in_.TextW();
  s_.firewall_text = in_.TextA();
  s_.add_to_path_subfolder = in_.TextW();
  for (std::uint32_t& style : s_.page_styles.values) style = in_.U32();
}

int FieldReader::Deletions() {
  for (;;) {
    FileDeletion d;
    d.path = in_.ZText();
    if (in_.failed() || d.path == kDeletionListEnd) return 0;
    if (s_.deletions.size() == kMaxSettingsRecords) return 38;
    d.condition = in_.U8();
    d.condition_value = in_.ZText();
    d.flags = in_.U8();
    s_.deletions.push_back(std::move(d));
  }
}

int FieldReader::Associations() {
  const std::uint32_t count = in_.U32();
  if (count > kMaxSettingsRecords) return 36;
  for (std::uint32_t i = 0; i < count && !in_.failed(); ++i) {
    FileAssociation a;
    a.mode = in_.U32();
    for (NString* text : {&a.extension, &a.prog_id, &a.description, &a.verbs, &a.verb_label}) {
      *text = in_.ZText();
    }
    a.command = in_.TextW();
    a.language = in_.ZTextW();
    a.icon = in_.TextW();
    s_.associations.push_back(std::move(a));
  }
  return 0;
}

int FieldReader::Shortcuts() {
  const std::uint32_t count = in_.U32();
  if (count > kMaxSettingsRecords) return 48;
  for (std::uint32_t i = 0; i < count && !in_.failed(); ++i) {
    ShortcutRecord r;
    for (WString* text : {&r.target, &r.name, &r.icon, &r.arguments, &r.start_in}) *text = in_.TextW();
    r.on_desktop = in_.U8();
    r.in_start_menu = in_.U8();
    r.in_startup = in_.U8();
    r.other_folder = in_.ZText();
    r.window_state = in_.U8();
    r.keep = in_.U8();
    r.from_archive = true;
    s_.shortcuts.push_back(std::move(r));
  }
  return 0;
}

int FieldReader::ExtraValues() {
  const std::uint32_t count = in_.U32();
  if (count > kMaxSettingsRecords) return 37;
  for (std::uint32_t i = 0; i < count && !in_.failed(); ++i) {
    ExtraUninstallValue v;
    v.name = in_.Text8();
    v.type = in_.U8();
    v.data = in_.TextW();
    s_.extra_uninstall_values.push_back(std::move(v));
  }
  return 0;
}

int FieldReader::ClosePrograms() {
  for (;;) {
    CloseProgramEntry e;
    e.class_pattern = in_.Text16W();
    if (in_.failed() || e.class_pattern == kCloseListEnd) return 0;
    if (s_.close_programs.size() == kMaxSettingsRecords) return 41;
    e.title_pattern = in_.Text16W();
    e.display_name = in_.Text16A();
    e.action = in_.U8();
    e.when = in_.U8();
    s_.close_programs.push_back(std::move(e));
  }
}

int FieldReader::Lists() {
  if (HasFlag(s_.product_flags, product_flag::kRegisterUninstaller)) s_.uninstaller_icon = in_.Blob();
  if (int code = Deletions()) return code;
  if (int code = Associations()) return code;
  if (int code = Shortcuts()) return code;
  s_.root_shortcut_command = in_.TextW();
  s_.root_shortcut_name = in_.TextW();
  s_.taskbar_pin_command = in_.ZTextW();
  s_.taskbar_pin_name = in_.ZTextW();
  if (int code = ExtraValues()) return code;
  s_.support_offer = in_.Text16A();
  s_.product_icon = in_.Blob();
  return ClosePrograms();
}

}  // namespace

int ReadInstallSettings(ByteReader stream, const SettingsInput& input, const SettingsReadHooks& hooks,
                        InstallSettings& settings, LocalizedTexts& texts) {
  settings = InstallSettings();
  SettingsReader in(stream);
  FieldReader fields(in, input, settings);
  fields.Head();
  if (hooks.after_field_6) {
    if (int code = hooks.after_field_6()) return code;
  }
  if (int code = fields.Product()) return code;
  if (int code = fields.Documents()) return code;
  fields.WizardLook();
  fields.Background();
  fields.BatchesAndUrls();
  if (int code = fields.Lists()) return code;
  if (int code = texts.Read(in)) return code;
  if (in.U32() != kSettingsEndValue || in.failed()) return 32;
  texts.SetPlaceholders(settings.product_name, settings.description, input.os_name);
  settings.wizard_caption = texts.ReplacePlaceholders(settings.wizard_caption);
  return 0;
}


// --- writer -----------------------------------------------------------------

namespace {

class FieldWriter {
 public:
  FieldWriter(const InstallSettings& s, std::uint32_t archive_flags, SettingsWriter& out)
      : s_(s), archive_flags_(archive_flags), out_(out) {}

  bool All() {
    Head();
    Product();
    Documents();
    WizardLook();
    Background();
    BatchesAndUrls();
    Lists();
    return ok_;
  }

 private:
  void Head();
  void Product();
  void Documents();
  void WizardLook();
  void Background();
  void BatchesAndUrls();
  void Lists();
  void Records();
  void Keep(bool written) { ok_ = ok_ && written; }

  const InstallSettings& s_;
  std::uint32_t archive_flags_;
  SettingsWriter& out_;
  bool ok_ = true;
};

void FieldWriter::Head() {
  out_.U64(s_.product_flags);
  out_.U8(s_.automatic_rule);
  Keep(out_.TextW(s_.taskbar_text));
  Keep(out_.TextW(s_.display_title));
  out_.F64(s_.title_size);
  out_.U32(s_.progress_page_option);
}

void FieldWriter::Product() {
  out_.U16(s_.stage_display_time);
  out_.U8(s_.shortcut_mode);
  const BuildDateRecord& d = s_.build_date;
  for (std::uint16_t v : {d.year, d.month, d.day_of_week, d.day, d.hour, d.minute, d.second, d.milliseconds}) {
    out_.U16(v);
  }
  out_.Raw(Bytes(d.reserved.begin(), d.reserved.end()));
  Keep(out_.TextW(s_.publisher));
  Keep(out_.TextW(s_.product_name));
  Keep(out_.TextW(s_.description));
  out_.U8(s_.bitness);
  out_.U8(s_.shared_folder_base);
  for (const WString* text : {&s_.shared_path, &s_.shared_folder_path, &s_.product_start_menu,
                              &s_.display_version, &s_.install_path, &s_.product_registry}) {
    Keep(out_.TextW(*text));
  }
  Keep(out_.BlobW(s_.registry_entries));
  Keep(out_.Text(s_.registry_merge));
  Keep(out_.TextW(s_.app_path_text));
}

void FieldWriter::Documents() {
  for (std::uint32_t v : {s_.bitmap_size, s_.stretch_mode, s_.uninstall_fonts, s_.uninstall_shared}) out_.U32(v);
  Keep(out_.Text16W(s_.information_link));
  for (const std::vector<Bytes>* list : {&s_.licence_documents, &s_.readme_documents}) {
    out_.U32(static_cast<std::uint32_t>(list->size()));
    for (const Bytes& doc : *list) Keep(out_.Blob(doc));
  }
}

void FieldWriter::WizardLook() {
  Keep(out_.TextW(s_.uninstall_subdir));
  Keep(out_.Text8(s_.component_text));
  Keep(out_.TextW(s_.uninstall_key_name));
  Keep(out_.Text16W(s_.folder_registry_path));
  Keep(out_.Text16W(s_.dialog_font));
  out_.U32(s_.dialog_font_size);
  Keep(out_.TextW(s_.wizard_caption));
  out_.Colour(s_.side_picture_colour);
  out_.U8(s_.side_picture_frame);
  out_.Colour(s_.title_color);
  out_.U8(s_.title_shadow);
  out_.U8(s_.title_position);
  Keep(out_.Text16W(s_.title_font));
  out_.Colour(s_.top_color);
  out_.Colour(s_.bottom_color);
}

void FieldWriter::Background() {
  out_.U32(static_cast<std::uint32_t>(s_.background_bitmap.size()));
  if (!s_.background_bitmap.empty()) {
    out_.Raw(s_.background_bitmap);
    out_.U32(s_.bitmap_tpi);
  }
  out_.U8(s_.copyright_pos);
  if (s_.copyright_pos != 0) {
    out_.Colour(s_.copyright_color);
    out_.F64(s_.copyright_size);
    Keep(out_.TextW(s_.copyright_text));
    Keep(out_.TextW(s_.copyright_font));
  }
  if (HasFlag(s_.product_flags, product_flag::kDialogColours)) {
    out_.Colour(s_.dialog_bg);
    out_.Colour(s_.dialog_fg);
  }
  if (archive_flags_ & kArchiveFlagSecondDialogColours) {
    out_.Colour(s_.dialog_bg2);
    out_.Colour(s_.dialog_fg2);
  }
  if (HasFlag(s_.product_flags, product_flag::kMasterProduct)) {
    for (const WString* text : {&s_.master_product_name, &s_.master_display_name, &s_.master_min_version}) {
      Keep(out_.TextW(*text));
    }
  }
}

void FieldWriter::BatchesAndUrls() {
  Keep(out_.Text(s_.start_sound));
  Keep(out_.TextW(s_.desktop_folder));
  Keep(out_.Blob(s_.desktop_folder_icon));
  for (const NString* batch : {&s_.pre_install_batch, &s_.post_install_batch, &s_.exit_batch,
                               &s_.uninstall_batch1, &s_.uninstall_batch2, &s_.upgrade_batch,
                               &s_.reinstall_batch}) {
    Keep(out_.TextA(*batch));
  }
  out_.Raw(Bytes(s_.reserved.begin(), s_.reserved.end()));
  out_.U32(s_.excluded_systems);
  out_.U8(s_.file_data_outside);
  for (const WString* text : {&s_.launch_on_exit, &s_.finishing_text1, &s_.finishing_text2}) {
    Keep(out_.TextW(*text));
  }
  for (const NString* url : {&s_.start_url, &s_.begin_url, &s_.completion_url_new,
                             &s_.completion_url_reinstall, &s_.completion_url_upgrade,
                             &s_.completion_url_downgrade, &s_.notify_url, &s_.greeting_url,
                             &s_.cancel_url, &s_.error_url}) {
    Keep(out_.TextA(*url));
  }
  Keep(out_.ZText(s_.old_version_warning_limit));
  Keep(out_.Text8(s_.no_downgrade_below));
  Keep(out_.TextW(s_.password));
  Keep(out_.TextW(s_.uninstall_first_limit));
  Keep(out_.TextA(s_.firewall_text));
  Keep(out_.TextW(s_.add_to_path_subfolder));
  for (std::uint32_t style : s_.page_styles.values) out_.U32(style);
}

void FieldWriter::Records() {
  for (const FileDeletion& d : s_.deletions) {
    Keep(out_.ZText(d.path));
    out_.U8(d.condition);
    Keep(out_.ZText(d.condition_value));
    out_.U8(d.flags);
  }
  Keep(out_.ZText(kDeletionListEnd));
  out_.U32(static_cast<std::uint32_t>(s_.associations.size()));
  for (const FileAssociation& a : s_.associations) {
    out_.U32(a.mode);
    for (const NString* text : {&a.extension, &a.prog_id, &a.description, &a.verbs, &a.verb_label}) {
      Keep(out_.ZText(*text));
    }
    Keep(out_.TextW(a.command));
    Keep(out_.ZTextW(a.language));
    Keep(out_.TextW(a.icon));
  }
  out_.U32(static_cast<std::uint32_t>(s_.shortcuts.size()));
  for (const ShortcutRecord& r : s_.shortcuts) {
    for (const WString* text : {&r.target, &r.name, &r.icon, &r.arguments, &r.start_in}) Keep(out_.TextW(*text));
    out_.U8(r.on_desktop);
    out_.U8(r.in_start_menu);
    out_.U8(r.in_startup);
    Keep(out_.ZText(r.other_folder));
    out_.U8(r.window_state);
    out_.U8(r.keep);
  }
}

void FieldWriter::Lists() {
  if (HasFlag(s_.product_flags, product_flag::kRegisterUninstaller)) Keep(out_.Blob(s_.uninstaller_icon));
  Records();
  Keep(out_.TextW(s_.root_shortcut_command));
  Keep(out_.TextW(s_.root_shortcut_name));
  Keep(out_.ZTextW(s_.taskbar_pin_command));
  Keep(out_.ZTextW(s_.taskbar_pin_name));
  out_.U32(static_cast<std::uint32_t>(s_.extra_uninstall_values.size()));
  for (const ExtraUninstallValue& v : s_.extra_uninstall_values) {
    Keep(out_.Text8(v.name));
    out_.U8(v.type);
    Keep(out_.TextW(v.data));
  }
  Keep(out_.Text16A(s_.support_offer));
  Keep(out_.Blob(s_.product_icon));
  for (const CloseProgramEntry& e : s_.close_programs) {
    Keep(out_.Text16W(e.class_pattern));
    Keep(out_.Text16W(e.title_pattern));
    Keep(out_.Text16A(e.display_name));
    out_.U8(e.action);
    out_.U8(e.when);
  }
  Keep(out_.Text16W(kCloseListEnd));
}

}  // namespace

bool WriteInstallSettings(const InstallSettings& settings, const LocalizedTexts& texts,
                          std::uint32_t archive_flags, SettingsWriter& out) {
  bool ok = FieldWriter(settings, archive_flags, out).All();
  ok = texts.Write(out) && ok;
  out.U32(kSettingsEndValue);
  return ok;
}

}  // namespace ks
