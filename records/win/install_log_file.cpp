#include "records/win/install_log_file.h"

#include <vector>

#include "lib/end_of_process.h"
#include "lib/win/owned.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"
#include "records/win/install_log_view.h"

namespace ks {
namespace {

bool ReadAll(HANDLE file, NString& out) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart > 0x7FFFFFFF) return false;
  out.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  return out.empty() || (::ReadFile(file, out.data(), static_cast<DWORD>(out.size()), &got, nullptr) &&
                         got == out.size());
}

// The log as it is now: empty when there is none; false when it exists but
// cannot be read (then it must not be replaced by a shorter one).
bool ReadExistingLog(const WString& path, NString& out) {
  out.clear();
  const HANDLE raw = ::CreateFileW(FsPath(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND;
  }
  const OwnedHandle file(raw);
  return ReadAll(file.get(), out);
}

// The log with `addition` behind what it holds, an older engine's code page
// 1252 text made UTF-8 first, written whole in place of the old one.
bool ExtendLog(const WString& path, const NString& addition) {
  NString existing, upgraded;
  if (!ReadExistingLog(path, existing)) return false;
  if (UpgradeOldLog(existing, upgraded)) existing.swap(upgraded);
  existing += addition;
  // A log of a read-only, hidden or system file would refuse the replacement.
  const DWORD attributes = ::GetFileAttributesW(FsPath(path));
  constexpr DWORD kUnwanted = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kUnwanted)) {
    ::SetFileAttributesW(FsPath(path), attributes & ~kUnwanted);
  }
  return WriteFileAtomically(path, existing.data(), existing.size()) == kFileSuccess;
}

}  // namespace

StepLogFile::~StepLogFile() { CloseAndDelete(); }

bool StepLogFile::Open(const WString& temp_folder) {
  CloseAndDelete();
  path_ = SystemTempFileName(temp_folder, u"ksl");
  if (path_.empty()) return false;
  // Deleted by the system when closed: a killed run leaves no step log.
  if (file_.Open(path_, kFileReadWrite | kFileDeleteOnClose) != kFileSuccess) {
    ::DeleteFileW(W(path_));
    path_.clear();
    return false;
  }
  SetTerminateStep(TerminateStep::kStepLogFile, [this] { CloseAndDelete(); });
  return true;
}

void StepLogFile::Append(NStringView utf8) {
  if (file_.IsOpen()) file_.Write(utf8.data(), utf8.size());
}

bool StepLogFile::ReadBack(NString* out) {
  out->clear();
  if (!file_.IsOpen() || file_.Seek(0) != kFileSuccess) return false;
  const bool read = ReadAll(file_.handle(), *out);
  LARGE_INTEGER end{};
  ::SetFilePointerEx(file_.handle(), end, nullptr, FILE_END);
  return read;
}

void StepLogFile::CloseAndDelete() {
  if (!file_.IsOpen() && path_.empty()) return;
  SetTerminateStep(TerminateStep::kStepLogFile, nullptr);
  file_.Close();
  if (!path_.empty()) ::DeleteFileW(W(path_));
  path_.clear();
}

void RecordFailure(InstallLog& log, WStringView text) {
  const DWORD error = ::GetLastError();  // before anything below can change it
  log.AddFailure(FailureEntry(log.failure_label(), text, error, error ? SystemErrorText(error) : WString()));
}

void RecordFailure(InstallLog& log, NStringView text) {
  const DWORD error = ::GetLastError();
  const WString wide = Cp1252ToWide(text);
  log.AddFailure(FailureEntry(log.failure_label(), wide, error, error ? SystemErrorText(error) : WString()));
}

bool WriteInstallLogSection(const WString& path, const InstallLogHeader& header, StepLogFile* steps,
                            const WString& failure_summary, const WString& success_text) {
  NString existing;
  if (!ReadExistingLog(path, existing)) return false;
  NString section = SectionLead(existing.empty());
  section += WideToUtf8(InstallLogHeaderText(header));
  NString step_lines;
  if (steps && steps->IsOpen() && steps->ReadBack(&step_lines)) section += step_lines;
  section += SectionTail(failure_summary, success_text);
  if (!ExtendLog(path, section)) return false;
  ReleaseLogFileForUsers(path);
  return true;
}

bool AppendToInstallLog(const WString& path, NStringView utf8) {
  NString existing;
  if (!ReadExistingLog(path, existing)) return false;
  // A log that did not exist gets its mark, so that readers still take it for UTF-8.
  NString addition = existing.empty() ? NString(kUtf8Bom) : NString();
  addition += utf8;
  return ExtendLog(path, addition);
}

LogDateTime LocalNow() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace ks
