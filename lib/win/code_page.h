#pragma once
// The system ANSI code page (CP_ACP) as the converter of lib/text.h.

namespace ks {

// Makes AnsiToWide/WideToAnsi use the system's ANSI code page. The entry
// point calls it first thing; until then code page 1252 is used.
void UseSystemAnsiCodePage();

}  // namespace ks
