#pragma once
// The wizard's dialog templates carry the engine's own font; the product may
// name another face and size. Dialog units follow the template's font, so
// the font is changed in a copy of the template before the dialog is made:
// every page then keeps its proportions in the author's font.

#include <cstdint>
#include <optional>

#include "core/bytes.h"
#include "lib/text.h"

namespace ks {

struct DialogFont {
  WString face;         // empty: the template's face stays
  int points = 0;       // 0 or less: the template's size stays
};

// A copy of the extended dialog template `dialog` (DLGTEMPLATEEX) with the
// font replaced; nullopt when the bytes are no such template or it names no
// font. The controls that follow the header are kept as they are.
std::optional<Bytes> WithDialogFont(const Bytes& dialog, const DialogFont& font);

}  // namespace ks
