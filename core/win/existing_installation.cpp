#include "core/win/existing_installation.h"

#include <windows.h>

#include <mmsystem.h>

#include "core/win/fatal_error.h"
#include "lib/win/fs_redirection.h"
#include "lib/win/os_version_query.h"
#include "lib/win/process_start.h"
#include "lib/win/reg_key.h"
#include "lib/win/system_error.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// The installer writes the Uninstall key in the 32-bit view (the engine is a
// 32-bit program); reading it in the same view keeps a 64-bit build of the
// same source in agreement with it.
constexpr REGSAM kUninstallRead = KEY_READ | KEY_WOW64_32KEY;
constexpr std::uint32_t kArchiveFlagRecordFolderPath = 0x2000;
constexpr wchar_t kSingleInstanceMutex[] = L"Kestrelon TKS";

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

HKEY RootOf(RegRoot root) {
  return root == RegRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
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
  WString folder = NormalizeFolderText(ReadRegistryPath(path, kRegOwnView));
  if (!folder.empty() && IsFile(folder)) {
    const std::size_t slash = folder.find_last_of(u"\\/");
    folder = slash == WString::npos ? WString() : NormalizeFolderText(WStringView(folder).substr(0, slash + 1));
  }
  return folder;
}

RunEnd Refuse(const Reports& reports, int text_number, std::initializer_list<ReportArg> args, int exit_code) {
  reports.Error(text_number, args);
  return exit_code;
}

// ---- steps 1 to 7 ---------------------------------------------------------------

RunEnd CheckBitness(const InstallSettings& settings, const Reports& reports) {
  if (BitnessFits(settings.bitness, GetSystemVersion().is_64bit)) return kGoOn;
  if (!reports.automatic()) reports.Error(81, {RequiredBits(settings.bitness)});
  return 5;
}

// A 32-bit program on 64-bit Windows sees the 32-bit system folders unless
// redirection is off; a 64-bit product needs the real ones. A 64-bit build
// of the installer has no redirection to switch off.
void SwitchOffRedirection(const InstallSettings& settings) {
  if (settings.bitness != 1) return;
  if (!SwitchOffFsRedirection()) FatalError("Wow64DisableWow64FsRedirection() failed");
}

RunEnd CheckExcludedSystems(const InstallSettings& settings, const Reports& reports) {
  if (!SystemExcluded(GetOsCode(), settings.excluded_systems)) return kGoOn;
  return Refuse(reports, 61, {AnsiToWide(GetOsName(kOsNameNoServicePack | kOsNameNoEdition))}, 5);
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

RunEnd CheckMasterProduct(InstallSettings& settings, const Reports& reports) {
  if (!HasFlag(settings.product_flags, product_flag::kMasterProduct)) return kGoOn;
  const MasterProduct master = LookUpMasterProduct(settings.master_product_name);
  const bool into_master = IsMasterInstallPath(settings.install_path);
  switch (JudgeMasterProduct(master, settings.master_min_version, into_master)) {
    case MasterVerdict::kMissing:
      return Refuse(reports, 12, {settings.master_display_name}, 7);
    case MasterVerdict::kTooOld:
      return Refuse(reports, 112, {settings.master_display_name, settings.master_min_version}, 7);
    case MasterVerdict::kOk:
      break;
  }
  if (into_master) settings.install_path = master.folder;
  return kGoOn;
}

// The lock is the run's; the run lives until the process ends.
RunEnd TakeSingleInstanceLock(const InstallSettings& settings, const Reports& reports, OwnedHandle& lock) {
  if (!HasFlag(settings.product_flags, product_flag::kSingleInstance)) return kGoOn;
  lock.reset(::CreateMutexW(nullptr, FALSE, kSingleInstanceMutex));
  if (!lock) return kGoOn;
  const DWORD wait = ::WaitForSingleObject(lock.get(), 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return kGoOn;
  return Refuse(reports, 91, {}, 8);
}

void ReadEarlierInstallation(const InstallSettings& settings, std::uint32_t archive_flags, UninstallData& uninstall,
                             EarlierInstallation& earlier) {
  if (!HasFlag(settings.product_flags, product_flag::kRegisterUninstaller)) return;
  earlier = EarlierInstallation{};
  earlier.key_path = UninstallKeyPath(settings.uninstall_key_name);
  if ((archive_flags & kArchiveFlagRecordFolderPath) && !settings.folder_registry_path.empty())
    uninstall.RecordItem(WStringView(settings.folder_registry_path), kUninstallRegistryValue);
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

void PlayStartSound(const InstallSettings& settings, bool automatic) {
  if (automatic || settings.start_sound.empty()) return;
  using PlaySoundFn = BOOL(WINAPI*)(LPCWSTR, HMODULE, DWORD);
  // winmm comes from the system folder, never from the installer's. It stays
  // loaded, like the settings whose memory holds the sound: the sound plays
  // on after the call returns.
  const HMODULE winmm = LoadSystemLibrary(L"winmm.dll").release();
  const auto play = ProcAddress<PlaySoundFn>(winmm, "PlaySoundW");
  if (play) play(reinterpret_cast<LPCWSTR>(settings.start_sound.data()), nullptr,
                 SND_MEMORY | SND_ASYNC | SND_NODEFAULT | SND_NOSTOP);
}

// ---- steps 9 to 11 --------------------------------------------------------------

RunEnd FolderFromRegistry(const InstallSettings& settings, const FolderDecisionInput& input, WString* folder) {
  const WString& setting = settings.install_path;
  // The registration writes this value in the engine's own view; read it the same way.
  WString found = ReadRegistryPath(setting, kRegOwnView);
  if (found.empty()) {
    input.reports->Error(RegistryFolderMissingText(setting));
    return 7;
  }
  if (input.expand) found = input.expand(found);
  found = NormalizeFolderText(found);
  if (!IsDirectory(found)) {
    input.reports->Error(RegistryFolderAbsentText(found, setting));
    return 7;
  }
  *folder = found;
  return kGoOn;
}

// Starts the earlier version's uninstaller in this program's place; it
// restarts this installer through "/r:" when it has finished.
int HandOverToUninstaller(InstallSettings& settings, const EarlierInstallation& earlier,
                          const FolderDecisionInput& input) {
  const Reports& reports = *input.reports;
  const bool silent = input.options->silent;
  settings.automatic = false;  // the run's reports follow it
  WString command;
  {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, earlier.key_path, kRegOpenOnly, kUninstallRead) != kRegFailed) {
      command = ReadString(key, "QuietUninstallString");
      if (command.empty()) command = ReadString(key, "UninstallString");
    }
  }
  if (command.empty()) return *Refuse(reports, 9, {}, 9);
  if (!silent && !reports.Ask(reports.Text(9), reports.Text(21), reports.Text(104), reports.Text(49)))
    return reports.Cancelled(9);
  ProcessStart start;
  start.command_line = HandOverCommandLine(command, FromW(::GetCommandLineW()), silent);
  if (const DWORD error = StartProcess(start)) {
    // Exit code 10 promises that the uninstaller runs; a command that cannot
    // be started is as good as a missing one.
    reports.Error(u"Failed to start \"" + command + u"\"\r\n" + SystemErrorText(error));
    return 9;
  }
  return 10;
}

RunEnd CheckDowngradeLimit(const InstallSettings& settings, const EarlierInstallation& earlier,
                           const Reports& reports) {
  NString limit;
  {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, earlier.key_path, kRegOpenOnly, kUninstallRead) != kRegFailed)
      limit = TrimBlanks(WideToAnsi(ReadString(key, "NoDowngradeBelow")));
  }
  if (!BelowDowngradeLimit(limit, settings.display_version_narrow)) return kGoOn;
  if (!reports.automatic()) reports.Error(106, {AnsiToWide(limit)});
  return 11;
}

RunEnd SettleInstallType(const InstallSettings& settings, const EarlierInstallation& earlier,
                         const FolderDecisionInput& input, InstallType* type) {
  const Reports& reports = *input.reports;
  const InstallTypeDecision decision =
      DecideInstallType(settings.product_flags, earlier.version, settings.display_version);
  *type = decision.type;
  if (!AsksEarlierInstallQuestion(reports.automatic(), input.options->silent, settings.product_flags)) return kGoOn;
  const WString question =
      EarlierInstallQuestion(reports.Text(decision.message_text), earlier.folder, reports.Text(7));
  if (!reports.Ask(question, reports.Text(2), reports.Text(90), reports.Text(49))) return reports.Cancelled(12);
  return kGoOn;
}

RunEnd WarnOldVersion(const InstallSettings& settings, const EarlierInstallation& earlier,
                      const Reports& reports) {
  if (!OldVersionWarningApplies(settings.product_flags, earlier.version, settings.old_version_warning_limit))
    return kGoOn;
  if (!reports.AskYesNo(reports.Text(72), reports.Text(20))) return reports.CancelledQuietly();
  return kGoOn;
}

}  // namespace

RunEnd CheckInstallationAllowed(InstallSettings& settings, std::uint32_t archive_flags, const Reports& reports,
                                UninstallData& uninstall, EarlierInstallationState& state) {
  if (RunEnd end = CheckBitness(settings, reports)) return end;
  SwitchOffRedirection(settings);
  if (RunEnd end = CheckExcludedSystems(settings, reports)) return end;
  if (RunEnd end = CheckMasterProduct(settings, reports)) return end;
  if (RunEnd end = TakeSingleInstanceLock(settings, reports, state.single_instance_lock)) return end;
  ReadEarlierInstallation(settings, archive_flags, uninstall, state.earlier);
  PlayStartSound(settings, reports.automatic());
  return kGoOn;
}

RunEnd DecideInstallFolder(InstallSettings& settings, const EarlierInstallation& earlier,
                           const FolderDecisionInput& input, FolderDecision* decision) {
  decision->folder_page = false;
  if (IsRegistryInstallPath(settings.install_path)) {
    if (RunEnd end = FolderFromRegistry(settings, input, &decision->folder)) return end;
  } else if (HasFlag(settings.product_flags, product_flag::kRegisterUninstaller) && earlier.usable()) {
    if (UninstallFirstApplies(settings.product_flags, settings.uninstall_first_limit, earlier.version))
      return HandOverToUninstaller(settings, earlier, input);
    if (RunEnd end = CheckDowngradeLimit(settings, earlier, *input.reports)) return end;
    if (RunEnd end = SettleInstallType(settings, earlier, input, &decision->install_type)) return end;
    if (RunEnd end = WarnOldVersion(settings, earlier, *input.reports)) return end;
    decision->folder = earlier.folder;
  } else {
    decision->folder = DefaultInstallFolder(input.options->install_folder, settings.install_path);
    decision->folder_page = true;
  }
  return kGoOn;
}

}  // namespace ks
