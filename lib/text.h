#pragma once
// Counted strings and code-page conversion.
//
// Wide text is UTF-16 (char16_t) in portable code so that it means the same on
// Linux and Windows; the Win32 layer reinterprets it as wchar_t (see
// lib/win/wide.h). Narrow text is bytes whose code page the caller knows.

#include <cstdint>
#include <string>
#include <string_view>

namespace ks {

using WString = std::u16string;
using WStringView = std::u16string_view;
using NString = std::string;
using NStringView = std::string_view;

// UTF-8 <-> UTF-16. Invalid sequences become U+FFFD; unpaired surrogates are
// encoded as U+FFFD too, so the output is always valid.
WString Utf8ToWide(NStringView utf8);
NString WideToUtf8(WStringView wide);

// Code page 1252 (Western European), the fixed code page of untranslated texts.
WString Cp1252ToWide(NStringView text);
// Characters that code page 1252 lacks become `fallback`.
NString WideToCp1252(WStringView text, char fallback = '?');

// The system ANSI code page. On Windows it is the system's own (CP_ACP); the
// portable build uses code page 1252, and tests may install another converter.
struct AnsiCodePage {
  WString (*to_wide)(NStringView);
  NString (*from_wide)(WStringView, char fallback);
};
void SetAnsiCodePage(const AnsiCodePage& converter);
WString AnsiToWide(NStringView text);
NString WideToAnsi(WStringView text, char fallback = '?');

// ASCII-only helpers; other characters compare and convert unchanged.
char16_t AsciiLower(char16_t c);
bool EqualsIgnoreCase(WStringView a, WStringView b);
bool StartsWithIgnoreCase(WStringView text, WStringView prefix);
bool EqualsIgnoreCase(NStringView a, NStringView b);
bool StartsWithIgnoreCase(NStringView text, NStringView prefix);

// Widens an ASCII literal or text (bytes above 127 are taken as code page 1252).
WString Widen(NStringView ascii);

}  // namespace ks
