#include "lib/win/system_error.h"

#include <windows.h>

#include "lib/error_text.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

WString SystemMessage(DWORD code, DWORD language) {
  wchar_t* buffer = nullptr;
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
  const DWORD n = ::FormatMessageW(flags, nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const OwnedLocal owner(buffer);
  return n && buffer ? FromW(buffer, n) : WString();
}

}  // namespace

WString SystemErrorText(std::uint32_t code) {
  WString user = SystemMessage(code, LANGIDFROMLCID(::GetThreadLocale()));
  if (user.empty()) user = SystemMessage(code, LANG_SYSTEM_DEFAULT);
  return ComposeSystemErrorText(code, user, SystemMessage(code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
}

bool HasSystemMessage(std::uint32_t code) {
  return !SystemMessage(code, LANGIDFROMLCID(::GetThreadLocale())).empty() ||
         !SystemMessage(code, LANG_SYSTEM_DEFAULT).empty() ||
         !SystemMessage(code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)).empty();
}

}  // namespace ks
