#include "engine/win/file_removal.h"

#include <windows.h>
#include <shellapi.h>

#include "engine/file_removal_rules.h"
#include "engine/path_variables.h"
#include "engine/special_folders.h"
#include "engine/win/reboot_replacement.h"
#include "lib/marked_text.h"
#include "lib/win/system_error.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

bool Exists(const WString& path) { return GetFileAttributesW(FsPath(path)) != INVALID_FILE_ATTRIBUTES; }

// On failure the error of the system's call is the thread's last error.
bool DeleteAtRestart(const WString& path, bool* restart_needed) {
  if (!ScheduleDeletion(path)) return false;
  if (restart_needed) *restart_needed = true;
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

bool DeleteFileWithOptions(const WString& path, unsigned options, bool* restart_needed) {
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if ((options & kDeleteKeepAttributes) == 0) {
    const DWORD a = GetFileAttributesW(FsPath(path));
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0)
      SetFileAttributesW(FsPath(path), a & ~FILE_ATTRIBUTE_READONLY);
  }
  if (options & kDeleteToRecycleBin) return ToRecycleBin(path);
  if (options & kDeleteAtRestart) return DeleteAtRestart(path, restart_needed);
  if (DeleteFileW(FsPath(path))) return true;
  const DWORD error = GetLastError();
  if ((options & kDeleteMissingIsDeleted) && IsMissingError(error)) return true;
  if ((options & kDeleteAtRestartOnFailure) && !IsMissingError(error)) return DeleteAtRestart(path, restart_needed);
  SetLastError(error);
  return false;
}

bool DeleteMarkedFile(NStringView marked, unsigned options, bool* restart_needed) {
  return DeleteFileWithOptions(DecodeMarkedText(marked), options, restart_needed);
}

bool RemoveFolder(const WString& given) {
  WString path = given;
  while (path.size() > 3 && path.back() == u'\\') path.pop_back();
  if (path.size() <= 3) {
    SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  // An empty folder goes at once: looking for names that are not there costs
  // a scan of the folder under Wine, and most folders removed are empty.
  if (RemoveDirectoryW(FsPath(path))) return true;
  DWORD error = GetLastError();
  if (!IsMissingError(error)) {
    // The shell leaves these behind in folders it has shown.
    bool deleted = false;
    for (const char16_t* name : {u"thumbs.db", u"desktop.ini"}) {
      const WString file = path + u"\\" + name;
      if (Exists(file) && DeleteFileWithOptions(file, 0)) deleted = true;
    }
    if (deleted && RemoveDirectoryW(FsPath(path))) return true;
    if (deleted) error = GetLastError();
  }
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
  HANDLE find = FindFirstFileW(FsPath(path + u"\\*.*"), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const WString name = FromW(fd.cFileName);
      if (name == u"." || name == u"..") continue;
      const WString full = path + u"\\" + name;
      const bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      // A junction or link is removed itself; what it points to stays.
      const bool link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (folder && !link) DeleteFolderTree(full);
      else if (folder) RemoveDirectoryW(FsPath(full));
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
  ConditionalDeletionPass& pass;
  bool installing;
  int handled = 0;
};

// One matching file of a record; returns false when it counts as a failure.
bool DeleteOneFile(const ConditionalDeletion& r, const WString& path, DWORD attributes, PassContext& c) {
  InstallLog& log = *c.pass.log;
  constexpr DWORD kCleared = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ++c.handled;
  if (attributes & kCleared) SetFileAttributesW(FsPath(path), attributes & ~kCleared);
  WString tail = u".";  // deletion only at restart
  if ((r.flags & kDeleteOnlyAtRestart) == 0) {
    if (DeleteFileWithOptions(path, 0)) {
      if (c.installing) log.Wide(u"Deleted file: " + path + u"\r\n");
      return true;
    }
    const DWORD error = GetLastError();
    if ((r.flags & kDeleteAtRestartIfBusy) == 0) {
      if (c.installing) log.Wide(u"Failed to delete file \"" + path + u"\": " + SystemErrorText(error) + u"\r\n");
      return false;
    }
    tail = u": " + SystemErrorText(error);
  }
  if (c.installing) log.Wide(u"File \"" + path + u"\" will be deleted after rebooting" + tail + u"\r\n");
  if (DeleteFileWithOptions(path, kDeleteAtRestart, &c.pass.restart_needed)) return true;
  const DWORD error = GetLastError();
  if (c.installing)
    log.AddFailure(u"Failed to register \"" + path + u"\" for deletion: " + SystemErrorText(error) + u"\r\n");
  return false;
}

// The files of one record; returns the number of failures.
int RunRecord(const ConditionalDeletion& r, PassContext& c) {
  WString pattern = DecodeMarkedText(r.path);
  if (c.pass.expand) pattern = c.pass.expand(pattern);
  if (pattern.empty()) return 0;
  if (!IsAbsolutePath(pattern)) pattern = JoinPath(c.pass.install_dir, pattern);
  const WString folder = FolderOfFile(pattern);
  const WString name_pattern = FileNameOf(pattern);
  int failures = 0;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(FsPath(pattern), &fd);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (!MatchesFileNamePattern(FromW(fd.cFileName), name_pattern)) continue;  // found by its short name
    const std::uint64_t size = (std::uint64_t{fd.nFileSizeHigh} << 32) | fd.nFileSizeLow;
    if (TestDeletionCondition(r, UtcDate(fd.ftLastWriteTime), size) != DeletionTest::kDelete) continue;
    if (!DeleteOneFile(r, JoinPath(folder, FromW(fd.cFileName)), fd.dwFileAttributes, c)) ++failures;
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  return failures;
}

bool HasImpossibleDate(const ConditionalDeletion& r) {
  RecordDate unused;
  return IsDateCondition(r.condition) && !ParseDeletionDate(r.condition_value, &unused);
}

}  // namespace

int RunConditionalDeletions(std::vector<ConditionalDeletion>& records, ConditionalDeletionPass& pass) {
  PassContext context{pass, pass.pass == kInstallationPass};
  // In the archive an impossible date is corrupt data; in Uninstall.DAT it is
  // a damaged record, which must not keep the rest from being removed, now or
  // in any later run: it is dropped.
  if (context.installing) {
    for (const ConditionalDeletion& r : records)
      if ((r.flags & pass.pass) != 0 && HasImpossibleDate(r)) return kCorruptDeletionDate;
  }
  std::vector<ConditionalDeletion> kept;
  for (const ConditionalDeletion& r : records) {
    const bool applies = (r.flags & pass.pass) != 0;
    if (!context.installing && applies && HasImpossibleDate(r)) continue;
    const int failures = applies ? RunRecord(r, context) : 0;
    if (context.installing || failures > 0) kept.push_back(r);
  }
  records.swap(kept);
  if (context.installing && context.handled > 0) pass.log->Wide(u"\r\n");
  return 0;
}

}  // namespace ks
