#include "records/win/install_log_file.h"

#include <vector>

#include "lib/end_of_process.h"
#include "lib/win/owned.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"
#include "records/win/install_log_view.h"

namespace ks {
namespace {

constexpr std::size_t kCopyBlock = 4096;

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
bool UpgradeInPlace(HANDLE file) {
  NString existing, upgraded;
  if (!ReadAll(file, existing)) return false;
  if (!UpgradeOldLog(existing, upgraded)) return true;
  Seek(file, FILE_BEGIN);
  return WriteAll(file, upgraded);  // never shorter than the old bytes, so nothing is left behind
}

}  // namespace

StepLogFile::~StepLogFile() { CloseAndDelete(); }

bool StepLogFile::Open(const WString& temp_folder) {
  CloseAndDelete();
  std::vector<wchar_t> name(MAX_PATH + 1);  // GetTempFileNameW's documented size
  if (!::GetTempFileNameW(W(temp_folder), L"ksl", 0, name.data())) return false;
  path_ = FromW(name.data());
  if (file_.Open(path_, kFileReadWrite) != kFileSuccess) {
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

bool StepLogFile::CopyTo(HANDLE out) {
  if (!file_.IsOpen() || file_.Seek(0) != kFileSuccess) return false;
  std::vector<char> block(kCopyBlock);
  bool copied = true;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file_.handle(), block.data(), kCopyBlock, &got, nullptr)) {
      copied = false;
      break;
    }
    if (got == 0) break;
    if (!WriteAll(out, NStringView(block.data(), got))) {
      copied = false;
      break;
    }
  }
  Seek(file_.handle(), FILE_END);
  return copied;
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
  const HANDLE raw = ::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return false;
  OwnedHandle file(raw);
  bool written = UpgradeInPlace(file.get());
  Seek(file.get(), FILE_END);
  bool empty = true;
  FileIsEmpty(file.get(), empty);
  written = WriteAll(file.get(), SectionLead(empty)) && written;
  written = WriteAll(file.get(), WideToUtf8(InstallLogHeaderText(header))) && written;
  if (steps && steps->IsOpen()) written = steps->CopyTo(file.get()) && written;
  written = WriteAll(file.get(), SectionTail(failure_summary, success_text)) && written;
  file.reset();
  ReleaseLogFileForUsers(path);
  return written;
}

bool AppendToInstallLog(const WString& path, NStringView utf8) {
  const HANDLE raw = ::CreateFileW(W(path), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return false;
  OwnedHandle file(raw);
  bool empty = false;
  // A log that did not exist gets its mark, so that readers still take it for UTF-8.
  if (FileIsEmpty(file.get(), empty) && empty && !WriteAll(file.get(), kUtf8Bom)) return false;
  return WriteAll(file.get(), utf8);
}

LogDateTime LocalNow() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace ks
