#include "integration/win/finishing_steps.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "engine/path_variables.h"
#include "engine/special_folders.h"
#include "engine/win/reboot_replacement.h"
#include "engine/win/search_path.h"
#include "engine/win/special_folders.h"
#include "integration/finishing_rules.h"
#include "integration/win/after_run.h"
#include "lib/file_result.h"
#include "lib/win/file.h"
#include "lib/win/fs_redirection.h"
#include "lib/win/message_boxes.h"
#include "lib/win/notification_worker.h"
#include "lib/win/owned.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"
#include "lib/win/process_start.h"
#include "records/win/install_log_file.h"
#include "records/win/install_log_view.h"
#include "records/win/uninstall_data_file.h"

namespace ks {
namespace {

FileResult WriteWholeFile(const WString& path, const Bytes& content) {
  File file;
  const FileResult opened = file.Open(path, kFileWrite);
  if (opened != kFileSuccess) return opened;
  return content.empty() ? kFileSuccess : file.Write(content.data(), content.size());
}

// A saved file's path as progress text, unless the product hides such texts.
void ShowSavedFile(const FinishingInput& in, const WString& path) {
  if (in.set_status && !HasFlag(in.registration.settings->product_flags, product_flag::kNoShortcutProgressText))
    in.set_status(path);
}

void SaveBackgroundBitmap(const FinishingInput& in) {
  const InstallSettings& settings = *in.registration.settings;
  if (!HasFlag(settings.product_flags, product_flag::kBackgroundBitmap) || settings.background_bitmap.empty()) return;
  const WString path = JoinPath(in.uninstall_dir, u"Installer Background.bmp");
  ShowSavedFile(in, path);
  CreateFolderTree(FolderOfFile(path));
  if (WriteWholeFile(path, settings.background_bitmap) == kFileSuccess)
    in.registration.uninstall->RecordItem(WStringView(path), kUninstallFile);
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

void SaveDocuments(const FinishingInput& in, const DocumentKind& kind, const std::vector<Bytes>& texts) {
  const RegistrationInput& r = in.registration;
  if (!HasFlag(r.settings->product_flags, kind.flag)) return;
  for (const DocumentFile& doc : PlanDocumentFiles(texts, kind.stem)) {
    const WString path = r.install_dir + u"\\" + doc.name;
    ShowSavedFile(in, path);
    const FileResult result = WriteWholeFile(path, doc.content);
    if (result == kFileSuccess) {
      r.uninstall->RecordItem(WStringView(path), kUninstallFile);
      if (r.log->detailed()) r.log->WideF(kind.saved_line, path.c_str());
    } else {
      r.log->WideF(kind.failed_line, path.c_str(), FileResultMessageW(result).c_str());
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

void WriteUninstallDataFile(const FinishingInput& in) {
  const RegistrationInput& r = in.registration;
  // Without an installation folder the path would be relative to wherever
  // the process happens to run; nothing is written then.
  if (r.install_dir.empty()) return;
  const WString path = JoinPath(in.uninstall_dir, Widen(kUninstallDataName));
  CreateFolderTree(FolderOfFile(path));
  UninstallTexts texts;
  const LocalizedTexts& table = *in.log_closing.texts;
  texts.text = [&table](int n) { return table.Text(n); };
  // The pages' header title when the language has no text 114 of its own.
  texts.page_header_title = r.settings->wizard_caption;
  if (!WriteUninstallData(path, *r.uninstall, texts)) RecordFailure(*r.log, WStringView(path));
}

void SendCompletionNotification(const FinishingInput& in) {
  const InstallSettings& settings = *in.registration.settings;
  const CompletionAddresses addresses{settings.completion_url_new, settings.completion_url_reinstall,
                                      settings.completion_url_upgrade, settings.completion_url_downgrade};
  SendNotification(CompletionAddress(addresses, static_cast<int>(in.install_type), in.earlier_folder_exists), false);
}

void NotifyDesktopChanged(const InstallSettings& settings) {
  const WString desktop =
      SpecialFolderPath(settings.shortcut_mode == 1 ? SpecialFolder::kCommonDesktop : SpecialFolder::kDesktop);
  if (!desktop.empty()) ::SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW | SHCNF_FLUSHNOWAIT, W(desktop), nullptr);
}

void CommitRestorePointIfBegun(const FinishingInput& in) {
  if (!(in.archive_flags & archive_flag::kRestorePoint) || !in.restore_point->pending()) return;
  if (!in.restore_point->Commit()) in.registration.log->Text("Failed to commit restore point.\r\n");
}

bool AskForRestart(const FinishingInput& in) {
  const InstallSettings& settings = *in.registration.settings;
  switch (ChooseRestart(settings.product_flags, settings.automatic)) {
    case RestartChoice::kNone: return false;
    case RestartChoice::kRestart: return true;
    case RestartChoice::kAsk: break;
  }
  if (MessageBoxesSilent()) return true;
  const Reports& reports = *in.reports;
  return AskWithLabels(reports.Text(37), reports.Text(20), {}, {});
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

// After the step log is gone, failures at the very end go into Install.log.
void AppendEndFailure(const FinishingInput& in, const WString& what, DWORD error) {
  AppendToInstallLog(in.log_closing.log_path, WideToUtf8(what + u"\r\n" + SystemErrorText(error) + u"\r\n"));
}

// Documents, search path, registration, reboot marker and Uninstall.DAT.
// Returns 0, or the corrupt code of the registration.
int SaveWhatStays(const FinishingInput& in) {
  const RegistrationInput& r = in.registration;
  const InstallSettings& settings = *r.settings;
  if (in.set_stage) in.set_stage(in.log_closing.texts->Text(32));
  SaveBackgroundBitmap(in);
  SaveDocuments(in, kReadme, settings.readme_documents);
  SaveDocuments(in, kLicence, settings.licence_documents);
  if (HasFlag(settings.product_flags, product_flag::kAddToSearchPath))
    EditSearchPath(true, r.install_dir, settings.add_to_path_subfolder, *r.log);
  const bool registers = HasFlag(settings.product_flags, product_flag::kRegisterUninstaller);
  if (registers) {
    if (const int corrupt = RegisterUninstaller(r)) return corrupt;
  }
  if (HasFlag(settings.product_flags, product_flag::kRebootMarker)) LeaveRebootMarker(r.install_dir);
  if (registers) WriteUninstallDataFile(in);
  return 0;
}

// Batch, notifications, restore point and Install.log.
void ReportCompletion(FinishingInput& in) {
  const InstallSettings& settings = *in.registration.settings;
  RunPostInstallationBatch(*in.batches, settings, in.archive_flags, in.options->batch_additions[1]);
  SendCompletionNotification(in);
  NotifyDesktopChanged(settings);
  CommitRestorePointIfBegun(in);
  const WString& run_after = in.options->run_after;
  if (!run_after.empty()) in.registration.log->WideF(u"Launch on exit: %s\r\n", run_after.c_str());
  in.log_closing.flags = settings.product_flags;
  CloseInstallLog(in.log_closing, true);
}

// Opens a file or folder as the desktop's user; else through the shell,
// once more as administrator when the shell's open is refused with
// "access denied".
void OpenTarget(const WString& target) {
  if (ExecuteAsDesktopUser(target, WString(), WString())) return;
  const auto opened = [&](const wchar_t* verb) {
    return reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, verb, W(target), nullptr, nullptr, SW_SHOWNORMAL));
  };
  if (opened(nullptr) == SE_ERR_ACCESSDENIED) opened(L"runas");
}

WString FinishTarget(const FinishingInput& in, const WString& setting) {
  const WString expanded = in.expand ? in.expand(setting) : setting;
  return PathInFolder(in.registration.install_dir, expanded);
}

void LaunchApplication(const FinishingInput& in) {
  const InstallSettings& settings = *in.registration.settings;
  const WString command = in.expand ? in.expand(settings.launch_on_exit) : settings.launch_on_exit;
  // A whole text that names a file is the program, blanks and all.
  const DWORD whole = ::GetFileAttributesW(W(command));
  CommandParts parts = SplitCommand(command);
  if (whole != INVALID_FILE_ATTRIBUTES && !(whole & FILE_ATTRIBUTE_DIRECTORY)) parts = {command, WString()};
  const WString& folder = in.registration.install_dir;
  if (!(in.archive_flags & archive_flag::kLaunchAppDirectly) &&
      ExecuteAsDesktopUser(parts.program, parts.arguments, folder)) {
    return;
  }
  ProcessStart start;
  start.command_line = u"\"" + parts.program + u"\"" + (parts.arguments.empty() ? WString() : u" " + parts.arguments);
  // An installation folder left empty is gone by now; the program then starts where this one runs.
  const DWORD attributes = ::GetFileAttributesW(W(folder));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) start.folder = folder;
  if (const DWORD error = StartProcess(start)) AppendEndFailure(in, u"Failed to launch app: " + command, error);
}

// The summary page's choices, in their order.
void RunFinishChoices(const FinishingInput& in) {
  if (!in.choices) return;
  const InstallSettings& settings = *in.registration.settings;
  if (in.choices->open && !settings.finishing_text1.empty()) OpenTarget(FinishTarget(in, settings.finishing_text1));
  if (in.choices->launch && !settings.launch_on_exit.empty()) LaunchApplication(in);
  if (in.choices->view_log) ViewInstallLog(in.log_closing.log_path);
  if (in.choices->document && !settings.finishing_text2.empty()) OpenTarget(FinishTarget(in, settings.finishing_text2));
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

int RunFinishingSteps(FinishingInput& in) {
  const RegistrationInput& r = in.registration;
  const InstallSettings& settings = *r.settings;
  if (const int corrupt = SaveWhatStays(in)) in.reports->Corrupt(corrupt);
  ReportCompletion(in);
  const bool restart = AskForRestart(in);
  RunInstallationExitBatch(*in.batches, settings, in.options->batch_additions[2]);
  RemoveFolderIfEmpty(r.shared_dir);
  RemoveFolderIfEmpty(in.uninstall_dir);
  RemoveFolderIfEmpty(r.install_dir);
  RestoreRedirection(settings);
  if (restart) {
    if (const DWORD error = RequestSystemRestart()) AppendEndFailure(in, u"Failed to restart the system.", error);
    return 0;
  }
  ::SetCurrentDirectoryW(W(r.install_dir));
  if (!r.log->failed()) {
    RunAfterRules rules;
    rules.in_program_folder = true;
    if (const DWORD error = StartRunAfter(in.options->run_after, rules))
      AppendEndFailure(in, u"Failed to launch command: " + in.options->run_after, error);
  }
  RunFinishChoices(in);
  return 0;
}

}  // namespace ks
