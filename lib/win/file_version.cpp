#include "lib/win/file_version.h"

#include <cstdio>
#include <vector>

#include "lib/win/system_library.h"
#include "lib/win/wide.h"

namespace ks {
bool FileVersionReader::Load() {
  if (!tried_) {
    tried_ = true;
    module_ = LoadSystemLibrary(L"version.dll");
    size_ = ProcAddress<SizeFn>(module_.get(), "GetFileVersionInfoSizeW");
    info_ = ProcAddress<InfoFn>(module_.get(), "GetFileVersionInfoW");
    query_ = ProcAddress<QueryFn>(module_.get(), "VerQueryValueW");
  }
  return size_ && info_ && query_;
}

WString FileVersionReader::VersionText(const WString& path) {
  if (!Load()) return {};
  DWORD ignored = 0;
  const DWORD size = size_(W(path), &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> info(size);
  if (!info_(W(path), 0, size, info.data())) return {};
  WString text;
  struct Translation {
    WORD language, code_page;
  }* translation = nullptr;
  UINT length = 0;
  if (query_(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
      length >= sizeof(Translation)) {
    char key[64];
    std::snprintf(key, sizeof(key), "\\StringFileInfo\\%04x%04x\\FileVersion",
                  static_cast<unsigned>(translation->language), static_cast<unsigned>(translation->code_page));
    wchar_t* value = nullptr;
    if (query_(info.data(), W(Widen(key)), reinterpret_cast<void**>(&value), &length) && value) text = FromW(value);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  if (text.empty() && query_(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
    char numbers[64];
    std::snprintf(numbers, sizeof(numbers), "%u.%u.%u.%u", static_cast<unsigned>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned>(HIWORD(fixed->dwFileVersionLS)),
                  static_cast<unsigned>(LOWORD(fixed->dwFileVersionLS)));
    text = Widen(numbers);
  }
  for (char16_t& c : text)
    if (c == u',') c = u'.';
  return text;
}

}  // namespace ks
