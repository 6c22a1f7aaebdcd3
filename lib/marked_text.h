#pragma once
// Marked text: 8-bit text in which a leading "|" means the rest is UTF-8;
// otherwise the bytes are in the system ANSI code page.

#include "lib/text.h"

namespace ks {

// Plain bytes when every character is below 128, else "|" and UTF-8. With
// `allow_ansi`, text that survives a round trip through the system ANSI code
// page is written in it without a mark. Text that itself begins with "|"
// always gets the mark, so that the reader does not take its first character
// for one.
NString EncodeMarkedText(WStringView text, bool allow_ansi = false);

WString DecodeMarkedText(NStringView marked);

}  // namespace ks
