#include "integration/win/finishing_steps.h"

#include <windows.h>

#include <shlobj.h>

#include <vector>

#include "core/existing_installation.h"
#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/win/process_state.h"
#include "core/win/terminate.h"
#include "engine/path_variables.h"
#include "engine/special_folders.h"
#include "engine/win/path_variables.h"
#include "engine/win/reboot_replacement.h"
#include "engine/win/restore_point.h"
#include "engine/win/run_batch.h"
#include "engine/win/search_path.h"
#include "engine/win/special_folders.h"
#include "integration/finishing_rules.h"
#include "integration/install_log.h"
#include "integration/win/install_log_file.h"
#include "integration/win/install_log_view.h"
#include "integration/win/uninstall_registration.h"
#include "lib/file_result.h"
#include "lib/win/fs_redirection.h"
#include "lib/win/file.h"
#include "lib/win/notification_worker.h"
#include "lib/win/owned.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"
#include "uninstall/uninstall_data.h"
#include "uninstall/win/uninstall_data_file.h"

namespace ks {
namespace {

// Restart reason: application, installation, planned.
constexpr DWORD kRestartReason = 0x80040002;

FileResult WriteWholeFile(const WString& path, const Bytes& content) {
  File file;
  const FileResult opened = file.Open(path, kFileWrite);
  if (opened != kFileSuccess) return opened;
  return content.empty() ? kFileSuccess : file.Write(content.data(), content.size());
}

void SaveBackgroundBitmap(const InstallSettings& settings) {
  if (!HasFlag(settings.product_flags, product_flag::kBackgroundBitmap) || settings.background_bitmap.empty()) return;
  const WString path = UninstallFolderFile(u"Installer Background.bmp");
  CreateFolderTree(FolderOfFile(path));
  if (WriteWholeFile(path, settings.background_bitmap) == kFileSuccess)
    ProcessUninstallData().RecordItem(WStringView(path), kUninstallFile);
}

struct DocumentKind {
  ProductFlags flag;
  const char16_t* stem;
  const char16_t* saved_line;
  const char16_t* failed_line;
};
constexpr DocumentKind kReadme{product_flag::kSaveReadme, u"readme", u"README >>> %s\r\n",
                               u"Failed to save readme to: %s\r\n%s\r\n"};
constexpr DocumentKind kLicence{product_flag::kSaveLicence, u"eula", u"EULA >>> %s\r\n",
                                u"Failed to save EULA to: %s\r\n%s\r\n"};

void SaveDocuments(const DocumentKind& kind, const std::vector<Bytes>& texts, const InstallSettings& settings,
                   const WString& install_dir) {
  if (!HasFlag(settings.product_flags, kind.flag)) return;
  for (const DocumentFile& doc : PlanDocumentFiles(texts, kind.stem)) {
    const WString path = install_dir + u"\\" + doc.name;
    const FileResult result = WriteWholeFile(path, doc.content);
    if (result == kFileSuccess) {
      ProcessUninstallData().RecordItem(WStringView(path), kUninstallFile);
      if (DetailedLogging()) LogWideF(kind.saved_line, path.c_str());
    } else {
      LogWideF(kind.failed_line, path.c_str(), FileResultMessageW(result).c_str());
    }
  }
}

// Its presence tells that the system has not restarted since this installation.
void LeaveRebootMarker(const WString& install_dir) {
  const WString path = install_dir + u"\\reboot.dat";
  const HANDLE created =
      ::CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return;
  ::CloseHandle(created);
  ScheduleDeletion(path);
}

void WriteUninstallDataFile() {
  // Without an installation folder the path would be relative to wherever
  // the process happens to run; nothing is written then.
  if (ThePathVariableInputs().install_dir.empty()) return;
  CreateFolderTree(FolderOfFile(UninstallDataPath()));
  UninstallTexts texts;
  texts.text = [](int n) { return LocalizedText(n); };
  if (!WriteUninstallData(UninstallDataPath(), ProcessUninstallData(), texts))
    RecordFailure(WStringView(UninstallDataPath()));
}

void SendCompletionNotification(const InstallSettings& settings) {
  const CompletionAddresses addresses{settings.completion_url_new, settings.completion_url_reinstall,
                                      settings.completion_url_upgrade, settings.completion_url_downgrade};
  SendNotification(CompletionAddress(addresses, static_cast<int>(TheInstallType()),
                                     TheExistingInstallation().folder_exists),
                   false);
}

void NotifyDesktopChanged(const InstallSettings& settings) {
  const WString desktop =
      SpecialFolderPath(settings.shortcut_mode == 1 ? SpecialFolder::kCommonDesktop : SpecialFolder::kDesktop);
  if (!desktop.empty()) ::SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW | SHCNF_FLUSHNOWAIT, W(desktop), nullptr);
}

void CommitRestorePointIfBegun(std::uint32_t archive_flags) {
  if (!(archive_flags & archive_flag::kRestorePoint) || !RestorePointPending()) return;
  if (!CommitRestorePoint()) LogText("Failed to commit restore point.\r\n");
}

bool AskForRestart(const InstallSettings& settings) {
  switch (ChooseRestart(settings.product_flags, settings.automatic)) {
    case RestartChoice::kNone: return false;
    case RestartChoice::kRestart: return true;
    case RestartChoice::kAsk: break;
  }
  if (TheStartOptions().silent) return true;
  WString question = LocalizedText(37);
  if (question.empty()) question = u"The installation requires a restart of your computer. Restart now?";
  return AskYesNo(Process().background_window, question, LocalizedText(20), {}, {});
}

struct FindCloser {
  void operator()(HANDLE h) const { ::FindClose(h); }
};

std::vector<WString> FolderEntries(const WString& folder) {
  std::vector<WString> names;
  WIN32_FIND_DATAW found{};
  const HANDLE first = ::FindFirstFileW(W(folder + u"\\*"), &found);
  if (first == INVALID_HANDLE_VALUE) return names;
  const Owned<HANDLE, FindCloser> find(first);
  do {
    const WString name = FromW(found.cFileName);
    if (name != u"." && name != u"..") names.push_back(name);
  } while (::FindNextFileW(find.get(), &found));
  return names;
}

// The installer switched redirection off for a 64-bit product.
void RestoreRedirection(const InstallSettings& settings) {
  if (settings.bitness == 1) RestoreFsRedirection();
}

void EnableShutdownPrivilege() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return;
  OwnedHandle token(raw);
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
    ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// The shutdown call also works from a service's session (deployment tools
// install silently as the system account), where ExitWindowsEx refuses; the
// latter is the fall-back. Wine implements the former as a no-op that
// reports its arguments ("fixme:advapi:InitiateSystemShutdownExW").
[[noreturn]] void RestartSystem() {
  EnableShutdownPrivilege();
  if (!::InitiateSystemShutdownExW(nullptr, nullptr, 0, FALSE, TRUE, kRestartReason) &&
      !::ExitWindowsEx(EWX_REBOOT, kRestartReason)) {
    const DWORD error = ::GetLastError();
    AppendToInstallLog(WideToUtf8(u"Failed to restart the system.\r\n" + SystemErrorText(error) + u"\r\n"));
  }
  Terminate(0);
}

// The program's folder: the command's first word, quoted or not.
WString ProgramFolderOf(const WString& command) {
  WString program;
  if (!command.empty() && command[0] == u'"') {
    const std::size_t close = command.find(u'"', 1);
    program = command.substr(1, close == WString::npos ? WString::npos : close - 1);
  } else {
    program = command.substr(0, command.find(u' '));
  }
  const WString folder = FolderOfFile(program);
  const DWORD attributes = ::GetFileAttributesW(W(folder));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? folder : WString();
}

void RunAfterProgram(const WString& command) {
  if (command.empty()) return;
  WString line = command;  // CreateProcessW may write into its command line
  const WString folder = ProgramFolderOf(command);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (::CreateProcessW(nullptr, W(line), nullptr, nullptr, FALSE, 0, nullptr, folder.empty() ? nullptr : W(folder),
                       &startup, &process)) {
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return;
  }
  const DWORD error = ::GetLastError();
  AppendToInstallLog(
      WideToUtf8(u"Failed to launch command: " + command + u"\r\n" + SystemErrorText(error) + u"\r\n"));
}

// Documents, search path, registration, reboot marker and Uninstall.DAT.
void SaveWhatStays(const SetupArchive& archive, InstallSettings& settings, const WString& install_dir) {
  SaveBackgroundBitmap(settings);
  SaveDocuments(kReadme, settings.readme_documents, settings, install_dir);
  SaveDocuments(kLicence, settings.licence_documents, settings, install_dir);
  if (HasFlag(settings.product_flags, product_flag::kAddToSearchPath))
    EditSearchPath(true, install_dir, settings.add_to_path_subfolder);
  const bool registers = HasFlag(settings.product_flags, product_flag::kRegisterUninstaller);
  if (registers) RegisterUninstaller(archive, settings);
  if (HasFlag(settings.product_flags, product_flag::kRebootMarker)) LeaveRebootMarker(install_dir);
  if (registers) WriteUninstallDataFile();
}

// Batch, notifications, restore point and Install.log.
void ReportCompletion(const SetupArchive& archive, const InstallSettings& settings) {
  RunPostInstallationBatch(settings, archive.header.flags);
  SendCompletionNotification(settings);
  NotifyDesktopChanged(settings);
  CommitRestorePointIfBegun(archive.header.flags);
  const WString& run_after = TheStartOptions().run_after;
  if (!run_after.empty()) LogWideF(u"Launch on exit: %s\r\n", run_after.c_str());
  ProcessInstallLogContext().flags = settings.product_flags;
  FinishInstallLog(FailureSummary(), true);
}

}  // namespace

bool RemoveFolderIfEmpty(const WString& folder) {
  if (folder.empty()) return false;
  if (::RemoveDirectoryW(W(folder))) return true;
  const std::vector<WString> entries = FolderEntries(folder);
  if (!FolderCountsAsEmpty(entries)) return false;
  for (const WString& name : entries) {
    const WString path = folder + u"\\" + name;
    ::SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(W(path));
  }
  return ::RemoveDirectoryW(W(folder)) != FALSE;
}

void RunFinishingSteps(const SetupArchive& archive, InstallSettings& settings) {
  const WString install_dir = ThePathVariableInputs().install_dir;
  SaveWhatStays(archive, settings, install_dir);
  ReportCompletion(archive, settings);
  const bool restart = AskForRestart(settings);
  RunInstallationExitBatch(settings);
  RemoveFolderIfEmpty(ThePathVariableInputs().shared_dir);
  RemoveFolderIfEmpty(UninstallFolderPath(install_dir, settings.uninstall_subdir));
  RemoveFolderIfEmpty(install_dir);
  RestoreRedirection(settings);
  if (restart) RestartSystem();
  ::SetCurrentDirectoryW(W(install_dir));
  if (FailureSummary().empty()) RunAfterProgram(TheStartOptions().run_after);
  // The finish page's own choices (open a file or folder, launch the
  // application, view the log, show a document) come with the summary page.
  Terminate(0);
}

}  // namespace ks
