#include "core/win/existing_installation.h"

#include <windows.h>

#include <mmsystem.h>

#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/win/fatal_error.h"
#include "core/win/report_error.h"
#include "core/win/terminate.h"
#include "engine/path_variables.h"
#include "engine/win/path_variables.h"
#include "integration/win/install_log_file.h"
#include "integration/win/reg_key.h"
#include "lib/win/fs_redirection.h"
#include "lib/win/os_version_query.h"
#include "lib/win/owned.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"
#include "uninstall/uninstall_data.h"

namespace ks {
namespace {

// The installer writes the Uninstall key in the 32-bit view (the engine is a
// 32-bit program); reading it in the same view keeps a 64-bit build of the
// same source in agreement with it.
constexpr REGSAM kUninstallRead = KEY_READ | KEY_WOW64_32KEY;
constexpr std::uint32_t kArchiveFlagRecordFolderPath = 0x2000;
constexpr wchar_t kSingleInstanceMutex[] = L"Kestrelon TKS";

bool Automatic() { return ReportsAutomatic(); }
bool Silent() { return TheStartOptions().silent; }

WString Text(int n) {
  WString text = LocalizedText(n);
  if (!text.empty()) return text;
  const char16_t* fallback = DefaultReportText(n);
  return fallback ? ProcessTexts().ReplacePlaceholders(fallback) : WString();
}

bool IsDirectory(const WString& path) {
  const DWORD attributes = ::GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const WString& path) {
  const DWORD attributes = ::GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

WString ReadString(RegKey& key, const char* name) {
  WString value;
  return key.GetString(name, &value) ? value : WString();
}

HKEY RootOf(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// The value a registry path such as "HKLM\Software\Maker\Path" names; empty
// when it cannot be read.
WString ReadRegistryPath(const WString& path, REGSAM view) {
  RegistryValuePath parsed;
  if (!ParseRegistryValuePath(path, &parsed)) return WString();
  RegKey key;
  if (key.Open(RootOf(parsed.root), parsed.key, kRegOpenOnly, KEY_READ | view) == kRegFailed) return WString();
  WString value;
  return key.GetString(parsed.value, &value) ? value : WString();
}

// A folder from the folder registry path: a path that names a file stands
// for the file's folder.
WString FolderFromRegistryPath(const WString& path) {
  WString folder = NormalizeFolderText(ReadRegistryPath(path, 0));
  if (!folder.empty() && IsFile(folder)) {
    const std::size_t slash = folder.find_last_of(u"\\/");
    folder = slash == WString::npos ? WString() : NormalizeFolderText(WStringView(folder).substr(0, slash + 1));
  }
  return folder;
}

[[noreturn]] void Refuse(int text_number, std::initializer_list<ReportArg> args, int exit_code) {
  ReportError(text_number, args);
  Terminate(exit_code);
}

// ---- steps 1 to 7 ---------------------------------------------------------------

void CheckBitness(const InstallSettings& settings) {
  if (BitnessFits(settings.bitness, GetSystemVersion().is_64bit)) return;
  if (!Automatic()) ReportError(81, {RequiredBits(settings.bitness)});
  Terminate(5);
}

// A 32-bit program on 64-bit Windows sees the 32-bit system folders unless
// redirection is off; a 64-bit product needs the real ones. A 64-bit build
// of the installer has no redirection to switch off.
void SwitchOffRedirection(const InstallSettings& settings) {
  if (settings.bitness != 1) return;
  if (!SwitchOffFsRedirection()) FatalError("Wow64DisableWow64FsRedirection() failed");
}

void CheckExcludedSystems(const InstallSettings& settings) {
  if (!SystemExcluded(GetOsCode(), settings.excluded_systems)) return;
  Refuse(61, {AnsiToWide(GetOsName(kOsNameNoServicePack | kOsNameNoEdition))}, 5);
}

MasterProduct LookUpMasterProduct(const WString& name) {
  MasterProduct master;
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, UninstallKeyPath(name), kRegOpenOnly, kUninstallRead) == kRegFailed)
    return master;
  master.installed = key.ValueExists("UninstallString") || key.ValueExists("QuietUninstallString");
  master.folder = NormalizeFolderText(ReadString(key, "InstallLocation"));
  master.version = ReadString(key, "DisplayVersion");
  return master;
}

void CheckMasterProduct(InstallSettings& settings) {
  if (!HasFlag(settings.product_flags, product_flag::kMasterProduct)) return;
  const MasterProduct master = LookUpMasterProduct(settings.master_product_name);
  const bool into_master = IsMasterInstallPath(settings.install_path);
  switch (JudgeMasterProduct(master, settings.master_min_version, into_master)) {
    case MasterVerdict::kMissing:
      Refuse(12, {settings.master_display_name}, 7);
    case MasterVerdict::kTooOld:
      Refuse(112, {settings.master_display_name, settings.master_min_version}, 7);
    case MasterVerdict::kOk:
      break;
  }
  if (into_master) settings.install_path = master.folder;
}

// The lock lives as long as the process; the system releases it at the end.
void TakeSingleInstanceLock(const InstallSettings& settings) {
  if (!HasFlag(settings.product_flags, product_flag::kSingleInstance)) return;
  static OwnedHandle mutex;
  mutex.reset(::CreateMutexW(nullptr, FALSE, kSingleInstanceMutex));
  if (!mutex) return;
  const DWORD wait = ::WaitForSingleObject(mutex.get(), 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return;
  Refuse(91, {}, 8);
}

void ReadEarlierInstallation(const InstallSettings& settings, std::uint32_t archive_flags) {
  if (!HasFlag(settings.product_flags, product_flag::kRegisterUninstaller)) return;
  EarlierInstallation& earlier = MutableExistingInstallation();
  earlier = EarlierInstallation{};
  earlier.key_path = UninstallKeyPath(settings.uninstall_key_name);
  if ((archive_flags & kArchiveFlagRecordFolderPath) && !settings.folder_registry_path.empty())
    ProcessUninstallData().RecordItem(WStringView(settings.folder_registry_path), kUninstallRegistryValue);
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, earlier.key_path, kRegOpenOnly, kUninstallRead) == kRegFailed) return;
  earlier.key_found = true;
  earlier.folder = NormalizeFolderText(ReadString(key, "InstallLocation"));
  earlier.version = ReadString(key, "DisplayVersion");
  earlier.version_narrow = WideToAnsi(earlier.version);
  earlier.shared_files = WideToAnsi(ReadString(key, "SharedFiles"));
  earlier.start_menu = ReadString(key, "ProductStartMenu");
  if (earlier.folder.empty() && !settings.folder_registry_path.empty())
    earlier.folder = FolderFromRegistryPath(settings.folder_registry_path);
  earlier.folder_exists = !earlier.folder.empty() && IsDirectory(earlier.folder);
}

void PlayStartSound(const InstallSettings& settings) {
  if (Automatic() || settings.start_sound.empty()) return;
  // The settings live until the end, so the sound's memory outlasts the playing.
  ::PlaySoundW(reinterpret_cast<LPCWSTR>(settings.start_sound.data()), nullptr,
               SND_MEMORY | SND_ASYNC | SND_NODEFAULT | SND_NOSTOP);
}

// ---- steps 9 to 11 --------------------------------------------------------------

WString FolderFromRegistry(const InstallSettings& settings) {
  const WString& setting = settings.install_path;
  // The registration writes this value through the default view; read it the same way.
  WString folder = ReadRegistryPath(setting, 0);
  if (folder.empty()) {
    ReportError(RegistryFolderMissingText(setting));
    Terminate(7);
  }
  ExpandPathVariables(folder);
  folder = NormalizeFolderText(folder);
  if (!IsDirectory(folder)) {
    ReportError(RegistryFolderAbsentText(folder, setting));
    Terminate(7);
  }
  return folder;
}

// Starts the earlier version's uninstaller in this program's place; it
// restarts this installer through "/r:" when it has finished.
[[noreturn]] void HandOverToUninstaller(InstallSettings& settings, const EarlierInstallation& earlier) {
  settings.automatic = false;
  SetReportsAutomatic(false);
  WString command;
  {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, earlier.key_path, kRegOpenOnly, kUninstallRead) != kRegFailed) {
      command = ReadString(key, "QuietUninstallString");
      if (command.empty()) command = ReadString(key, "UninstallString");
    }
  }
  if (command.empty()) Refuse(9, {}, 9);
  if (!Silent() && !AskQuestion(Text(9), Text(21), Text(104), Text(49))) ReportCancelled(9);
  WString line = HandOverCommandLine(command, FromW(::GetCommandLineW()), Silent());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, W(line), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    // Exit code 10 promises that the uninstaller runs; a command that cannot
    // be started is as good as a missing one.
    const DWORD error = ::GetLastError();
    ReportError(u"Failed to start \"" + command + u"\"\r\n" + SystemErrorText(error));
    Terminate(9);
  }
  OwnedHandle process(info.hProcess);
  OwnedHandle thread(info.hThread);
  Terminate(10);
}

void CheckDowngradeLimit(const InstallSettings& settings, const EarlierInstallation& earlier) {
  NString limit;
  {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, earlier.key_path, kRegOpenOnly, kUninstallRead) != kRegFailed)
      limit = TrimBlanks(WideToAnsi(ReadString(key, "NoDowngradeBelow")));
  }
  if (!BelowDowngradeLimit(limit, settings.display_version_narrow)) return;
  if (!Automatic()) ReportError(106, {AnsiToWide(limit)});
  Terminate(11);
}

void SettleInstallType(const InstallSettings& settings, const EarlierInstallation& earlier) {
  const InstallTypeDecision decision =
      DecideInstallType(settings.product_flags, earlier.version, settings.display_version);
  SetInstallType(decision.type);
  ProcessInstallLogContext().install_type = static_cast<int>(decision.type);
  ProcessInstallLogContext().overwritten_version = earlier.version;
  ThePathVariableInputs().existing = static_cast<ExistingInstallation>(decision.type);
  if (!AsksEarlierInstallQuestion(Automatic(), Silent(), settings.product_flags)) return;
  const WString question = EarlierInstallQuestion(Text(decision.message_text), earlier.folder, Text(7));
  if (!AskQuestion(question, Text(2), Text(90), Text(49))) ReportCancelled(12);
}

void WarnOldVersion(const InstallSettings& settings, const EarlierInstallation& earlier) {
  if (!OldVersionWarningApplies(settings.product_flags, earlier.version, settings.old_version_warning_limit))
    return;
  if (!AskYesNo(Text(72), Text(20))) ReportCancelledQuietly();
}

}  // namespace

void CheckInstallationAllowed(InstallSettings& settings, std::uint32_t archive_flags) {
  CheckBitness(settings);
  SwitchOffRedirection(settings);
  CheckExcludedSystems(settings);
  CheckMasterProduct(settings);
  TakeSingleInstanceLock(settings);
  ReadEarlierInstallation(settings, archive_flags);
  // An earlier installation whose folder is gone counts as none.
  if (TheExistingInstallation().usable()) ThePathVariableInputs().old_version = TheExistingInstallation().version;
  PlayStartSound(settings);
}

WString DecideInstallFolder(InstallSettings& settings, bool* folder_page) {
  *folder_page = false;
  WString folder;
  const EarlierInstallation& earlier = TheExistingInstallation();
  if (IsRegistryInstallPath(settings.install_path)) {
    folder = FolderFromRegistry(settings);
  } else if (HasFlag(settings.product_flags, product_flag::kRegisterUninstaller) && earlier.usable()) {
    if (UninstallFirstApplies(settings.product_flags, settings.uninstall_first_limit, earlier.version))
      HandOverToUninstaller(settings, earlier);
    CheckDowngradeLimit(settings, earlier);
    SettleInstallType(settings, earlier);
    WarnOldVersion(settings, earlier);
    folder = earlier.folder;
  } else {
    folder = DefaultInstallFolder(TheStartOptions().install_folder, settings.install_path);
    *folder_page = true;
  }
  // From here on the "/d:" option holds the installation folder itself.
  TheStartOptions().install_folder = folder;
  TheStartOptions().install_folder_ansi = WideToAnsi(folder);
  return folder;
}

}  // namespace ks
