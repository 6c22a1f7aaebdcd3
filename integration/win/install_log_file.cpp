#include "integration/win/install_log_file.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "core/install_settings.h"
#include "core/localized_texts.h"
#include "core/start_options.h"
#include "core/terminate_steps.h"
#include "core/win/process_state.h"
#include "core/win/report_corrupt.h"
#include "engine/win/special_folders.h"
#include "integration/win/install_log_view.h"
#include "lib/win/file.h"
#include "lib/win/notification_worker.h"
#include "lib/win/os_version_query.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr std::size_t kCopyBlock = 4096;

// The temporary file behind the step-log writers.
class StepLogFile : public StepLogSink {
 public:
  bool Open() {
    const WString folder = SpecialFolderPath(SpecialFolder::kTemp);
    std::vector<wchar_t> name(MAX_PATH + 1);  // GetTempFileNameW's documented size
    if (!::GetTempFileNameW(W(folder), L"ksl", 0, name.data())) return false;
    path_ = FromW(name.data());
    if (file_.Open(path_, kFileReadWrite) == kFileSuccess) return true;
    ::DeleteFileW(W(path_));
    path_.clear();
    return false;
  }
  void Append(NStringView utf8) override {
    if (file_.IsOpen()) file_.Write(utf8.data(), utf8.size());
  }
  // Copies everything written so far to `out`; a failed write ends the copy.
  void CopyTo(HANDLE out) {
    if (!file_.IsOpen() || file_.Seek(0) != kFileSuccess) return;
    std::vector<char> block(kCopyBlock);
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(file_.handle(), block.data(), kCopyBlock, &got, nullptr) || got == 0) break;
      DWORD put = 0;
      if (!::WriteFile(out, block.data(), got, &put, nullptr) || put != got) break;
    }
    LARGE_INTEGER end{};
    ::SetFilePointerEx(file_.handle(), end, nullptr, FILE_END);
  }
  void CloseAndDelete() {
    file_.Close();
    if (!path_.empty()) ::DeleteFileW(W(path_));
    path_.clear();
  }

 private:
  File file_;
  WString path_;
};

std::unique_ptr<StepLogFile>& TheStepLog() {
  static std::unique_ptr<StepLogFile> log;
  return log;
}

SummaryPageHook g_summary_page = nullptr;

struct LocalFreeCloser {
  void operator()(HLOCAL p) const { ::LocalFree(p); }
};

WString SystemMessage(DWORD code, DWORD language) {
  wchar_t* buffer = nullptr;
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
  const DWORD n = ::FormatMessageW(flags, nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  Owned<HLOCAL, LocalFreeCloser> owner(buffer);
  return n && buffer ? FromW(buffer, n) : WString();
}

LogDateTime LocalNow() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

bool Automatic() { return ProcessInstallLogContext().automatic || TheStartOptions().automatic; }
bool Silent() { return TheStartOptions().silent; }
HWND Owner() { return Process().background_window; }

bool FileIsEmpty(HANDLE file, bool& empty) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size)) return false;
  empty = size.QuadPart == 0;
  return true;
}

bool WriteAll(HANDLE file, NStringView bytes) {
  DWORD put = 0;
  return bytes.empty() || (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
                           put == bytes.size());
}

bool ReadAll(HANDLE file, NString& out) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart > 0x7FFFFFFF) return false;
  out.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  return out.empty() || (::ReadFile(file, out.data(), static_cast<DWORD>(out.size()), &got, nullptr) &&
                         got == out.size());
}

void Seek(HANDLE file, DWORD method) {
  LARGE_INTEGER zero{};
  ::SetFilePointerEx(file, zero, nullptr, method);
}

// An older engine's code page 1252 log becomes UTF-8 before a section is added.
void UpgradeInPlace(HANDLE file) {
  NString existing, upgraded;
  if (!ReadAll(file, existing) || !UpgradeOldLog(existing, upgraded)) return;
  Seek(file, FILE_BEGIN);
  WriteAll(file, upgraded);  // never shorter than the old bytes, so nothing is left behind
}

InstallLogHeader MakeHeader() {
  const InstallLogContext& c = ProcessInstallLogContext();
  InstallLogHeader h;
  h.product_name = c.product_name;
  h.install_date = LocalNow();
  h.creates_uninstaller = HasFlag(c.flags, product_flag::kRegisterUninstaller);
  h.install_type = c.install_type;
  h.install_dir = c.install_dir;
  h.build_date = c.build_date;
  h.product_version = c.product_version;
  h.overwritten_version = c.overwritten_version;
  h.os_name = GetOsNameW();
  return h;
}

// Steps 5 to 7 of finishing: false when Install.log could not be opened.
bool WriteInstallLog(const WString& failure_summary) {
  const WString path = InstallLogPath();
  const HANDLE raw = ::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return false;
  OwnedHandle file(raw);
  UpgradeInPlace(file.get());
  Seek(file.get(), FILE_END);
  bool empty = true;
  FileIsEmpty(file.get(), empty);
  WriteAll(file.get(), SectionLead(empty));
  WriteAll(file.get(), WideToUtf8(InstallLogHeaderText(MakeHeader())));
  if (TheStepLog()) TheStepLog()->CopyTo(file.get());
  WriteAll(file.get(), SectionTail(failure_summary, LocalizedText(43)));
  file.reset();
  ReleaseLogFileForUsers(path);
  return true;
}

// Yes/No with the localized button labels (texts 79 and 80).
bool AskViewLog(const WString& log_path) {
  const WString text = FormatWide(LocalizedText(40).c_str(), log_path.c_str());
  return AskYesNo(Owner(), text, LocalizedText(41), LocalizedText(79), LocalizedText(80));
}

void ShowInformation() {
  ::MessageBoxW(Owner(), W(LocalizedText(42)), W(LocalizedText(43)), MB_OK | MB_ICONINFORMATION);
}

}  // namespace

bool OpenStepLog() {
  auto log = std::make_unique<StepLogFile>();
  if (!log->Open()) return false;
  TheStepLog() = std::move(log);
  SetStepLogSink(TheStepLog().get());
  SetTerminateStep(TerminateStep::kStepLogFile, CloseStepLog);
  return true;
}

void CloseStepLog() {
  SetStepLogSink(nullptr);
  if (TheStepLog()) TheStepLog()->CloseAndDelete();
  TheStepLog().reset();
  SetTerminateStep(TerminateStep::kStepLogFile, nullptr);
}

WString SystemErrorText(std::uint32_t code) {
  WString user = SystemMessage(code, LANGIDFROMLCID(::GetThreadLocale()));
  if (user.empty()) user = SystemMessage(code, LANG_SYSTEM_DEFAULT);
  return ComposeSystemErrorText(code, user, SystemMessage(code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
}

void RecordFailure(WStringView text) {
  const DWORD error = ::GetLastError();  // before anything below can change it
  AppendFailure(FailureEntry(LocalizedText(31), text, error, error ? SystemErrorText(error) : WString()));
}

void RecordFailure(NStringView text) {
  const DWORD error = ::GetLastError();
  const WString wide = Cp1252ToWide(text);
  AppendFailure(FailureEntry(LocalizedText(31), wide, error, error ? SystemErrorText(error) : WString()));
}

InstallLogContext& ProcessInstallLogContext() {
  static InstallLogContext context;
  return context;
}

void TakeInstallLogSettings(const InstallSettings& s) {
  InstallLogContext& c = ProcessInstallLogContext();
  c.product_name = s.product_name;
  c.product_version = s.display_version;
  c.uninstall_subdir = s.uninstall_subdir;
  c.flags = s.product_flags;
  c.automatic = s.automatic;
  const BuildDateRecord& b = s.build_date;
  // An archive without a build date carries an all-zero record.
  if (!(b == BuildDateRecord{})) c.build_date = {b.year, b.month, b.day, b.hour, b.minute, b.second};
  SetDetailedLogging(HasFlag(s.product_flags, product_flag::kDetailedLog));
}

void ConnectInstallLog() {
  CorruptReportHooks& hooks = TheCorruptReportHooks();
  hooks.set_failure_summary = [](const WString& message) { FailureSummary() = message; };
  hooks.error_code_text = [](DWORD code) { return ErrorCodeText(static_cast<std::int32_t>(code)); };
  hooks.system_error_text = [](DWORD code) { return SystemErrorText(code); };
}

WString UninstallFolderFile(WStringView file_name) {
  const InstallLogContext& c = ProcessInstallLogContext();
  return UninstallFolderPath(c.install_dir, c.uninstall_subdir, file_name);
}
WString InstallLogPath() { return UninstallFolderFile(Widen(kInstallLogName)); }
NString InstallLogPathNarrow() { return WideToAnsi(InstallLogPath()); }
WString UninstallDataPath() { return UninstallFolderFile(Widen(kUninstallDataName)); }

void SetSummaryPageHook(SummaryPageHook hook) { g_summary_page = hook; }

void FinishInstallLog(WString failure_summary, bool show_final_message) {
  InstallLogContext& context = ProcessInstallLogContext();
  const bool failed = !failure_summary.empty();
  if (failed) SendErrorNotification();
  bool view_log = false;
  FinalMessage message = FinalMessage::kNone;
  if (show_final_message && !Silent()) {
    FinalMessageInput in{failed, Automatic(), context.flags, context.finish_page_has_actions, context.offer_view_log};
    message = ChooseFinalMessage(in);
    context.offer_view_log = in.offer_view_log;
    if (message == FinalMessage::kAskViewLog) view_log = AskViewLog(InstallLogPath());
    if (message == FinalMessage::kInformation) ShowInformation();
  }
  if (WritesInstallLog(failed, context.flags) && !WriteInstallLog(failure_summary)) {
    view_log = false;
    context.offer_view_log = false;
  }
  // The summary page may offer the log, so it opens once the log exists.
  if (message == FinalMessage::kSummaryPage) {
    if (g_summary_page) {
      g_summary_page(context);
    } else {
      ShowInformation();
    }
  }
  if (view_log) ViewInstallLog();
  CloseStepLog();
}

bool AppendToInstallLog(NStringView utf8) {
  const WString path = InstallLogPath();
  const HANDLE raw = ::CreateFileW(W(path), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return false;
  OwnedHandle file(raw);
  bool empty = false;
  // A log that did not exist gets its mark, so that readers still take it for UTF-8.
  if (FileIsEmpty(file.get(), empty) && empty && !WriteAll(file.get(), kUtf8Bom)) return false;
  return WriteAll(file.get(), utf8);
}

void ViewInstallLog() {
  if (Silent()) return;
  const WString path = InstallLogPath();
  if (::GetFileAttributesW(W(path)) == INVALID_FILE_ATTRIBUTES) return;
  OpenForUser(path);
}

}  // namespace ks
