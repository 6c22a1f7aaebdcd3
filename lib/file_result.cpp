#include "lib/file_result.h"

#include <array>

namespace ks {
namespace {

constexpr std::array<const char*, 29> kMessages = {
    "Success.",
    "An unknown error occurred.",
    "The filename is invalid.",
    "The file was not found.",
    "The directory does not exist.",
    "The file is locked by another application.",
    "Failed to read the file into memory.",
    "Failed to write data to the file.",
    "Too many files are already open.",
    "An invalid parameter was used.",
    "The file already exists.",
    "Too many indexed files exist.",
    "Access denied.",
    "The file's Read-Only attribute is set.",
    "The file's contents are corrupted.",
    "Deletion failed.",
    "The file is too large to load into memory.",
    "Aborted by the user.",
    "Failed to create the directory.",
    "The network path is not valid.",
    "The device is not ready (usually because no disk is inserted).",
    "The drive does not exist.",
    "Erasure verification failed.",
    "The filepath points to a folder, not a file.",
    "Too many tabs are open.",
    "No change was necessary.",
    "The file is not open.",
    "The file has changed.",
    "The file is already open.",
};

// Win32 error values (winerror.h), spelled out so that the mapping stays
// portable and testable without Windows.
struct ErrorMapping {
  std::uint32_t error;
  FileResult code;
};
constexpr ErrorMapping kErrorMappings[] = {
    {2, kFileNotFound},            // ERROR_FILE_NOT_FOUND
    {3, kFileFolderMissing},       // ERROR_PATH_NOT_FOUND
    {4, kFileTooManyOpen},         // ERROR_TOO_MANY_OPEN_FILES
    {5, kFileAccessDenied},        // ERROR_ACCESS_DENIED
    {6, kFileNotOpen},             // ERROR_INVALID_HANDLE
    {15, kFileNoSuchDrive},        // ERROR_INVALID_DRIVE
    {19, kFileAccessDenied},       // ERROR_WRITE_PROTECT
    {21, kFileDeviceNotReady},     // ERROR_NOT_READY
    {32, kFileLocked},             // ERROR_SHARING_VIOLATION
    {33, kFileLocked},             // ERROR_LOCK_VIOLATION
    {53, kFileBadNetworkPath},     // ERROR_BAD_NETPATH
    {67, kFileBadNetworkPath},     // ERROR_BAD_NET_NAME
    {80, kFileExists},             // ERROR_FILE_EXISTS
    {87, kFileInvalidParameter},   // ERROR_INVALID_PARAMETER
    {112, kFileWriteFailed},       // ERROR_DISK_FULL
    {123, kFileInvalidName},       // ERROR_INVALID_NAME
    {145, kFileDeleteFailed},      // ERROR_DIR_NOT_EMPTY
    {161, kFileInvalidName},       // ERROR_BAD_PATHNAME
    {183, kFileExists},            // ERROR_ALREADY_EXISTS
    {206, kFileInvalidName},       // ERROR_FILENAME_EXCED_RANGE
    {267, kFileInvalidName},       // ERROR_DIRECTORY
    {1223, kFileAborted},          // ERROR_CANCELLED
};

}  // namespace

const char* FileResultMessage(FileResult code) {
  if (code < 0 || code >= static_cast<FileResult>(kMessages.size())) return kMessages[1];
  return kMessages[static_cast<size_t>(code)];
}

WString FileResultMessageW(FileResult code) { return Widen(FileResultMessage(code)); }

FileResult FileResultFromSystemError(std::uint32_t error, FileResult fallback) {
  for (const auto& m : kErrorMappings) {
    if (m.error == error) return m.code;
  }
  return fallback;
}

FileResult OpenFailureResult(std::uint32_t error, std::uint32_t attributes, bool writing) {
  constexpr std::uint32_t kAccessDenied = 5;
  constexpr std::uint32_t kReadOnly = 0x01;   // FILE_ATTRIBUTE_READONLY
  constexpr std::uint32_t kFolder = 0x10;     // FILE_ATTRIBUTE_DIRECTORY
  if (error == kAccessDenied && attributes != kAttributesUnknown) {
    if (attributes & kFolder) return kFileIsFolder;
    if (writing && (attributes & kReadOnly)) return kFileReadOnly;
  }
  return FileResultFromSystemError(error);
}

}  // namespace ks
