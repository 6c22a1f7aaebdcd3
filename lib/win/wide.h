#pragma once
// The one place where portable UTF-16 text meets the Win32 wide APIs.
// wchar_t is 16 bits on Windows, so the conversion is a reinterpretation.

#include <windows.h>

#include "lib/long_path.h"
#include "lib/text.h"

namespace ks {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are UTF-16");

inline const wchar_t* W(const WString& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline wchar_t* W(WString& s) { return reinterpret_cast<wchar_t*>(s.data()); }
inline WString FromW(const wchar_t* s) {
  return s ? WString(reinterpret_cast<const char16_t*>(s)) : WString();
}
inline WString FromW(const wchar_t* s, size_t n) {
  return WString(reinterpret_cast<const char16_t*>(s), n);
}

// A path for one file-system call, at any length: CreateFileW(FsPath(path), ...)
// hands a path beyond the plain limit over in its extended form.
class FsPath {
 public:
  explicit FsPath(const WString& path) : path_(ExtendedLengthPath(path)) {}
  operator const wchar_t*() const { return W(path_); }  // NOLINT: made for call arguments

 private:
  WString path_;
};

}  // namespace ks
