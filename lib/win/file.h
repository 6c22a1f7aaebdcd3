#pragma once
// A Win32 file handle that reports failures as file result codes and also
// leaves the system's error value in GetLastError for the caller's log.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "lib/file_result.h"
#include "lib/text.h"

namespace ks {

// Open options.
inline constexpr std::uint32_t kFileRead = 0x01;       // existing file, reading
inline constexpr std::uint32_t kFileWrite = 0x02;      // create or truncate, writing
inline constexpr std::uint32_t kFileReadWrite = 0x04;  // existing file, reading and writing
// Any failure to open is a fatal error ("Failed to open required file: ...").
inline constexpr std::uint32_t kFileRequired = 0x20;
// With kFileReadWrite: a file of the run alone, which the system deletes when
// it is closed, also when the process is killed.
inline constexpr std::uint32_t kFileDeleteOnClose = 0x40;

class File {
 public:
  File() = default;
  ~File() { Close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept : handle_(other.Release()) {}
  File& operator=(File&& other) noexcept;

  FileResult Open(const WString& path, std::uint32_t options);
  // Closing can fail (a write the system held back); the result says so.
  FileResult Close();
  // Writes what the system holds back for the file to the disk.
  FileResult Flush();
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE handle() const { return handle_; }

  // Reads exactly `size` bytes at the current position; fewer is code 6.
  FileResult Read(void* buffer, std::size_t size);
  FileResult Write(const void* data, std::size_t size);
  FileResult Seek(std::uint64_t offset);
  FileResult Size(std::uint64_t& size) const;

  // The whole file from its start. On failure `out` is empty.
  FileResult Load(std::vector<std::uint8_t>& out);

 private:
  HANDLE Release();

  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Writes `data` to `path` so that the path holds either its old content or
// all of the new one, whatever happens meanwhile (a full disk, a killed
// process, a power cut): the bytes go to a file beside it, are flushed, and
// then take the path's place in one rename. With `replace` false an existing
// file stays and the result is kFileExists. On failure the file beside it is
// removed and the system's error is the last error.
// kUnflushed leaves out the flush, for a file whose use ends with the
// process (a script started at once): still whole or absent, but not
// certain to outlast a power cut, and without waiting for the disk.
enum class Durability { kFlushed, kUnflushed };
FileResult WriteFileAtomically(const WString& path, const void* data, std::size_t size, bool replace = true,
                               Durability durability = Durability::kFlushed);
// The file beside `path` that such a write fills first.
WString PendingWritePath(const WString& path);
// Removes the file beside `path` that a write killed before its end left
// behind; nothing when there is none.
void RemovePendingWrite(const WString& path);

// A new, empty file with a unique name from the system in `folder` (three
// letters of `prefix`, a number, ".tmp"); empty when there is none. A folder
// too long for the system's call gets none: the call would fail, or write
// past its buffer on systems that do not check.
WString SystemTempFileName(const WString& folder, const char16_t* prefix);

// The text of the fatal error for a required file that failed to open.
NString RequiredFileErrorText(const WString& path, FileResult code);

}  // namespace ks
