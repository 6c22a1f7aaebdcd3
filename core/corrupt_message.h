#pragma once
// The text of the corrupt-installer report, built from plain values so that
// its wording can be checked without Windows.

#include "lib/text.h"

namespace ks {

// Used when the archive carries no localized text 13.
extern const char16_t kDefaultCorruptText[];

// `localized` (or the built-in text when empty) with its "%d" filled with the
// code. The text comes from the archive, so only the first "%d" is filled and
// "%%" becomes "%"; any other "%" sequence stays as it is.
WString CorruptMessage(WStringView localized, int code);

// "\r\nSystem error, code %s: %s" filled with the code text and the system message.
WString SystemErrorSuffix(WStringView code_text, WStringView system_text);

}  // namespace ks
