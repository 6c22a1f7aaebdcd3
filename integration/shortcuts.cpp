#include "integration/shortcuts.h"

#include "core/report_text.h"
#include "engine/path_variables.h"
#include "integration/relative_path.h"
#include "lib/marked_text.h"

namespace ks {
namespace {

namespace pf = product_flag;

constexpr std::uint32_t kErrorInvalidParameter = 87;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

WString Trim(WStringView text, bool quotes) {
  const auto trimmed = [quotes](char16_t c) { return IsBlank(c) || (quotes && c == u'"'); };
  while (!text.empty() && trimmed(text.front())) text.remove_prefix(1);
  while (!text.empty() && trimmed(text.back())) text.remove_suffix(1);
  return WString(text);
}

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// "<base>\<name>" without doubling the separator; an empty base leaves the name.
WString JoinName(const WString& base, const WString& name) { return base.empty() ? name : JoinPath(base, name); }

// The folders a name with backslashes makes below `base`, the innermost first.
std::vector<WString> FoldersOfName(const WString& base, const WString& name) {
  std::vector<WString> folders;
  for (std::size_t at = name.rfind(u'\\'); at != WString::npos && at > 0; at = name.rfind(u'\\', at - 1)) {
    folders.push_back(JoinName(base, name.substr(0, at)));
  }
  return folders;
}

// What every shortcut of one record shares.
struct Prepared {
  WString target, arguments, start_in, icon, name;
  unsigned flags = 0;
  bool keep = false;
  bool uninstaller = false;
};

class ShortcutStep {
 public:
  ShortcutStep(const ShortcutStepInput& in, ShortcutSystem& system) : in_(in), sys_(system), log_(*in.log) {}

  void Run() {
    const WString uninstaller_icon = WriteUninstallerIcon();
    std::vector<ShortcutRecord> records = in_.records;
    AddGeneratedRecords(records, uninstaller_icon);
    const bool suppressed = in_.removable_drive && (in_.archive_flags & kArchiveFlagNoShortcutsOnRemovable);
    if (!suppressed) {
      for (const ShortcutRecord& r : records) CreateRecordShortcuts(r);
    }
    CreateRootShortcut();
    PinToTaskbar();
    Status(Text(78));
  }

 private:
  WString Text(int n) const { return in_.text ? in_.text(n) : WString(); }
  WString Expand(const WString& text) const { return in_.expand ? in_.expand(text) : text; }
  bool Has(ProductFlags bit) const { return HasFlag(in_.flags, bit); }
  void Status(const WString& text) const {
    if (in_.set_status) in_.set_status(text);
  }
  void Record(const WString& path, int kind) const {
    if (in_.uninstall) in_.uninstall->RecordItem(WStringView(path), kind);
  }
  WString Folder(SpecialFolder common, SpecialFolder user) const {
    return sys_.Folder(in_.all_users ? common : user);
  }
  void RecordFailure(const WString& text, const SystemOutcome& outcome) const {
    log_.AddFailure(FailureEntry(log_.failure_label(), text, outcome.error,
                                 outcome.error ? sys_.ErrorText(outcome.error) : WString()));
  }

  // The uninstaller's own icon, for its shortcuts; empty when none was written.
  WString WriteUninstallerIcon() {
    if (!Has(pf::kRegisterUninstaller) || in_.uninstaller_icon.empty()) return {};
    const WString path = JoinPath(in_.uninstall_dir, u"uninstall.ico");
    if (const std::uint32_t error = sys_.WriteFile(path, in_.uninstaller_icon)) {
      log_.WideF(u"Failed to install uninstaller icon to %s\r\n%s\r\n", path.c_str(), sys_.ErrorText(error).c_str());
      return {};
    }
    Record(path, kUninstallFile);
    return path;
  }

  void AddGeneratedRecords(std::vector<ShortcutRecord>& records, const WString& icon) const {
    if (Has(pf::kRegisterUninstaller)) {
      ShortcutRecord base;
      base.target = in_.uninstaller_path;
      base.arguments = in_.uninstall_arguments;
      base.name = Text(33);
      base.icon = icon;
      base.uninstaller_shortcut = true;
      if (Has(pf::kUninstallerShortcutInStartMenu)) {
        records.push_back(base);
        records.back().in_start_menu = 1;
      }
      if (Has(pf::kUninstallerShortcutOnDesktop)) {
        records.push_back(base);
        records.back().on_desktop = 1;
      }
      if (Has(pf::kUninstallerShortcutInDataFolder)) {
        records.push_back(base);
        records.back().other_folder = EncodeMarkedText(in_.uninstall_dir);
      }
      if (in_.archive_flags & kArchiveFlagUninstallerShortcutInInstallFolder) {
        records.push_back(base);
        records.back().other_folder = EncodeMarkedText(in_.install_dir);
      }
    }
    if (Has(pf::kInstallLogShortcut)) {
      ShortcutRecord log;
      log.in_start_menu = 1;
      log.target = in_.install_log_path;
      log.name = Text(86);
      records.push_back(log);
    }
  }

  Prepared Prepare(const ShortcutRecord& r) const {
    Prepared p;
    p.target = r.target;
    p.arguments = r.arguments;
    WString program, rest;
    if (SplitProgramFromArguments(r.arguments, program, rest)) {
      p.target = program;
      p.arguments = rest;
    }
    // Icons may name path variables like any other path of the settings.
    p.icon = AbsoluteAgainst(Expand(r.icon), in_.uninstall_dir);
    p.start_in = Trim(Expand(r.start_in), true);
    if (!p.start_in.empty() && !sys_.FolderExists(p.start_in)) {
      log_.ConcatW(u"Shortcut \"Start In\" folder \"", p.start_in.c_str(), u"\" doesn't exist.\r\n", nullptr);
    }
    if (p.start_in.empty()) p.start_in = in_.install_dir;
    if (r.from_archive) p.target = AbsoluteAgainst(Expand(p.target), in_.install_dir);
    p.name = r.name.empty() ? FormatReportText(Text(38), {FileNameOf(p.target)}) : r.name;
    if (in_.all_users) p.flags |= kLinkAllUsers;
    if (r.window_state == 1) p.flags |= kLinkMinimized;
    if (r.window_state == 2) p.flags |= kLinkMaximized;
    p.keep = r.keep != 0;
    p.uninstaller = r.uninstaller_shortcut;
    return p;
  }

  // Saves one link at `path` (".LNK" added when needed); the outcome, with
  // the final path in `path`.
  SystemOutcome Save(WString& path, const Prepared& p, unsigned flags) const {
    path = LinkFilePath(path);
    if (p.target.empty()) return SystemOutcome{false, kErrorInvalidParameter, false};
    LinkRequest request;
    request.path = path;
    request.target = p.target;
    request.arguments = p.arguments;
    request.start_in = p.start_in;
    request.icon = p.icon;
    request.flags = flags;
    return sys_.CreateLink(request);
  }

  // What follows a created shortcut: the progress text, the result line and
  // the records (the name's own folders too) unless it stays.
  void Created(const WString& path, const WString& base, const Prepared& p, const char16_t* kind) const {
    if (!Has(pf::kNoShortcutProgressText)) Status(path);
    log_.Result(kind, p.name, path);
    if (p.keep) return;
    Record(path, kUninstallFile);
    for (const WString& folder : FoldersOfName(base, p.name)) Record(folder, kUninstallFolder);
  }

  void LogFailure(const WString& path, const SystemOutcome& outcome) const {
    log_.Wide(FailureEntry(Text(31), path, outcome.error, outcome.error ? sys_.ErrorText(outcome.error) : WString()));
  }

  // Creates the shortcut at base\name; the result line's kind names it.
  void MakeShortcut(const WString& base, const Prepared& p, unsigned flags, const char16_t* kind) const {
    WString path = JoinName(base, p.name);
    const SystemOutcome outcome = Save(path, p, flags);
    if (outcome.done) {
      Created(path, base, p, kind);
    } else {
      LogFailure(path, outcome);
    }
  }

  void CreateRecordShortcuts(const ShortcutRecord& r) {
    const Prepared p = Prepare(r);
    if (r.on_desktop) OnDesktop(p);
    if (r.in_start_menu) InStartMenu(p);
    if (r.in_startup) InStartup(p);
    if (!r.other_folder.empty()) {
      MakeShortcut(Expand(DecodeMarkedText(r.other_folder)), p, p.flags, u"Shortcut");
    }
  }

  void OnDesktop(const Prepared& p) {
    const WString desktop = Folder(SpecialFolder::kCommonDesktop, SpecialFolder::kDesktop);
    if (in_.desktop_folder_name.empty()) {
      // Desktop shortcuts open in a normal window whatever the record asks.
      MakeShortcut(desktop, p, 0, u"Desktop Shortcut");
      return;
    }
    const WString folder = JoinPath(desktop, in_.desktop_folder_name);
    if (!desktop_folder_made_) {
      desktop_folder_made_ = true;
      MakeDesktopFolder(folder);
    }
    MakeShortcut(folder, p, p.flags, u"Desktop Folder Shortcut");
  }

  void MakeDesktopFolder(const WString& folder) {
    if (const std::uint32_t error = sys_.CreateFolder(folder)) {
      log_.WideF(u"Failed to create folder %s: %s\r\n\r\n", folder.c_str(), sys_.ErrorText(error).c_str());
    }
    Record(JoinPath(folder, u"Desktop.ini"), kUninstallFile);
    Record(folder, kUninstallFolder);
    if (in_.desktop_folder_icon.empty()) return;
    const WString icon = JoinPath(in_.uninstall_dir, u"Desktop Icon.ico");
    if (sys_.WriteFile(icon, in_.desktop_folder_icon) != 0) {
      log_.ConcatW(u"Failed to create Desktop shortcut folder icon \"", icon.c_str(), u"\"\r\n", nullptr);
      return;
    }
    sys_.WriteFolderIcon(folder, icon);
    Record(icon, kUninstallFile);
  }

  void InStartMenu(const Prepared& p) {
    const WString programs = Folder(SpecialFolder::kCommonPrograms, SpecialFolder::kPrograms);
    const WString base = JoinName(programs, in_.start_menu_name);
    WString path = JoinName(base, p.name);
    const SystemOutcome outcome = Save(path, p, p.flags);
    if (!outcome.done) {
      LogFailure(path, outcome);
      return;
    }
    Created(path, base, p, u"Start Menu Shortcut");
    if (!in_.all_users || !in_.start_menu_copy_for_user) return;
    const WString user_base = JoinName(sys_.Folder(SpecialFolder::kPrograms), in_.start_menu_name);
    WString second = JoinName(user_base, p.name);
    if (EqualsIgnoreCase(LinkFilePath(second), path)) return;
    if (Save(second, p, 0).done && !p.keep) {
      Record(second, kUninstallFile);
      for (const WString& folder : FoldersOfName(user_base, p.name)) Record(folder, kUninstallFolder);
    }
  }

  void InStartup(const Prepared& p) {
    const WString startup = Folder(SpecialFolder::kCommonStartup, SpecialFolder::kStartup);
    WString path = JoinName(startup, p.name);
    const SystemOutcome outcome = Save(path, p, p.flags);
    if (outcome.done) {
      Created(path, startup, p, u"Startup Shortcut");
    } else if (p.uninstaller) {
      LogFailure(path, outcome);
    } else {
      RecordFailure(path, outcome);
    }
  }

  void CreateRootShortcut() const {
    if (in_.root_command.empty() || !in_.removable_drive) return;
    const WString& dir = in_.install_dir;
    if (dir.size() < 2 || !IsDriveLetter(dir[0]) || dir[1] != u':') return;
    const WString name = Expand(in_.replace_placeholders ? in_.replace_placeholders(in_.root_name) : in_.root_name);
    const WString path = WString(1, dir[0]) + u":\\" + name + u".lnk";
    if (!Has(pf::kNoShortcutProgressText)) Status(path);
    Prepared p;
    SplitCommandLine(Expand(in_.root_command), p.target, p.arguments);
    p.start_in = in_.install_dir;
    WString saved = path;
    const SystemOutcome outcome = Save(saved, p, 0);
    if (outcome.crashed) {
      log_.AddFailure(u"Crash while installing root shortcut.\r\n");
    } else if (outcome.done) {
      log_.Result(u"Root Shortcut", name, saved);
      Record(saved, kUninstallFile);
    } else {
      RecordFailure(saved, outcome);
    }
  }

  void PinToTaskbar() const {
    if (in_.pin_command.empty() || in_.removable_drive || !in_.pin_supported) return;
    Prepared p;
    SplitPinCommand(Expand(in_.pin_command), p.target, p.arguments);
    const WString name =
        in_.pin_name.empty()
            ? in_.product_name
            : Expand(in_.replace_placeholders ? in_.replace_placeholders(in_.pin_name) : in_.pin_name);
    Status(u"Pin to taskbar");
    WString link = JoinPath(sys_.TemporaryFolder(), name + u".lnk");
    const SystemOutcome made = Save(link, p, 0);
    if (made.crashed) {
      log_.AddFailure(u"Crash while pinning to taskbar.\r\n");
      return;
    }
    if (!made.done) {
      RecordFailure(link, made);
      return;
    }
    const SystemOutcome pinned = sys_.PinToTaskbar(link);
    if (pinned.crashed) {
      log_.AddFailure(u"Crash while pinning to taskbar.\r\n");
    } else {
      log_.WideF(u"Pin to taskbar(%s): %s\r\n", p.target.c_str(), pinned.done ? u"OK" : u"FAIL");
      if (!pinned.done) log_.Wide(sys_.ErrorText(pinned.error) + u"\r\n");
    }
    sys_.RemoveFile(link);
    const WString pinned_path = JoinPath(sys_.Folder(SpecialFolder::kAppData),
                                         u"Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\" +
                                             name + u".lnk");
    Record(pinned_path, kUninstallFile);
  }

  const ShortcutStepInput& in_;
  ShortcutSystem& sys_;
  InstallLog& log_;
  bool desktop_folder_made_ = false;
};

}  // namespace

WString LinkFilePath(WStringView path) {
  WString lower(path);
  for (char16_t& c : lower) c = AsciiLower(c);
  if (lower.find(u".lnk") != WString::npos) return WString(path);
  return WString(path) + u".LNK";
}

WString LinkWorkingFolder(WStringView start_in) {
  WString folder = Trim(start_in, false);
  if (folder.size() == 2 && IsDriveLetter(folder[0]) && folder[1] == u':') folder += u'\\';
  return folder;
}

int LinkShowCommand(unsigned flags) {
  if (flags & kLinkMinimized) return kLinkShowMinimized;
  if (flags & kLinkMaximized) return kLinkShowMaximized;
  return 0;
}

bool SplitProgramFromArguments(WStringView arguments, WString& program, WString& rest) {
  if (arguments.size() < 2 || arguments[0] != u'~' || arguments[1] != u'"') return false;
  WString quoted;
  std::size_t i = 2;
  while (i < arguments.size()) {
    if (arguments[i] == u'"') {
      if (i + 1 < arguments.size() && arguments[i + 1] == u'"') {
        quoted += u'"';
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    quoted += arguments[i++];
  }
  program = Trim(quoted, true);
  rest = Trim(arguments.substr(i), false);
  return true;
}

void SplitCommandLine(WStringView command, WString& program, WString& arguments) {
  WString text = Trim(command, false);
  std::size_t end;
  if (!text.empty() && text[0] == u'"') {
    end = text.find(u'"', 1);
    program = text.substr(1, end == WString::npos ? WString::npos : end - 1);
    end = end == WString::npos ? text.size() : end + 1;
  } else {
    end = 0;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    program = text.substr(0, end);
  }
  arguments = Trim(WStringView(text).substr(end), false);
}

void SplitPinCommand(WStringView command, WString& program, WString& arguments) {
  if (command.empty() || command[0] != u'"') {
    program = WString(command);
    arguments.clear();
    return;
  }
  const std::size_t end = command.find(u'"', 1);
  if (end == WStringView::npos) {
    program = WString(command.substr(1));
    arguments.clear();
    return;
  }
  program = WString(command.substr(1, end - 1));
  arguments = Trim(command.substr(end + 1), false);
}

bool FolderIconNeedsUnicode(WStringView icon) {
  for (char16_t c : icon) {
    if (c > 127) return true;
  }
  return false;
}

bool TakesTaskbarPin(const SystemVersion& v) {
  if (v.platform != kPlatformNt) return false;
  const bool from_7 = v.major > 6 || (v.major == 6 && v.minor >= 1);
  return from_7 && v.major < 10;
}

bool CopiesStartMenuForUser(const SystemVersion& v) {
  return v.platform == kPlatformWin9x && v.major == 4 && (v.minor == 0 || v.minor == 10);
}

void CreateShortcuts(const ShortcutStepInput& in, ShortcutSystem& system) {
  ShortcutStep(in, system).Run();
}

}  // namespace ks
