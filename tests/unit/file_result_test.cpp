#include "lib/file_result.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(FileResultTest, EveryCodeHasItsMessage) {
  const struct {
    FileResult code;
    const char* message;
  } cases[] = {
      {0, "Success."},
      {1, "An unknown error occurred."},
      {2, "The filename is invalid."},
      {3, "The file was not found."},
      {4, "The directory does not exist."},
      {5, "The file is locked by another application."},
      {6, "Failed to read the file into memory."},
      {7, "Failed to write data to the file."},
      {8, "Too many files are already open."},
      {9, "An invalid parameter was used."},
      {10, "The file already exists."},
      {11, "Too many indexed files exist."},
      {12, "Access denied."},
      {13, "The file's Read-Only attribute is set."},
      {14, "The file's contents are corrupted."},
      {15, "Deletion failed."},
      {16, "The file is too large to load into memory."},
      {17, "Aborted by the user."},
      {18, "Failed to create the directory."},
      {19, "The network path is not valid."},
      {20, "The device is not ready (usually because no disk is inserted)."},
      {21, "The drive does not exist."},
      {22, "Erasure verification failed."},
      {23, "The filepath points to a folder, not a file."},
      {24, "Too many tabs are open."},
      {25, "No change was necessary."},
      {26, "The file is not open."},
      {27, "The file has changed."},
      {28, "The file is already open."},
      {29, "An unknown error occurred."},
      {-1, "An unknown error occurred."},
      {INT32_MIN, "An unknown error occurred."},
      {INT32_MAX, "An unknown error occurred."},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(FileResultMessage(c.code), c.message) << c.code;
    EXPECT_EQ(FileResultMessageW(c.code), Widen(c.message)) << c.code;
  }
}

TEST(FileResultTest, SystemErrorsMapToTheCodeThatDescribesThem) {
  const struct {
    std::uint32_t error;
    FileResult code;
  } cases[] = {
      {2, kFileNotFound},          {3, kFileFolderMissing},    {4, kFileTooManyOpen},
      {5, kFileAccessDenied},      {6, kFileNotOpen},          {15, kFileNoSuchDrive},
      {21, kFileDeviceNotReady},   {32, kFileLocked},          {33, kFileLocked},
      {53, kFileBadNetworkPath},   {67, kFileBadNetworkPath},  {80, kFileExists},
      {87, kFileInvalidParameter}, {112, kFileWriteFailed},    {123, kFileInvalidName},
      {183, kFileExists},          {206, kFileInvalidName},    {1223, kFileAborted},
      {0, kFileUnknownError},      {31, kFileUnknownError},    {0x80004005u, kFileUnknownError},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileResultFromSystemError(c.error), c.code) << c.error;
  }
  EXPECT_EQ(FileResultFromSystemError(31, kFileWriteFailed), kFileWriteFailed);
  EXPECT_EQ(FileResultFromSystemError(32, kFileWriteFailed), kFileLocked);
}

TEST(FileResultTest, AccessDeniedOnOpenIsExplainedByTheAttributes) {
  constexpr std::uint32_t kNormal = 0x80, kReadOnly = 0x01, kFolder = 0x10, kArchive = 0x20;
  const struct {
    const char* name;
    std::uint32_t error;
    std::uint32_t attributes;
    bool writing;
    FileResult code;
  } cases[] = {
      {"folder", 5, kFolder, false, kFileIsFolder},
      {"read-only folder", 5, kFolder | kReadOnly, true, kFileIsFolder},
      {"read-only file written", 5, kReadOnly | kArchive, true, kFileReadOnly},
      {"read-only file read", 5, kReadOnly, false, kFileAccessDenied},
      {"plain file", 5, kNormal, true, kFileAccessDenied},
      {"attributes unknown", 5, kAttributesUnknown, true, kFileAccessDenied},
      {"other error ignores attributes", 32, kFolder, true, kFileLocked},
      {"not found", 2, kAttributesUnknown, false, kFileNotFound},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OpenFailureResult(c.error, c.attributes, c.writing), c.code) << c.name;
  }
}

}  // namespace
}  // namespace ks
