#pragma once
// How error codes read in logs, summaries and messages.

#include <cstdint>

#include "lib/text.h"

namespace ks {

// A non-negative code in decimal; a negative one (a COM-style result) as "0x"
// and eight upper-case hexadecimal digits.
WString ErrorCodeText(std::int32_t code);
NString ErrorCodeTextNarrow(std::int32_t code);

// The parts of the system error text, put together: code 86 is always
// "Incorrect password."; an empty message gives "Error 0x%08X"; trailing white
// space goes; an English message that differs is appended after CR LF.
// SystemErrorText (lib/win/system_error.h) fetches the two messages and calls this.
WString ComposeSystemErrorText(std::uint32_t code, WStringView user_message, WStringView english_message);

}  // namespace ks
