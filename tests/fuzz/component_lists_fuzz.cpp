// The uninstaller reads "SharedFiles" and "ProductFonts" from the registry,
// where anybody with the rights may have changed them: any bytes must parse
// without a crash, and what was read must read back the same once written
// again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/font_list.h"
#include "engine/placement_rules.h"
#include "integration/shared_files.h"

namespace {

void CheckSharedFiles(ks::NStringView input) {
  const std::vector<ks::SharedFileListing> listings = ks::ParseSharedFiles(input);
  ks::NString text;
  for (const ks::SharedFileListing& l : listings) {
    ks::NString entry = l.path;
    if (l.type_library) entry += ks::kSharedTypeLibraryMarker;
    if (l.keep) entry += ks::kSharedKeepMarker;
    if (l.com_server) entry += ks::kSharedComServerMarker;
    ks::AppendSharedEntry(text, ks::QuotedSharedEntry(entry));
  }
  if (ks::ParseSharedFiles(text) != listings) std::abort();
}

void CheckFontList(ks::NStringView input) {
  const std::vector<ks::FontListItem> items = ks::ParseFontList(input);
  ks::NString text;
  for (const ks::FontListItem& item : items) text += ks::FontListEntry(item.registered_name, item.file_name);
  if (ks::ParseFontList(text) != items) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ks::NStringView input(reinterpret_cast<const char*>(data), size);
  CheckSharedFiles(input);
  CheckFontList(input);
  return 0;
}
