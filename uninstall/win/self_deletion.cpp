#include "uninstall/win/self_deletion.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "engine/win/path_variables.h"
#include "engine/win/reboot_replacement.h"
#include "engine/win/special_folders.h"
#include "integration/win/uninstall_registration.h"
#include "lib/end_of_process.h"
#include "lib/os_version.h"
#include "lib/win/file.h"
#include "lib/win/os_version_query.h"
#include "lib/win/owned.h"
#include "lib/win/process_start.h"
#include "lib/win/wide.h"
#include "uninstall/self_deletion_text.h"
#include "uninstall/uninstall_key.h"

namespace ks {
namespace {

constexpr DWORD kMaxExecutablePath = 1024;
// Enough fresh script names for any number of uninstallers finishing at once.
constexpr unsigned kScriptNameAttempts = 1000;

// A path longer than the room is left empty rather than cut: a cut path
// would make the script delete some other file.
WString OwnExecutablePath() {
  std::vector<wchar_t> buffer(kMaxExecutablePath + 1, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n > kMaxExecutablePath) return {};
  return FromW(buffer.data(), n);
}

WString CurrentFolder() {
  const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return {};
  std::vector<wchar_t> buffer(n, L'\0');
  const DWORD written = ::GetCurrentDirectoryW(n, buffer.data());
  return written == 0 || written >= n ? WString() : FromW(buffer.data(), written);
}

WString ScriptFolder() {
  const WString temp = SpecialFolderPath(SpecialFolder::kTemp);
  return temp.empty() ? CurrentFolder() : temp;
}

WString ShortPath(const WString& path) {
  const FsPath long_form(path);
  const DWORD n = ::GetShortPathNameW(long_form, nullptr, 0);
  if (n == 0) return path;
  std::vector<wchar_t> buffer(n, L'\0');
  const DWORD written = ::GetShortPathNameW(long_form, buffer.data(), n);
  return written == 0 || written >= n ? path : WithoutExtendedPrefix(FromW(buffer.data(), written));
}

// The short form of a path the script names: of the file itself, or, for
// the script that does not exist yet, of its folder with its name.
WString ShortFormForScript(const WString& path) {
  const WString whole = ShortPath(path);
  if (whole != path) return whole;
  const std::size_t cut = path.rfind(u'\\');
  if (cut == WString::npos) return path;
  return ShortPath(path.substr(0, cut)) + path.substr(cut);
}

bool UsesUtf8Console() {
  const SystemVersion& v = GetSystemVersion();
  return v.platform == kPlatformNt && (v.major > 6 || (v.major == 6 && v.minor >= 1));
}

bool IsBlank(const WString& text) { return text.find_first_not_of(u" \t\r\n") == WString::npos; }

WString Interpreter() {
  const std::optional<WString> comspec = ExpandEnvironmentText(u"%comspec%");
  if (comspec && !IsBlank(*comspec) && *comspec != u"%comspec%") return *comspec;
  const SystemVersion& v = GetSystemVersion();
  if (v.platform == kPlatformWin9x) return JoinPath(SpecialFolderPath(SpecialFolder::kWindows), u"command.com");
  return JoinPath(SpecialFolderPath(SpecialFolder::kSystem), u"cmd.exe");
}

bool StartHidden(const WString& script) {
  WString argument = ShortPath(script);
  if (argument.find(u' ') != WString::npos) argument = u"\"" + argument + u"\"";  // no 8.3 name
  WString command = u"\"" + Interpreter() + u"\" /c " + argument;
  // The script's own folder as working folder: a console sitting in the
  // installation folder would keep "rd" from removing it.
  WString folder = script.substr(0, script.rfind(u'\\') == WString::npos ? 0 : script.rfind(u'\\'));
  ProcessStart start;
  start.command_line = command;
  start.folder = folder;
  start.hidden = true;
  start.creation_flags = CREATE_NEW_CONSOLE;
  return StartProcess(start) == 0;
}

// When no script can name the paths exactly, the system removes the
// uninstaller, and the folders it leaves empty, at the next restart.
bool DeleteAtRestart(const WString& executable, const std::vector<WString>& folders) {
  if (executable.empty() || !ScheduleDeletion(executable)) return false;
  for (const WString& folder : folders) ScheduleDeletion(folder);
  return true;
}

// The folders the script removes once the uninstaller is gone. An
// uninstaller that lives apart (its installation folder was too deep for a
// command line to start it there) holds none of the product's folders open:
// it removes those now, through calls that take any length, and leaves the
// script its own folder and the uninstallers' folder, whose short paths the
// interpreter takes.
std::vector<WString> FoldersToRemove(const WString& executable, const WString& install_dir,
                                     const WString& uninstall_subdir) {
  const std::vector<WString> product_folders = SelfDeletionFolders(install_dir, uninstall_subdir);
  const WString own_folder = FolderOfFile(executable);
  const WString uninstallers = UninstallersFolder();
  if (executable.empty() || uninstallers.empty() || !EqualsIgnoreCase(FolderOfFile(own_folder), uninstallers))
    return product_folders;
  for (const WString& folder : product_folders) ::RemoveDirectoryW(FsPath(folder));
  return {own_folder, uninstallers};
}

}  // namespace

bool PrepareSelfDeletion(const WString& install_dir, const WString& uninstall_subdir) {
  const WString folder = ScriptFolder();
  const WString executable = OwnExecutablePath();
  const std::vector<WString> folders = FoldersToRemove(executable, install_dir, uninstall_subdir);
  const bool utf8 = UsesUtf8Console();
  for (unsigned n = 0; n < kScriptNameAttempts; ++n) {
    const WString script_path = JoinPath(folder, SelfDeletionScriptName(n));
    const std::optional<NString> bytes = EncodeSelfDeletionScript(
        BuildSelfDeletionScript(executable, folders, script_path,
                                [](const WString& path) { return ScriptPathName(path, ShortFormForScript(path)); }),
        utf8);
    if (!bytes) return DeleteAtRestart(executable, folders);
    // Whole or not at all, and never in another uninstaller's place. Not
    // flushed: the script runs at once or never, and a flush right after the
    // removal would wait for the disk to record all of it.
    const FileResult written =
        WriteFileAtomically(script_path, bytes->data(), bytes->size(), false, Durability::kUnflushed);
    if (written == kFileExists) continue;
    if (written != kFileSuccess) return false;
    SetTerminateStep(TerminateStep::kSelfRemoval, [script_path] { StartSelfDeletionScript(script_path); });
    return true;
  }
  return false;
}

void StartSelfDeletionScript(const WString& script) {
  if (script.empty()) return;
  if (StartHidden(script)) return;
  ::ShellExecuteW(nullptr, L"open", W(script), nullptr, nullptr, SW_HIDE);
}

}  // namespace ks
