#include "engine/win/reboot_replacement.h"

#include "core/bytes.h"
#include "engine/reboot_replacement.h"
#include "engine/special_folders.h"
#include "engine/win/special_folders.h"
#include "lib/win/file.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr DWORD kMoveReplaceAtReboot = MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT;

bool IsFolder(const WString& path) {
  const DWORD a = GetFileAttributesW(FsPath(path));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(const WString& path) { return GetFileAttributesW(FsPath(path)) != INVALID_FILE_ATTRIBUTES; }

WString WindowsFolder() {
  const UINT n = GetWindowsDirectoryW(nullptr, 0);
  if (n == 0) return WString();
  WString out(n, u'\0');
  out.resize(GetWindowsDirectoryW(W(out), n));
  return out;
}

// The NT family has MoveFileExW; Windows 9x (top bit of GetVersion) has only
// the rename list that its wininit.exe works through at start-up.
bool IsNtFamily() { return (GetVersion() & 0x80000000u) == 0; }

using MoveFileExFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
MoveFileExFn MoveFileExFunction() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<MoveFileExFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "MoveFileExW")))
                : nullptr;
}

bool LegacyAllowed() { return !IsNtFamily() || Exists(JoinPath(WindowsFolder(), u"wininit.exe")); }

// The short form, or the long path when the file has no short name.
NString ShortNarrow(const WString& path) {
  const DWORD n = GetShortPathNameW(W(path), nullptr, 0);
  if (n == 0) return WideToAnsi(path);
  WString out(n, u'\0');
  const DWORD written = GetShortPathNameW(W(path), W(out), n);
  if (written == 0 || written >= n) return WideToAnsi(path);
  out.resize(written);
  return WideToAnsi(out);
}

bool ValidPath(const WString& path) {
  if (path.find_first_not_of(u" \t\r\n") == WString::npos) return false;
  return path.find_first_of(u"<>\"|?*") == WString::npos;
}

FileResult CreateExclusive(const WString& path) {
  OwnedHandle h;
  HANDLE raw = CreateFileW(FsPath(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return FileResultFromSystemError(GetLastError());
  h.reset(raw);
  return kFileSuccess;
}

WString SystemTempName(const WString& folder) { return SystemTempFileName(folder, kTempPrefix); }

std::uint64_t Seed() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return static_cast<std::uint64_t>(counter.QuadPart) ^ (std::uint64_t{GetCurrentProcessId()} << 32);
}

}  // namespace

DWORD CreateFolderTree(const WString& folder, WString* blocking_file) {
  if (folder.empty() || IsFolder(folder)) return 0;
  WString path = folder;
  while (!path.empty() && path.back() == u'\\') path.pop_back();
  if (Exists(path)) {
    if (blocking_file) *blocking_file = path;
    return ERROR_ALREADY_EXISTS;
  }
  const std::size_t cut = path.rfind(u'\\');
  if (cut != WString::npos && cut > 0) {
    const WString parent = path.substr(0, cut);
    if (!(parent.size() == 2 && parent[1] == u':')) {
      const DWORD error = CreateFolderTree(parent, blocking_file);
      if (error != 0) return error;
    }
  }
  if (CreateDirectoryW(FsPath(path), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
    if (IsFolder(path)) return 0;
    if (blocking_file) *blocking_file = path;
    return ERROR_ALREADY_EXISTS;
  }
  return GetLastError();
}

WString MakeTempName(const WString& folder, const WString& extension) {
  static TempNameGenerator generator(Seed());
  TempNameSystem sys;
  sys.create_folder = [](const WString& f) { return CreateFolderTree(f) == 0; };
  sys.exists = Exists;
  sys.create_exclusive = CreateExclusive;
  sys.temp_folder = [] { return SpecialFolderPath(SpecialFolder::kTemp); };
  sys.system_temp_name = SystemTempName;
  return MakeTempNameWith(folder, extension, sys, generator);
}

bool AddWininitRenameLine(const WString& windows_folder, NStringView destination, NStringView source) {
  const WString path = JoinPath(windows_folder, u"wininit.ini");
  File file;
  Bytes existing;
  // A missing file is created by the write below.
  if (file.Open(path, kFileRead) == kFileSuccess && file.Load(existing) != kFileSuccess) return false;
  const NString text = AddWininitRename(NString(existing.begin(), existing.end()), destination, source);
  file.Close();
  if (file.Open(path, kFileWrite) != kFileSuccess) return false;
  return file.Write(text.data(), text.size()) == kFileSuccess;
}

bool ScheduleReplacement(const WString& destination, const WString& source) {
  if (!ValidPath(destination)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!Exists(source)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (EqualsIgnoreCase(destination, source)) return true;
  bool done = false;
  if (IsNtFamily()) {
    const MoveFileExFn move = MoveFileExFunction();
    done = move && move(FsPath(source), FsPath(destination), kMoveReplaceAtReboot);
    if (!done && !LegacyAllowed()) return false;
  }
  if (!done) {
    const DWORD before = GetLastError();
    done = AddWininitRenameLine(WindowsFolder(), ShortNarrow(destination), ShortNarrow(source));
    if (!done) SetLastError(before ? before : GetLastError());
  }
  if (done) SetLastError(ERROR_BUSY);
  return done;
}

// On failure the thread's last error is the system call's, so that callers
// can report why, even when the legacy list was tried after it.
bool ScheduleDeletion(const WString& path) {
  if (!IsNtFamily()) return AddWininitRenameLine(WindowsFolder(), "NUL", ShortNarrow(path));
  const MoveFileExFn move = MoveFileExFunction();
  if (move && move(FsPath(path), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return true;
  const DWORD error = move ? GetLastError() : ERROR_CALL_NOT_IMPLEMENTED;
  if (LegacyAllowed() && AddWininitRenameLine(WindowsFolder(), "NUL", ShortNarrow(path))) return true;
  SetLastError(error);
  return false;
}

}  // namespace ks
