#include "integration/win/shared_file_counts.h"

#include <optional>

#include "lib/error_text.h"
#include "lib/marked_text.h"
#include "lib/win/os_version_query.h"
#include "lib/win/system_error.h"

namespace ks {
namespace {

std::optional<std::int32_t> ReadCount(RegKey& key, const RegName& name) {
  DWORD count = 0;
  if (!key.GetDword(name, &count)) return std::nullopt;
  return static_cast<std::int32_t>(count);
}

}  // namespace

void CountSharedFiles(const std::vector<NString>& list, NString& shared_files, InstallLog& log) {
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, kRegAccessOwnView) == kRegFailed) {
    const DWORD error = ::GetLastError();
    log.AddFailure(SharedCountsUnavailableText(ErrorCodeText(static_cast<std::int32_t>(error)),
                                               SystemErrorText(error), GetOsNameW()));
    return;
  }
  for (const NString& entry : list) {
    const NString quoted = QuotedSharedEntry(entry);
    if (SharedFilesTextHas(shared_files, quoted)) continue;
    // A marked name ("|" and UTF-8) is counted under its wide form, a plain
    // one under its system code page form: both are the file's path.
    const WString name = DecodeMarkedText(SharedCountName(entry));
    if (!key.SetDword(RegName(name), RaisedCount(ReadCount(key, RegName(name))))) {
      log.Wide(SharedCountWriteFailedLine(name, SystemErrorText(::GetLastError())));
    }
    AppendSharedEntry(shared_files, quoted);
  }
}

bool SharedCounts::Open() {
  return key_.Open(HKEY_LOCAL_MACHINE, kSharedDllsKey, kRegOpenOnly, kRegAccessOwnView) != kRegFailed;
}

CountRelease SharedCounts::Release(const WString& path) {
  const CountRelease release = ReleaseCount(ReadCount(key_, RegName(path)));
  if (release.remove_value) {
    key_.DeleteValue(RegName(path));
  } else if (!release.skip) {
    key_.SetDword(RegName(path), release.new_count);
  }
  return release;
}

}  // namespace ks
