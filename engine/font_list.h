#pragma once
// The list of a product's fonts that the installation keeps for the
// uninstaller ("ProductFonts"): pairs of quoted items, the font's registered
// name (UTF-8) and its file name (marked text), each item in double quotes
// with a doubled quote standing for one, the items separated by white space.
// The writer and the reader live here side by side.

#include <vector>

#include "lib/text.h"

namespace ks {

// One entry: "\"name\" \"file\" " (the trailing blank separates it from the next).
NString FontListEntry(NStringView registered_name, NStringView file_name);

struct FontListItem {
  NString registered_name;  // UTF-8
  NString file_name;        // marked text
  bool operator==(const FontListItem& o) const {
    return registered_name == o.registered_name && file_name == o.file_name;
  }
};

// The pairs in list order. Damaged text never fails: reading stops at the
// first item that is not in quotes or not closed, and an item without its
// partner is dropped.
std::vector<FontListItem> ParseFontList(NStringView text);

// Below HKEY_LOCAL_MACHINE: where fonts are registered, on the NT family and
// on the older systems.
inline constexpr const char16_t* kFontsKeyNt = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
inline constexpr const char16_t* kFontsKey9x = u"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";

}  // namespace ks
