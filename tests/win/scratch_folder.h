#pragma once
// A fresh folder in %TEMP% for one test, removed with everything below it
// (read-only entries included) when the test ends.

#include <windows.h>

#include <string>

#include "lib/text.h"
#include "lib/win/wide.h"

namespace ks::test {

inline void RemoveTree(const WString& path) {
  WIN32_FIND_DATAW fd;
  const WString pattern = path + u"\\*";
  HANDLE find = FindFirstFileW(W(pattern), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const WString name = FromW(fd.cFileName);
      if (name == u"." || name == u"..") continue;
      const WString full = path + u"\\" + name;
      SetFileAttributesW(W(full), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        DeleteFileW(W(full));
      }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  RemoveDirectoryW(W(path));
}

class ScratchFolder {
 public:
  explicit ScratchFolder(const char16_t* stem) {
    WString temp(MAX_PATH + 1, u'\0');
    temp.resize(GetTempPathW(MAX_PATH + 1, W(temp)));
    path_ = temp + stem + Widen(std::to_string(GetCurrentProcessId())) + u"_" +
            Widen(std::to_string(++counter_));
    CreateDirectoryW(W(path_), nullptr);
  }
  ~ScratchFolder() { RemoveTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  WString operator/(const char16_t* name) const { return path_ + u"\\" + name; }
  const WString& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  WString path_;
};

}  // namespace ks::test
