// The uninstaller icon comes from the archive: any bytes must either be
// refused or give images that lie inside the file, and a group entry per image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "integration/icon_directory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ks::Bytes ico(data, data + size);
  std::vector<ks::IconImage> images;
  if (!ks::ReadIconDirectory(ico, &images)) {
    if (!images.empty()) std::abort();
    return 0;
  }
  for (const ks::IconImage& image : images) {
    if (image.size == 0 || image.offset > ico.size() || image.size > ico.size() - image.offset) std::abort();
  }
  if (ks::BuildGroupIcon(images).size() != 6 + 14 * images.size()) std::abort();
  return 0;
}
