#pragma once
// Fonts: the entry in the system's fonts key (HKLM, 32-bit view, where a
// 32-bit installer writes it), the font resource, and at uninstallation the
// file in the Fonts folder. The list the uninstaller reads is
// engine/font_list.h.

#include "integration/component_texts.h"
#include "lib/text.h"

namespace ks {

// The fonts key of this system (engine/font_list.h).
const char16_t* FontsKeyPath();

// After a font file is placed: the value named after the title (UTF-8) holds
// the record's file name (marked text), and the system adds the font. The
// results are not reported. `destination` is shown in the status line.
void RegisterFont(NStringView title, NStringView file_name, const WString& destination,
                  const ComponentProgress& progress);

// The uninstaller's removal of one font: the entry, the font resource and
// the file of that name in the Fonts folder. False when the file name is no
// plain name of that folder (damaged data), which removes nothing.
bool RemoveFont(NStringView registered_name, NStringView file_name);

// Tells every top-level window that the set of fonts changed.
void AnnounceFontChange();

}  // namespace ks
