#include "engine/win/prepare_target.h"

#include <windows.h>

#include "core/localized_texts.h"
#include "engine/path_variables.h"
#include "engine/prepare_rules.h"
#include "engine/special_folders.h"
#include "engine/win/folder_rights.h"
#include "engine/win/reboot_replacement.h"
#include "engine/win/restore_point.h"
#include "engine/win/run_batch.h"
#include "engine/win/special_folders.h"
#include "integration/install_log.h"
#include "integration/win/install_log_file.h"
#include "lib/marked_text.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

PreparedFolders& Folders() {
  static PreparedFolders folders;
  return folders;
}

void SetStatus(const PreparationInput& in, int text) {
  if (in.set_status) in.set_status(LocalizedText(text));
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
void FixInstallFolder(const PreparationInput& in, PreparedFolders& f) {
  f.install_dir = WithoutTrailingBackslash(in.install_dir);
  f.install_dir_marked = EncodeMarkedText(f.install_dir);
  f.portable = OnPortableDrive(f.install_dir);
}

// Step 2. The name chosen is relative; taken as it stands it would name a
// folder under whatever the current directory is. The rights go to the
// Start-menu folder it names, when that exists already (an earlier
// installation's); a new one is made later with the shortcuts.
void GrantStartMenuRights(const PreparationInput& in, const InstallSettings& settings) {
  if (!GrantsRights(settings) || in.start_menu_name.empty()) return;
  const SpecialFolder base = in.all_users ? SpecialFolder::kCommonPrograms : SpecialFolder::kPrograms;
  const WString folder = JoinPath(SpecialFolderPath(base), in.start_menu_name);
  if (FolderExists(folder)) GrantFolderRights(folder);
}

// Step 4.
void BeginRestorePoint(const PreparationInput& in, const InstallSettings& settings, std::uint32_t& archive_flags) {
  if (!(archive_flags & kArchiveRestorePoint)) return;
  SetStatus(in, 97);
  LogText("Creating restore point...");
  WString error;
  if (CreateRestorePoint(RestorePointDescription(settings.product_name, settings.display_version), &error)) {
    LogText(kLogOk);
    return;
  }
  LogText(kLogFailed);
  LogConcatW(error.c_str(), u"\r\n\r\n", nullptr);
  archive_flags &= ~kArchiveRestorePoint;
}

void CreateFolderOrLog(const WString& folder, const char16_t* what) {
  const DWORD error = CreateFolderTree(folder);
  if (error == 0) return;
  LogConcatW(u"Failed to create ", what, u" \"", folder.c_str(), u"\": ", SystemErrorText(error).c_str(),
             u"\r\n\r\n", nullptr);
}

// Step 6.
void FixUninstallFolder(const InstallSettings& settings, PreparedFolders& f) {
  f.uninstall_dir = UninstallFolderPath(f.install_dir, settings.uninstall_subdir);
  f.uninstall_dir_marked = EncodeMarkedText(f.uninstall_dir);
  if (GrantsRights(settings) && !f.install_dir.empty()) GrantFolderRights(f.install_dir);
  if (!settings.uninstall_subdir.empty()) CreateFolderOrLog(f.uninstall_dir, u"uninstall data folder");
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
void FixSharedFolder(const PreparationInput& in, const InstallSettings& settings, PreparedFolders& f) {
  SharedFolderInput shared;
  shared.creates_uninstaller = HasFlag(settings.product_flags, product_flag::kRegisterUninstaller);
  shared.portable = f.portable;
  shared.install_dir = f.install_dir;
  shared.portable_subfolder = in.portable_shared_subfolder;
  shared.name = SharedFolderName(settings.shared_path, settings.shared_folder_path);
  if (shared.creates_uninstaller) shared.base = SharedFolderBasePath(settings);
  f.shared_dir = SharedFolderFor(shared);
  if (f.shared_dir.empty()) return;
  CreateFolderOrLog(f.shared_dir, u"shared folder");
  if (GrantsRights(settings) && HasFlag(settings.product_flags, product_flag::kGrantSharedFolderRights))
    GrantFolderRights(f.shared_dir);
}

void PublishToPathVariables(const PreparedFolders& f) {
  PathVariableInputs& vars = ThePathVariableInputs();
  vars.install_dir = f.install_dir;
  vars.uninstall_dir = f.uninstall_dir;
  vars.shared_dir = f.shared_dir;
  vars.portable = f.portable;
}

}  // namespace

const PreparedFolders& ThePreparedFolders() { return Folders(); }

PreparationInput PreparationInputFor(const WString& install_dir, const InstallSettings& settings) {
  const PathVariableInputs& vars = ThePathVariableInputs();
  PreparationInput in;
  in.install_dir = install_dir;
  in.start_menu_name = vars.start_menu_name.empty() ? settings.product_start_menu : vars.start_menu_name;
  in.all_users = vars.all_users;
  return in;
}

bool ProcessLacksAdminRights() {
  HANDLE handle = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &handle)) return false;
  const OwnedHandle token(handle);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
         elevation.TokenIsElevated == 0;
}

void PrepareTarget(const PreparationInput& in, InstallSettings& settings, std::uint32_t& archive_flags) {
  PreparedFolders& f = Folders();
  FixInstallFolder(in, f);
  PublishToPathVariables(f);
  GrantStartMenuRights(in, settings);
  if (ProcessLacksAdminRights()) LogText("Warning: the installer does not have admin rights.\r\n\r\n");
  BeginRestorePoint(in, settings, archive_flags);
  SetStatus(in, 113);
  SetProgress(in, 1);
  FixUninstallFolder(settings, f);
  FixSharedFolder(in, settings, f);
  PublishToPathVariables(f);
  settings.product_flags = FlagsAfterPortableRule(settings.product_flags, f.portable);
  ThePathVariableInputs().creates_uninstaller = HasFlag(settings.product_flags, product_flag::kRegisterUninstaller);
  RunPreparationBatches(settings, archive_flags);
  SetStatus(in, 8);
  SetProgress(in, 2);
}

}  // namespace ks
