#include "lib/win/file.h"

#include <cwchar>

#include "lib/fatal.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr DWORD kMaxChunk = 1u << 30;
constexpr std::uint64_t kMaxLoadSize = 0x7FFFFFFF;
constexpr DWORD kUnspecifiedFailure = 0x80004005;  // E_FAIL

FileResult NotOpen() {
  SetLastError(ERROR_INVALID_HANDLE);
  return kFileNotOpen;
}

struct OpenMode {
  DWORD access;
  DWORD share;
  DWORD disposition;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
};

bool ModeFor(std::uint32_t options, OpenMode& mode) {
  if (options & kFileWrite) {
    mode = {GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS};
  } else if (options & kFileReadWrite) {
    mode = {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING};
    if (options & kFileDeleteOnClose) {
      mode.share |= FILE_SHARE_DELETE;
      mode.flags = FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;
    }
  } else if (options & kFileRead) {
    mode = {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING};
  } else {
    return false;
  }
  return true;
}

FileResult OpenFailure(const WString& path, DWORD error, bool writing) {
  const DWORD attributes = error == ERROR_ACCESS_DENIED ? GetFileAttributesW(FsPath(path))
                                                        : INVALID_FILE_ATTRIBUTES;
  const FileResult code = OpenFailureResult(error, attributes, writing);
  SetLastError(error);
  return code;
}

}  // namespace

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.Release();
  }
  return *this;
}

HANDLE File::Release() {
  HANDLE h = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  return h;
}

FileResult File::Close() {
  if (!IsOpen()) return kFileSuccess;
  if (CloseHandle(Release())) return kFileSuccess;
  const DWORD error = GetLastError();
  const FileResult code = FileResultFromSystemError(error, kFileWriteFailed);
  SetLastError(error);
  return code;
}

FileResult File::Flush() {
  if (!IsOpen()) return NotOpen();
  if (FlushFileBuffers(handle_)) return kFileSuccess;
  const DWORD error = GetLastError();
  const FileResult code = FileResultFromSystemError(error, kFileWriteFailed);
  SetLastError(error);
  return code;
}

WString PendingWritePath(const WString& path) { return path + u".ks-new"; }

void RemovePendingWrite(const WString& path) {
  const WString pending = PendingWritePath(path);
  const DWORD attributes = GetFileAttributesW(FsPath(pending));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    DeleteFileW(FsPath(pending));
}

WString SystemTempFileName(const WString& folder, const char16_t* prefix) {
  // GetTempFileNameW's documented limit for the folder.
  constexpr std::size_t kMaxFolder = MAX_PATH - 14;
  if (folder.empty() || folder.size() >= kMaxFolder) return {};
  WString name(MAX_PATH + 1, u'\0');
  if (!GetTempFileNameW(W(folder), reinterpret_cast<const wchar_t*>(prefix), 0, W(name))) return {};
  name.resize(wcslen(W(name)));
  return name;
}

FileResult WriteFileAtomically(const WString& path, const void* data, std::size_t size, bool replace,
                               Durability durability) {
  const WString pending = PendingWritePath(path);
  File file;
  FileResult code = file.Open(pending, kFileWrite);
  if (code == kFileSuccess) code = file.Write(data, size);
  if (code == kFileSuccess && durability == Durability::kFlushed) code = file.Flush();
  const FileResult closed = file.Close();
  if (code == kFileSuccess) code = closed;
  if (code == kFileSuccess) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(FsPath(pending), FsPath(path), flags)) {
      const DWORD error = GetLastError();
      code = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
                 ? kFileExists
                 : FileResultFromSystemError(error, kFileWriteFailed);
      SetLastError(error);
    }
  }
  if (code != kFileSuccess) {
    const DWORD error = GetLastError();
    DeleteFileW(FsPath(pending));
    SetLastError(error);
  }
  return code;
}

NString RequiredFileErrorText(const WString& path, FileResult code) {
  return "Failed to open required file:\r\n" + WideToAnsi(path) + "\r\n\r\n" +
         FileResultMessage(code);
}

FileResult File::Open(const WString& path, std::uint32_t options) {
  FileResult code = kFileSuccess;
  OpenMode mode{};
  if (IsOpen()) {
    code = kFileAlreadyOpen;
    SetLastError(ERROR_INVALID_PARAMETER);
  } else if (!ModeFor(options, mode) || path.empty()) {
    code = path.empty() ? kFileInvalidName : kFileInvalidParameter;
    SetLastError(ERROR_INVALID_PARAMETER);
  } else {
    handle_ = CreateFileW(FsPath(path), mode.access, mode.share, nullptr, mode.disposition, mode.flags, nullptr);
    if (!IsOpen()) code = OpenFailure(path, GetLastError(), (mode.access & GENERIC_WRITE) != 0);
  }
  if (code != kFileSuccess && (options & kFileRequired)) {
    RaiseFatalError(RequiredFileErrorText(path, code));
  }
  return code;
}

FileResult File::Read(void* buffer, std::size_t size) {
  if (!IsOpen()) return NotOpen();
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (size > 0) {
    const DWORD chunk = size < kMaxChunk ? static_cast<DWORD>(size) : kMaxChunk;
    DWORD done = 0;
    if (!ReadFile(handle_, out, chunk, &done, nullptr)) return kFileReadFailed;
    if (done == 0) {
      SetLastError(ERROR_HANDLE_EOF);
      return kFileReadFailed;
    }
    out += done;
    size -= done;
  }
  return kFileSuccess;
}

FileResult File::Write(const void* data, std::size_t size) {
  if (!IsOpen()) return NotOpen();
  const auto* in = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const DWORD chunk = size < kMaxChunk ? static_cast<DWORD>(size) : kMaxChunk;
    DWORD done = 0;
    if (!WriteFile(handle_, in, chunk, &done, nullptr)) {
      const DWORD error = GetLastError();
      const FileResult code = FileResultFromSystemError(error, kFileWriteFailed);
      SetLastError(error);
      return code;
    }
    if (done == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return kFileWriteFailed;
    }
    in += done;
    size -= done;
  }
  return kFileSuccess;
}

FileResult File::Seek(std::uint64_t offset) {
  if (!IsOpen()) return NotOpen();
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) {
    const DWORD error = GetLastError();
    const FileResult code = FileResultFromSystemError(error, kFileInvalidParameter);
    SetLastError(error);
    return code;
  }
  return kFileSuccess;
}

FileResult File::Size(std::uint64_t& size) const {
  size = 0;
  if (!IsOpen()) return NotOpen();
  LARGE_INTEGER li;
  SetLastError(ERROR_SUCCESS);  // so that a failure without a reason can be told apart
  if (!GetFileSizeEx(handle_, &li)) {
    if (GetLastError() == ERROR_SUCCESS) SetLastError(kUnspecifiedFailure);
    return kFileUnknownError;
  }
  size = static_cast<std::uint64_t>(li.QuadPart);
  return kFileSuccess;
}

FileResult File::Load(std::vector<std::uint8_t>& out) {
  out.clear();
  if (!IsOpen()) return NotOpen();
  std::uint64_t size = 0;
  if (const FileResult code = Size(size); code != kFileSuccess) return code;
  if (size == 0) return kFileSuccess;
  if (size >= kMaxLoadSize) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return kFileTooLarge;
  }
  out.resize(static_cast<std::size_t>(size));  // memory the process lacks ends the run (out_of_memory.cpp)
  FileResult code = Seek(0);
  if (code == kFileSuccess) code = Read(out.data(), out.size());
  if (code != kFileSuccess) {
    const DWORD error = GetLastError();
    out.clear();
    SetLastError(error);
    return kFileReadFailed;
  }
  return kFileSuccess;
}

}  // namespace ks
