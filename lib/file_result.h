#pragma once
// Result codes of the file operations and their fixed messages.

#include <cstdint>

#include "lib/text.h"

namespace ks {

using FileResult = std::int32_t;

inline constexpr FileResult kFileSuccess = 0;
inline constexpr FileResult kFileUnknownError = 1;
inline constexpr FileResult kFileInvalidName = 2;
inline constexpr FileResult kFileNotFound = 3;
inline constexpr FileResult kFileFolderMissing = 4;
inline constexpr FileResult kFileLocked = 5;
inline constexpr FileResult kFileReadFailed = 6;
inline constexpr FileResult kFileWriteFailed = 7;
inline constexpr FileResult kFileTooManyOpen = 8;
inline constexpr FileResult kFileInvalidParameter = 9;
inline constexpr FileResult kFileExists = 10;
inline constexpr FileResult kFileTooManyIndexed = 11;
inline constexpr FileResult kFileAccessDenied = 12;
inline constexpr FileResult kFileReadOnly = 13;
inline constexpr FileResult kFileCorrupt = 14;
inline constexpr FileResult kFileDeleteFailed = 15;
inline constexpr FileResult kFileTooLarge = 16;
inline constexpr FileResult kFileAborted = 17;
inline constexpr FileResult kFileCreateFolderFailed = 18;
inline constexpr FileResult kFileBadNetworkPath = 19;
inline constexpr FileResult kFileDeviceNotReady = 20;
inline constexpr FileResult kFileNoSuchDrive = 21;
inline constexpr FileResult kFileEraseVerifyFailed = 22;
inline constexpr FileResult kFileIsFolder = 23;
inline constexpr FileResult kFileTooManyTabs = 24;
inline constexpr FileResult kFileNoChange = 25;
inline constexpr FileResult kFileNotOpen = 26;
inline constexpr FileResult kFileChanged = 27;
inline constexpr FileResult kFileAlreadyOpen = 28;

// The message of a code; codes outside 0-28 have code 1's message.
const char* FileResultMessage(FileResult code);
WString FileResultMessageW(FileResult code);

// The result code that describes a failed system call's error value
// (GetLastError). `fallback` is used for errors without a closer code, so that
// a failed write can say "Failed to write data to the file." and so on.
FileResult FileResultFromSystemError(std::uint32_t error, FileResult fallback = kFileUnknownError);

// The code of a failed open. "Access denied" has more telling causes that
// the path's attributes reveal (GetFileAttributes; 0xFFFFFFFF when unknown):
// the path is a folder, or the file is read-only and was to be written.
inline constexpr std::uint32_t kAttributesUnknown = 0xFFFFFFFF;
FileResult OpenFailureResult(std::uint32_t error, std::uint32_t attributes, bool writing);

}  // namespace ks
