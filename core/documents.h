#pragma once
// The licence and readme documents of the settings: each is either rich text
// (RTF, as 8-bit or UTF-16 text) or plain UTF-16LE text, with or without a
// byte-order mark. The pages show them; the finishing steps save them.

#include "core/bytes.h"
#include "lib/text.h"

namespace ks {

// Whether a text begins with "{\rtf", as 8-bit or as UTF-16LE text.
bool IsRtfText(const Bytes& text);

// Begins with the UTF-16LE byte-order mark FF FE.
bool HasUtf16Bom(const Bytes& text);

// A plain document as text: UTF-16LE without its byte-order mark; an odd
// last byte is dropped.
WString PlainDocumentText(const Bytes& text);

// A rich-text document as the 8-bit text an RTF reader takes: a UTF-16 one is
// narrowed (RTF is 7-bit text; a character above 255 becomes "?").
NString RtfDocumentText(const Bytes& text);

}  // namespace ks
