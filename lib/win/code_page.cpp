#include "lib/win/code_page.h"

#include <climits>

#include "lib/win/wide.h"

namespace ks {
namespace {

WString SystemAnsiToWide(NStringView text) {
  if (text.empty() || text.size() > INT_MAX) return WString();
  const int in = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), in, nullptr, 0);
  if (n <= 0) return Cp1252ToWide(text);
  WString out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), in, W(out), n);
  return out;
}

NString SystemWideToAnsi(WStringView text, char fallback) {
  if (text.empty() || text.size() > INT_MAX) return NString();
  const wchar_t* in = reinterpret_cast<const wchar_t*>(text.data());
  const int in_size = static_cast<int>(text.size());
  // UTF-8 as the ANSI code page takes no default character.
  const char default_char[2] = {fallback, '\0'};
  const char* fallback_arg = GetACP() == CP_UTF8 ? nullptr : default_char;
  const int n = WideCharToMultiByte(CP_ACP, 0, in, in_size, nullptr, 0, fallback_arg, nullptr);
  if (n <= 0) return WideToCp1252(text, fallback);
  NString out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, in, in_size, out.data(), n, fallback_arg, nullptr);
  return out;
}

}  // namespace

void UseSystemAnsiCodePage() { SetAnsiCodePage({&SystemAnsiToWide, &SystemWideToAnsi}); }

}  // namespace ks
