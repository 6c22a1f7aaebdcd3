#include "engine/win/prepare_target.h"

#include <windows.h>

#include "engine/prepare_rules.h"
#include "engine/special_folders.h"
#include "engine/win/folder_rights.h"
#include "engine/win/reboot_replacement.h"
#include "engine/win/special_folders.h"
#include "lib/win/owned.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

void SetStatus(const PreparationInput& in, int text) {
  if (in.set_status) in.set_status(in.texts->Text(text));
}

void SetProgress(const PreparationInput& in, int position) {
  if (in.set_progress) in.set_progress(position);
}

bool OnPortableDrive(const WString& install_dir) {
  const WString root = DriveRootOf(install_dir);
  return !root.empty() && IsPortableDriveType(::GetDriveTypeW(W(root)));
}

bool FolderExists(const WString& path) {
  const DWORD attributes = ::GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool GrantsRights(const InstallSettings& settings) {
  return HasFlag(settings.product_flags, product_flag::kGrantFolderRights);
}

// Step 1: the installation folder as every later step uses it.
void FixInstallFolder(const InstallSettings& settings, InstallChoices& choices) {
  choices.install_dir = WithoutTrailingBackslash(InstallFolderOf(settings, choices));
  choices.portable = OnPortableDrive(choices.install_dir);
}

// Step 2. The name chosen is relative; taken as it stands it would name a
// folder under whatever the current directory is. The rights go to the
// Start-menu folder it names, when that exists already (an earlier
// installation's); a new one is made later with the shortcuts.
void GrantStartMenuRights(const PreparationInput& in, const InstallSettings& settings,
                          const InstallChoices& choices) {
  const WString& name = StartMenuNameOf(settings, choices);
  if (!GrantsRights(settings) || name.empty()) return;
  const SpecialFolder base = settings.shortcut_mode == 1 ? SpecialFolder::kCommonPrograms : SpecialFolder::kPrograms;
  const WString folder = JoinPath(SpecialFolderPath(base), name);
  if (FolderExists(folder)) GrantFolderRights(folder, *in.log);
}

// Step 4.
void BeginRestorePoint(const PreparationInput& in, const InstallSettings& settings, std::uint32_t& archive_flags) {
  if (!(archive_flags & kArchiveRestorePoint)) return;
  SetStatus(in, 97);
  InstallLog& log = *in.log;
  log.Text("Creating restore point...");
  WString error;
  if (in.restore_point->Create(RestorePointDescription(settings.product_name, settings.display_version), &error)) {
    log.Text(kLogOk);
    return;
  }
  log.Text(kLogFailed);
  log.ConcatW(error.c_str(), u"\r\n\r\n", nullptr);
  archive_flags &= ~kArchiveRestorePoint;
}

void CreateFolderOrLog(InstallLog& log, const WString& folder, const char16_t* what) {
  const DWORD error = CreateFolderTree(folder);
  if (error == 0) return;
  log.ConcatW(u"Failed to create ", what, u" \"", folder.c_str(), u"\": ", SystemErrorText(error).c_str(),
             u"\r\n\r\n", nullptr);
}

// Step 6.
void FixUninstallFolder(const PreparationInput& in, const InstallSettings& settings, InstallChoices& f) {
  f.uninstall_dir = UninstallFolderPath(f.install_dir, settings.uninstall_subdir);
  if (GrantsRights(settings) && !f.install_dir.empty()) GrantFolderRights(f.install_dir, *in.log);
  if (!settings.uninstall_subdir.empty()) CreateFolderOrLog(*in.log, f.uninstall_dir, u"uninstall data folder");
}

WString SharedFolderBasePath(const InstallSettings& settings) {
  switch (ChooseSharedFolderBase(settings.shared_folder_base, settings.bitness == 1)) {
    case SharedFolderBase::kCommonAppData: return SpecialFolderPath(SpecialFolder::kCommonAppData);
    case SharedFolderBase::kCommonFiles64: return CommonFilesFolder(kFolderMode64);
    case SharedFolderBase::kCommonFilesDefault: break;
  }
  return CommonFilesFolder(kFolderModeDefault);
}

// Steps 7 and 8.
void FixSharedFolder(const PreparationInput& in, const InstallSettings& settings, InstallChoices& f) {
  SharedFolderInput shared;
  shared.creates_uninstaller = HasFlag(settings.product_flags, product_flag::kRegisterUninstaller);
  shared.portable = f.portable;
  shared.install_dir = f.install_dir;
  shared.portable_subfolder = in.portable_shared_subfolder;
  shared.name = SharedFolderName(settings.shared_path, settings.shared_folder_path);
  if (shared.creates_uninstaller) shared.base = SharedFolderBasePath(settings);
  f.shared_dir = SharedFolderFor(shared);
  if (f.shared_dir.empty()) return;
  CreateFolderOrLog(*in.log, f.shared_dir, u"shared folder");
  if (GrantsRights(settings) && HasFlag(settings.product_flags, product_flag::kGrantSharedFolderRights))
    GrantFolderRights(f.shared_dir, *in.log);
}

}  // namespace

bool ProcessLacksAdminRights() {
  HANDLE handle = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &handle)) return false;
  const OwnedHandle token(handle);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
         elevation.TokenIsElevated == 0;
}

void PrepareTarget(const PreparationInput& in, InstallSettings& settings, std::uint32_t& archive_flags,
                   InstallChoices& choices) {
  FixInstallFolder(settings, choices);
  GrantStartMenuRights(in, settings, choices);
  if (ProcessLacksAdminRights()) in.log->Text("Warning: the installer does not have admin rights.\r\n\r\n");
  BeginRestorePoint(in, settings, archive_flags);
  SetStatus(in, 113);
  SetProgress(in, 1);
  FixUninstallFolder(in, settings, choices);
  FixSharedFolder(in, settings, choices);
  settings.product_flags = FlagsAfterPortableRule(settings.product_flags, choices.portable);
  RunPreparationBatches(*in.batches, settings, archive_flags, in.pre_installation_addition, choices.install_type,
                        in.earlier_folder_exists);
  SetStatus(in, 8);
  SetProgress(in, 2);
}

}  // namespace ks
