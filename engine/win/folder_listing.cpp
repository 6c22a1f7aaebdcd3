#include "engine/win/folder_listing.h"

#include <windows.h>

#include "lib/win/wide.h"

namespace ks {
namespace {

bool SameName(const WString& a, const WString& b) {
  return a.size() == b.size() &&
         ::CompareStringOrdinal(W(a), static_cast<int>(a.size()), W(b), static_cast<int>(b.size()), TRUE) ==
             CSTR_EQUAL;
}

}  // namespace

void FolderListing::Use(const WString& folder) {
  if (used_ && folder == folder_) return;
  used_ = true;
  folder_ = folder;
  complete_ = false;
  entries_.clear();
  WIN32_FIND_DATAW fd;
  // The basic form leaves out the short names, which Wine would make up for every entry.
  HANDLE find = ::FindFirstFileExW(FsPath(folder + u"\\*"), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    entries_.emplace_back(FromW(fd.cFileName), fd.dwFileAttributes);
  } while (::FindNextFileW(find, &fd));
  complete_ = ::GetLastError() == ERROR_NO_MORE_FILES;
  ::FindClose(find);
}

ListedAs FolderListing::Find(const WString& name) const {
  if (!complete_) return ListedAs::kUnknown;
  for (const auto& [entry, attributes] : entries_) {
    if (!SameName(entry, name)) continue;
    constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
    return (attributes & kNotPlain) == 0 ? ListedAs::kPlainFile : ListedAs::kUnknown;
  }
  return ListedAs::kAbsent;
}

}  // namespace ks
