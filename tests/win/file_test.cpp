#include "lib/win/file.h"

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>
#include <windows.h>

#include "lib/fatal.h"
#include "lib/win/wide.h"
#include "tests/win/scratch_folder.h"

namespace ks {
namespace {

// A fresh folder per test.
class TempFolder : public test::ScratchFolder {
 public:
  TempFolder() : ScratchFolder(u"ks_file_test_") {}
};

void WriteFileBytes(const WString& path, NStringView bytes) {
  File f;
  ASSERT_EQ(f.Open(path, kFileWrite), kFileSuccess);
  ASSERT_EQ(f.Write(bytes.data(), bytes.size()), kFileSuccess);
}

TEST(FileTest, WriteThenLoadRoundTrips) {
  TempFolder dir;
  const WString path = dir / u"data.bin";
  const NString content("abc\0\xFF\r\n", 7);
  WriteFileBytes(path, content);

  File f;
  ASSERT_EQ(f.Open(path, kFileRead), kFileSuccess);
  std::uint64_t size = 0;
  EXPECT_EQ(f.Size(size), kFileSuccess);
  EXPECT_EQ(size, content.size());
  char first[3];
  ASSERT_EQ(f.Read(first, 3), kFileSuccess);  // Load starts at the beginning regardless
  std::vector<std::uint8_t> loaded{1, 2};
  ASSERT_EQ(f.Load(loaded), kFileSuccess);
  EXPECT_EQ(NString(loaded.begin(), loaded.end()), content);

  char past[8];
  EXPECT_EQ(f.Read(past, 1), kFileReadFailed);  // at the end now
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
}

TEST(FileTest, EmptyFileLoadsAsSuccessWithAnEmptyBuffer) {
  TempFolder dir;
  const WString path = dir / u"empty.txt";
  WriteFileBytes(path, "");
  File f;
  ASSERT_EQ(f.Open(path, kFileRead), kFileSuccess);
  std::vector<std::uint8_t> loaded{1, 2, 3};
  EXPECT_EQ(f.Load(loaded), kFileSuccess);
  EXPECT_TRUE(loaded.empty());
}

TEST(FileTest, OperationsOnAClosedFileAreNotOpen) {
  File f;
  std::vector<std::uint8_t> loaded{1};
  char byte = 0;
  std::uint64_t size = 0;
  const struct {
    const char* name;
    FileResult (*call)(File&, std::vector<std::uint8_t>&, char&, std::uint64_t&);
  } cases[] = {
      {"load", [](File& file, auto& v, char&, std::uint64_t&) { return file.Load(v); }},
      {"read", [](File& file, auto&, char& c, std::uint64_t&) { return file.Read(&c, 1); }},
      {"write", [](File& file, auto&, char& c, std::uint64_t&) { return file.Write(&c, 1); }},
      {"size", [](File& file, auto&, char&, std::uint64_t& n) { return file.Size(n); }},
      {"seek", [](File& file, auto&, char&, std::uint64_t&) { return file.Seek(0); }},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(c.call(f, loaded, byte, size), kFileNotOpen) << c.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << c.name;
  }
  EXPECT_TRUE(loaded.empty());
}

TEST(FileTest, OpenFailuresMapToTheirCodes) {
  TempFolder dir;
  const WString locked = dir / u"locked.txt";
  const WString existing = dir / u"existing.txt";
  WriteFileBytes(locked, "x");
  WriteFileBytes(existing, "x");
  HANDLE lock = CreateFileW(W(locked), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);

  const struct {
    const char* name;
    WString path;
    std::uint32_t options;
    FileResult code;
  } cases[] = {
      {"missing file", dir / u"missing.txt", kFileRead, kFileNotFound},
      {"missing folder", dir / u"none\\file.txt", kFileRead, kFileFolderMissing},
      {"missing folder when creating", dir / u"none\\file.txt", kFileWrite, kFileFolderMissing},
      {"locked by another handle", locked, kFileRead, kFileLocked},
      {"folder instead of file", dir.path(), kFileRead, kFileIsFolder},
      {"empty path", u"", kFileRead, kFileInvalidName},
      {"no mode", existing, 0, kFileInvalidParameter},
  };
  for (const auto& c : cases) {
    File f;
    EXPECT_EQ(f.Open(c.path, c.options), c.code) << c.name;
    EXPECT_FALSE(f.IsOpen()) << c.name;
  }
  File ok;
  EXPECT_EQ(ok.Open(existing, kFileRead), kFileSuccess);
  EXPECT_EQ(ok.Open(existing, kFileRead), kFileAlreadyOpen);
  EXPECT_TRUE(ok.IsOpen());
  CloseHandle(lock);
}

TEST(FileTest, OpenFailureKeepsTheSystemError) {
  TempFolder dir;
  File f;
  SetLastError(0);
  EXPECT_EQ(f.Open(dir / u"missing.txt", kFileRead), kFileNotFound);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileTest, LoadOfAWriteOnlyFileIsAReadFailure) {
  TempFolder dir;
  File f;
  ASSERT_EQ(f.Open(dir / u"w.bin", kFileWrite), kFileSuccess);
  ASSERT_EQ(f.Write("hello", 5), kFileSuccess);
  std::vector<std::uint8_t> loaded{1};
  EXPECT_EQ(f.Load(loaded), kFileReadFailed);
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_TRUE(loaded.empty());
}

TEST(FileTest, FileOf2GiBIsTooLargeToLoad) {
  TempFolder dir;
  const WString path = dir / u"huge.bin";
  {
    File f;
    ASSERT_EQ(f.Open(path, kFileWrite), kFileSuccess);
    // A sparse file: the size is set without writing the bytes.
    ASSERT_EQ(f.Seek(0x7FFFFFFF), kFileSuccess);
    ASSERT_TRUE(SetEndOfFile(f.handle()));
  }
  File f;
  ASSERT_EQ(f.Open(path, kFileRead), kFileSuccess);
  std::vector<std::uint8_t> loaded;
  SetLastError(0);
  EXPECT_EQ(f.Load(loaded), kFileTooLarge);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(loaded.empty());
}

TEST(FileTest, MovedFileOwnsTheHandle) {
  TempFolder dir;
  const WString path = dir / u"m.txt";
  WriteFileBytes(path, "m");
  File a;
  ASSERT_EQ(a.Open(path, kFileRead), kFileSuccess);
  File b(std::move(a));
  EXPECT_FALSE(a.IsOpen());
  EXPECT_TRUE(b.IsOpen());
  File c;
  c = std::move(b);
  std::vector<std::uint8_t> loaded;
  EXPECT_EQ(c.Load(loaded), kFileSuccess);
  EXPECT_EQ(loaded.size(), 1u);
}

// The fatal-error hook does not return. This one ends the process with 3 when
// the text is the expected one (4 otherwise), printing it: the engine's code
// has no unwinding tables, so an exception may not leave the hook through it.
NString g_expected_fatal;
[[noreturn]] void ExitingFatal(NStringView text) {
  std::fprintf(stderr, "fatal[%.*s]", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
  std::_Exit(text == g_expected_fatal ? 3 : 4);
}

TEST(FileDeathTest, RequiredFileThatFailsToOpenIsFatal) {
  TempFolder dir;
  const WString missing = dir / u"required.dat";
  EXPECT_EXIT(
      {
        g_expected_fatal = "Failed to open required file:\r\n" + WideToAnsi(missing) + "\r\n\r\nThe file was not found.";
        SetFatalErrorHook(&ExitingFatal);
        File f;
        f.Open(missing, kFileRead | kFileRequired);
      },
      ::testing::ExitedWithCode(3), "^fatal\\[Failed to open required file:");

  File present;
  const WString path = dir / u"present.dat";
  WriteFileBytes(path, "p");
  EXPECT_EQ(present.Open(path, kFileRead | kFileRequired), kFileSuccess);
}

}  // namespace
}  // namespace ks
