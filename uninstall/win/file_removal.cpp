#include "uninstall/win/file_removal.h"

#include <windows.h>
#include <shellapi.h>

#include "core/win/report_corrupt.h"
#include "engine/path_variables.h"
#include "engine/special_folders.h"
#include "engine/win/path_variables.h"
#include "engine/win/reboot_replacement.h"
#include "integration/install_log.h"
#include "integration/win/install_log_file.h"
#include "lib/marked_text.h"
#include "lib/win/wide.h"
#include "uninstall/file_removal_rules.h"

namespace ks {
namespace {

struct RemovalState {
  bool uninstalling = false;
  bool uninstall_restart = false;
  bool install_restart = false;
};

RemovalState& State() {
  static RemovalState state;
  return state;
}

void NoteRestartNeeded() {
  if (State().uninstalling) State().uninstall_restart = true;
  else State().install_restart = true;
}

bool Exists(const WString& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

// On failure the error of the system's call is the thread's last error.
bool DeleteAtRestart(const WString& path) {
  if (!ScheduleDeletion(path)) return false;
  NoteRestartNeeded();
  return true;
}

bool ToRecycleBin(const WString& path) {
  WString from = path;
  from.push_back(u'\0');  // the list ends with two NULs; the string adds the second
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = W(from);
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
  return SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
}

bool IsMissingError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

void SetRemovalMode(bool uninstalling) { State().uninstalling = uninstalling; }
bool UninstallRestartNeeded() { return State().uninstall_restart; }
bool InstallRestartNeeded() { return State().install_restart; }

bool DeleteFileWithOptions(const WString& path, unsigned options) {
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if ((options & kDeleteKeepAttributes) == 0) {
    const DWORD a = GetFileAttributesW(W(path));
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0)
      SetFileAttributesW(W(path), a & ~FILE_ATTRIBUTE_READONLY);
  }
  if (options & kDeleteToRecycleBin) return ToRecycleBin(path);
  if (options & kDeleteAtRestart) return DeleteAtRestart(path);
  if (DeleteFileW(W(path))) return true;
  const DWORD error = GetLastError();
  if ((options & kDeleteMissingIsDeleted) && IsMissingError(error)) return true;
  if ((options & kDeleteAtRestartOnFailure) && !IsMissingError(error)) return DeleteAtRestart(path);
  SetLastError(error);
  return false;
}

bool DeleteMarkedFile(NStringView marked, unsigned options) {
  return DeleteFileWithOptions(DecodeMarkedText(marked), options);
}

bool RemoveFolder(const WString& given) {
  WString path = given;
  while (path.size() > 3 && path.back() == u'\\') path.pop_back();
  if (path.size() <= 3) {
    SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  // The shell leaves these behind in folders it has shown.
  for (const char16_t* name : {u"thumbs.db", u"desktop.ini"}) {
    const WString file = path + u"\\" + name;
    if (Exists(file)) DeleteFileWithOptions(file, 0);
  }
  if (RemoveDirectoryW(W(path))) return true;
  const DWORD error = GetLastError();
  SetLastError(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
  return false;
}

bool RemoveMarkedFolder(NStringView marked) { return RemoveFolder(DecodeMarkedText(marked)); }

bool DeleteFolderTree(const WString& given) {
  WString path = given;
  while (path.size() > 3 && path.back() == u'\\') path.pop_back();
  if (path.size() <= 3) {
    SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(W(path + u"\\*.*"), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const WString name = FromW(fd.cFileName);
      if (name == u"." || name == u"..") continue;
      const WString full = path + u"\\" + name;
      const bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      // A junction or link is removed itself; what it points to stays.
      const bool link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (folder && !link) DeleteFolderTree(full);
      else if (folder) RemoveDirectoryW(W(full));
      else DeleteFileWithOptions(full, 0);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  return RemoveFolder(path);
}

namespace {

bool IsAbsolutePath(const WString& p) { return (!p.empty() && p[0] == u'\\') || (p.size() >= 2 && p[1] == u':'); }

RecordDate UtcDate(const FILETIME& ft) {
  SYSTEMTIME st{};
  RecordDate d;
  if (!FileTimeToSystemTime(&ft, &st)) return d;
  d.year = st.wYear, d.month = st.wMonth, d.day = st.wDay;
  d.hour = st.wHour, d.minute = st.wMinute, d.second = st.wSecond;
  return d;
}

struct PassContext {
  bool installing;
  int handled = 0;
};

// One matching file of a record; returns false when it counts as a failure.
bool DeleteOneFile(const ConditionalDeletion& r, const WString& path, DWORD attributes, PassContext& c) {
  constexpr DWORD kCleared = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ++c.handled;
  if (attributes & kCleared) SetFileAttributesW(W(path), attributes & ~kCleared);
  WString tail = u".";  // deletion only at restart
  if ((r.flags & kDeleteOnlyAtRestart) == 0) {
    if (DeleteFileWithOptions(path, 0)) {
      if (c.installing) LogWide(u"Deleted file: " + path + u"\r\n");
      return true;
    }
    const DWORD error = GetLastError();
    if ((r.flags & kDeleteAtRestartIfBusy) == 0) {
      if (c.installing) LogWide(u"Failed to delete file \"" + path + u"\": " + SystemErrorText(error) + u"\r\n");
      return false;
    }
    tail = u": " + SystemErrorText(error);
  }
  if (c.installing) LogWide(u"File \"" + path + u"\" will be deleted after rebooting" + tail + u"\r\n");
  if (DeleteFileWithOptions(path, kDeleteAtRestart)) return true;
  const DWORD error = GetLastError();
  if (c.installing)
    AppendFailure(u"Failed to register \"" + path + u"\" for deletion: " + SystemErrorText(error) + u"\r\n");
  return false;
}

// The files of one record; returns the number of failures.
int RunRecord(const ConditionalDeletion& r, const WString& install_dir, PassContext& c) {
  WString pattern = DecodeMarkedText(r.path);
  ExpandPathVariables(pattern);
  if (pattern.empty()) return 0;
  if (!IsAbsolutePath(pattern)) pattern = JoinPath(install_dir, pattern);
  const WString folder = FolderOfFile(pattern);
  int failures = 0;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(W(pattern), &fd);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::uint64_t size = (std::uint64_t{fd.nFileSizeHigh} << 32) | fd.nFileSizeLow;
    if (TestDeletionCondition(r, UtcDate(fd.ftLastWriteTime), size) != DeletionTest::kDelete) continue;
    if (!DeleteOneFile(r, JoinPath(folder, FromW(fd.cFileName)), fd.dwFileAttributes, c)) ++failures;
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  return failures;
}

}  // namespace

void RunConditionalDeletions(std::vector<ConditionalDeletion>& records, int pass, const WString& install_dir) {
  PassContext context{pass == kInstallationPass};
  std::vector<ConditionalDeletion> kept;
  for (const ConditionalDeletion& r : records) {
    RecordDate unused;
    const bool applies = (r.flags & pass) != 0;
    if (applies && IsDateCondition(r.condition) && !ParseDeletionDate(r.condition_value, &unused))
      ReportCorrupt(kCorruptDeletionDate, false);
    const int failures = applies ? RunRecord(r, install_dir, context) : 0;
    if (context.installing || failures > 0) kept.push_back(r);
  }
  records.swap(kept);
  if (context.installing && context.handled > 0) LogWide(u"\r\n");
}

}  // namespace ks
