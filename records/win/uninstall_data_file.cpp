#include "records/win/uninstall_data_file.h"

#include <windows.h>

#include <vector>

#include "lib/win/file.h"

namespace ks {
namespace {

// A system error that says what the file result says, for callers that
// report the last error.
DWORD SystemErrorFor(FileResult result) {
  switch (result) {
    case kFileNotFound: return ERROR_FILE_NOT_FOUND;
    case kFileFolderMissing: return ERROR_PATH_NOT_FOUND;
    case kFileLocked: return ERROR_SHARING_VIOLATION;
    case kFileAccessDenied: return ERROR_ACCESS_DENIED;
    case kFileReadOnly: return ERROR_ACCESS_DENIED;
    case kFileWriteFailed: return ERROR_WRITE_FAULT;
    case kFileInvalidName: return ERROR_INVALID_NAME;
    case kFileIsFolder: return ERROR_DIRECTORY;
    default: return ERROR_GEN_FAILURE;
  }
}

}  // namespace

bool WriteUninstallData(const WString& path, const UninstallData& data, const UninstallTexts& texts) {
  const NString bytes = BuildUninstallDataFile(data, texts);
  ::SetLastError(ERROR_SUCCESS);
  // The file is what a second uninstallation works from: never half of it.
  const FileResult result = WriteFileAtomically(path, bytes.data(), bytes.size());
  if (result == kFileSuccess) return true;
  if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(SystemErrorFor(result));
  return false;
}

FileResult LoadUninstallData(const WString& path, UninstallDataContent& content) {
  File file;
  FileResult result = file.Open(path, kFileRead);
  std::vector<std::uint8_t> bytes;
  if (result == kFileSuccess) result = file.Load(bytes);
  if (result != kFileSuccess) return result;
  content = ParseUninstallDataFile(NStringView(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return kFileSuccess;
}

}  // namespace ks
