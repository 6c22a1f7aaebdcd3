#pragma once
// The system's message for an error code.

#include <cstdint>

#include "lib/text.h"

namespace ks {

// The system's message for `code` in the user's language, with the English
// one appended when it differs (ComposeSystemErrorText in lib/error_text.h).
WString SystemErrorText(std::uint32_t code);
// Whether the system has a message of its own for `code` (in the user's
// language or in English); SystemErrorText makes one up when it has none.
bool HasSystemMessage(std::uint32_t code);

}  // namespace ks
