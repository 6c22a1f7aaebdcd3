// The background picture comes from the archive or from a file beside the
// uninstaller, the author's pictures from the manifest: whatever the bytes,
// an accepted picture's rows lie inside them, and its resource form holds
// the plain header and every row.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ui/bmp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ks::Bytes file(data, data + size);
  ks::BmpLayout layout;
  if (!ks::ReadBmpLayout(file, &layout)) return 0;
  if (layout.bits_offset > file.size() || layout.bits_size > file.size() - layout.bits_offset) std::abort();
  if (layout.info_offset + 40 > layout.bits_offset) std::abort();
  if (layout.width <= 0 || layout.height <= 0 || layout.width > ks::kMaxBmpSide || layout.height > ks::kMaxBmpSide)
    std::abort();
  ks::Bytes resource;
  if (!ks::BmpResourceFromFile(file, &resource) || resource.size() < 40 + layout.bits_size) std::abort();
  return 0;
}
