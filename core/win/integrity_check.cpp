#include "core/win/integrity_check.h"

#include <softpub.h>
#include <stdint.h>
#include <wintrust.h>

#include "core/archive_builder.h"
#include "core/signature_outcome.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

using WinVerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);

IntegrityResult Failure(int code, bool add_system_error = false, DWORD error = 0) {
  IntegrityResult r;
  r.corrupt_code = code;
  r.add_system_error = add_system_error;
  r.system_error = error;
  return r;
}

// The bytes behind the section go after the leading part (data kept outside
// the section travels with the engine image).
bool AppendTail(const SetupArchive& a, Bytes* tail) {
  const std::uint64_t from = std::uint64_t{a.section.raw_offset} + a.section.raw_size;
  if (a.file_size <= from) return true;
  const std::uint64_t size = a.file_size - from;
  if (size > SIZE_MAX) return false;
  tail->resize(static_cast<std::size_t>(size));
  return ReadFileAt(a.file.get(), from, tail->data(), tail->size());
}

}  // namespace

int VerifyCodeSignature(const WString& path, DWORD* last_error) {
  SignatureCheck check;
  const OwnedModule wintrust = LoadSystemLibrary(L"wintrust.dll");
  const auto verify = ProcAddress<WinVerifyTrustFn>(wintrust.get(), "WinVerifyTrust");
  if (!verify) {
    check.service_loaded = false;
  } else {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = W(path);
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_IGNORE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    check.result = static_cast<std::uint32_t>(verify(nullptr, &action, &data));
    check.last_error = ::GetLastError();
  }
  *last_error = check.last_error;
  return SignatureCorruptCode(check);
}

IntegrityResult CheckIntegrity(SetupArchive& a, std::uint32_t mode) {
  const SetupSection& s = a.section;
  Bytes leading;
  leading.resize(s.raw_offset);
  if (!ReadFileAt(a.file.get(), 0, leading.data(), leading.size()))
    return Failure(kCorruptReadBeforeSection);
  if (mode == 1 && EngineCheckValue(leading.data(), s.pe_offset, s.raw_offset) != a.header.engine_check)
    return Failure(kCorruptEngineCheck);
  if (mode == 2) {
    DWORD last_error = 0;
    if (const int code = VerifyCodeSignature(a.path, &last_error)) return Failure(code, true, last_error);
  }
  if (a.header.flags & kArchiveBuildEngineImage) {
    Bytes tail;
    if (!AppendTail(a, &tail)) return Failure(kCorruptReadAfterSection);
    if (!BuildEngineImage(s, std::move(leading), tail.data(), tail.size(), &a.engine_image))
      return Failure(kCorruptReadBeforeSection);
    a.has_engine_image = true;
  }
  return {};
}

void CheckIntegrityOrReport(SetupArchive& a, std::uint32_t mode, const Reports& reports) {
  const IntegrityResult r = CheckIntegrity(a, mode);
  if (r.corrupt_code == 0) return;
  reports.Corrupt(r.corrupt_code, r.add_system_error ? r.system_error : 0);
}

}  // namespace ks
