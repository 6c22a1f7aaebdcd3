#include "integration/file_associations.h"

#include "integration/relative_path.h"

namespace ks {
namespace {

bool IsBlankChar(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsBlankText(WStringView text) {
  for (char16_t c : text) {
    if (!IsBlankChar(c)) return false;
  }
  return true;
}

NStringView TrimNarrow(NStringView s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

WString Sub(const WString& key, const char16_t* name) { return key + u'\\' + name; }

// The default value of `key` becomes `text`; what it held before, when not
// empty and different, is kept under the backup value (an older backup is
// overwritten). True when the new value was written.
bool Replace(ClassesKeys& keys, const WString& key, const WString& backup, const WString& text) {
  const std::optional<WString> old = keys.Value(key, u"");
  if (old && !old->empty() && *old != text) keys.SetValue(key, backup, *old);
  return keys.SetValue(key, u"", text);
}

// The backup becomes the default value again and goes. True when there was one.
bool Restore(ClassesKeys& keys, const WString& key, const WString& backup) {
  const std::optional<WString> saved = keys.Value(key, backup);
  if (!saved) return false;
  if (!saved->empty()) keys.SetValue(key, u"", *saved);
  keys.DeleteValue(key, backup);
  return !saved->empty();
}

bool IsEmptyKey(ClassesKeys& keys, const WString& key) {
  return keys.SubKeys(key).empty() && keys.ValueNames(key).empty();
}

// Nothing below it and no value but (perhaps) the default one.
bool HoldsOnlyItsDefault(ClassesKeys& keys, const WString& key) {
  if (!keys.SubKeys(key).empty()) return false;
  for (const WString& name : keys.ValueNames(key)) {
    if (!name.empty()) return false;
  }
  return true;
}

class Associator {
 public:
  Associator(const AssociationStepInput& in, ClassesKeys& keys, UninstallData& data)
      : in_(in), keys_(keys), data_(data), log_(*in.log), backup_(AssociationBackupName(in.display_name)) {}

  void Record(const FileAssociation& r) {
    if (r.extension.empty()) return;
    if (!r.language.empty() && r.language != in_.language) return;
    const WString command = in_.expand ? in_.expand(r.command) : r.command;
    const WString extension = AnsiToWide(ExtensionKeyName(r.extension));
    const std::vector<NString> verbs = SplitVerbs(r.verbs);
    for (std::size_t i = 0; i < verbs.size(); ++i) Verb(r, extension, AnsiToWide(verbs[i]), command, i == 0);
  }

 private:
  // `first`: the record's first verb, the one mode 1 makes the type's default.
  void Verb(const FileAssociation& r, const WString& ext, const WString& verb, const WString& command, bool first) {
    const NString& field = r.prog_id;
    bool use_existing = field.empty() || field[0] == '!';
    WString prog_id = use_existing ? WString() : AnsiToWide(field);
    bool found_existing = false;
    bool extension_set = false;
    const bool opened = use_existing && field.empty() ? keys_.Exists(ext) : keys_.Create(ext);
    if (!opened && use_existing) {
      log_.ConcatW(u"Association failed/key inaccessible:  \"", ext.c_str(), u"\".\r\n\r\n", nullptr);
      return;
    }
    if (opened) {
      if (use_existing) {
        const WString current = keys_.Value(ext, u"").value_or(WString());
        if (!current.empty()) {
          prog_id = current;
          found_existing = true;
        } else if (!field.empty()) {
          prog_id = AnsiToWide(NStringView(field).substr(1));
          use_existing = false;
        } else {
          log_.ConcatW(u"Association failed/no label:  \"", ext.c_str(), u"\".\r\n\r\n", nullptr);
          return;
        }
      }
      if (!found_existing) {
        if (r.mode != 2) extension_set = Replace(keys_, ext, backup_, prog_id);
        if (!prog_id.empty() && (r.mode == 2 || EqualsIgnoreCase(verb, u"open"))) {
          const WString list = Sub(ext, u"OpenWithProgids");
          if (keys_.Create(list)) keys_.SetValue(list, prog_id, u"");
          log_.ConcatW(ext.c_str(), u" Open With ", command.c_str(), u"\r\n", nullptr);
        }
      }
    }
    WString icon;
    bool associated = false;
    if (!prog_id.empty() && keys_.Create(prog_id)) {
      const WString description = AnsiToWide(r.description);
      if (!use_existing && !IsBlankText(description)) Replace(keys_, prog_id, backup_, description);
      if (!r.icon.empty()) {
        icon = AbsoluteAgainst(in_.expand ? in_.expand(r.icon) : r.icon, in_.install_dir);
        const WString key = Sub(prog_id, u"DefaultIcon");
        if (keys_.Create(key)) Replace(keys_, key, backup_, icon);
      }
      const WString shell = Sub(prog_id, u"shell");
      if (keys_.Create(shell) && r.mode == 1 && first) Replace(keys_, shell, backup_, verb);
      const WString verb_key = shell + u'\\' + verb;
      if (keys_.Create(verb_key)) Replace(keys_, verb_key, backup_, AnsiToWide(r.verb_label));
      const WString command_key = Sub(verb_key, u"command");
      associated = keys_.Create(command_key) && Replace(keys_, command_key, backup_, command);
    }
    data_.AddAssociation(WideToAnsi(ext), WideToAnsi(prog_id), WideToAnsi(verb), icon);
    if (associated && extension_set) {
      log_.ConcatW(u"Associated ", ext.c_str(), u" with ", command.c_str(), u" (verb=", verb.c_str(), u")\r\n",
                   nullptr);
    }
    if (!associated) log_.AddFailure(u"Failed to associate file type:  \"" + ext + u"\".\r\n");
  }

  const AssociationStepInput& in_;
  ClassesKeys& keys_;
  UninstallData& data_;
  InstallLog& log_;
  const WString backup_;
};

void RemoveOne(const AssociationRecord& r, const WString& backup, ClassesKeys& keys) {
  const WString ext = AnsiToWide(r.extension);
  const WString prog_id = AnsiToWide(r.prog_id);
  const WString verb = AnsiToWide(r.verb);
  bool extension_restored = false;
  if (keys.Exists(ext)) {
    extension_restored = Restore(keys, ext, backup);
    const WString list = Sub(ext, u"OpenWithProgids");
    if (EqualsIgnoreCase(verb, u"open") && keys.Exists(list)) {
      keys.DeleteValue(list, prog_id);
      if (IsEmptyKey(keys, list)) keys.DeleteTree(list);
    }
  }
  bool type_gone = true;
  if (keys.Exists(prog_id)) {
    const bool type_restored = Restore(keys, prog_id, backup);
    if (!r.icon.empty()) {
      const WString icon = Sub(prog_id, u"DefaultIcon");
      if (keys.Exists(icon)) {
        if (!Restore(keys, icon, backup)) keys.DeleteValue(icon, u"");
        if (IsEmptyKey(keys, icon)) keys.DeleteTree(icon);
      }
    }
    const WString shell = Sub(prog_id, u"shell");
    if (keys.Exists(shell)) {
      // A default verb is the product's only when it names the verb taken away.
      if (!Restore(keys, shell, backup) && EqualsIgnoreCase(keys.Value(shell, u"").value_or(u""), verb)) {
        keys.DeleteValue(shell, u"");
      }
      const WString verb_key = shell + u'\\' + verb;
      const WString command = Sub(verb_key, u"command");
      if (keys.Exists(command) && Restore(keys, command, backup)) {
        Restore(keys, verb_key, backup);
      } else {
        keys.DeleteTree(verb_key);
      }
      if (IsEmptyKey(keys, shell)) keys.DeleteTree(shell);
    }
    // A type that was there before keeps its key; one the product made goes
    // once nothing but its description is left.
    type_gone = !type_restored && HoldsOnlyItsDefault(keys, prog_id);
    if (type_gone) keys.DeleteTree(prog_id);
  }
  // Without a previous owner the extension goes too, unless it still holds
  // what others put there.
  if (type_gone && !extension_restored && keys.Exists(ext)) {
    if (keys.Value(ext, u"") == std::optional<WString>(prog_id)) keys.DeleteValue(ext, u"");
    if (IsEmptyKey(keys, ext)) keys.DeleteTree(ext);
  }
}

}  // namespace

WString AssociationBackupName(WStringView display_name) {
  WString name;
  for (char16_t c : display_name) {
    if (c != u'\\' && c != u'\r' && c != u'\n' && c != u'\t') name += c;
  }
  return name + u" Backup";
}

NString ExtensionKeyName(NStringView extension) {
  if (!extension.empty() && extension[0] == '.') return NString(extension);
  return "." + NString(extension);
}

std::vector<NString> SplitVerbs(NStringView verbs) {
  std::vector<NString> out;
  std::size_t begin = 0;
  while (begin <= verbs.size()) {
    std::size_t end = verbs.find(',', begin);
    if (end == NStringView::npos) end = verbs.size();
    const NStringView verb = TrimNarrow(verbs.substr(begin, end - begin));
    if (!verb.empty()) out.emplace_back(verb);
    begin = end + 1;
  }
  return out;
}

void AssociateFiles(const AssociationStepInput& in, ClassesKeys& keys, UninstallData& data) {
  if (in.records.empty()) return;
  if (in.removable_drive && (in.archive_flags & kArchiveFlagNoAssociationsOnRemovable)) return;
  Associator associator(in, keys, data);
  for (const FileAssociation& r : in.records) associator.Record(r);
  if (in.notify_shell) in.notify_shell();
}

void RemoveAssociations(const std::vector<AssociationRecord>& records, WStringView display_name, ClassesKeys& keys) {
  const WString backup = AssociationBackupName(display_name);
  for (const AssociationRecord& r : records) RemoveOne(r, backup, keys);
}

}  // namespace ks
