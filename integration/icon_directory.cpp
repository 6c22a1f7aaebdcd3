#include "integration/icon_directory.h"

namespace ks {
namespace {

constexpr std::size_t kIconDirSize = 6;
constexpr std::size_t kIconEntrySize = 16;
constexpr std::size_t kGroupEntrySize = 14;

std::uint16_t U16At(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t U32At(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
void PutU16(Bytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v & 0xFF));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

}  // namespace

bool ReadIconDirectory(const Bytes& ico, std::vector<IconImage>* images) {
  images->clear();
  if (ico.size() < kIconDirSize) return false;
  const std::size_t count = U16At(ico, 4);
  if (count == 0 || ico.size() < kIconDirSize + count * kIconEntrySize) return false;
  std::vector<IconImage> found;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = kIconDirSize + i * kIconEntrySize;
    IconImage image;
    for (std::size_t k = 0; k < image.entry.size(); ++k) image.entry[k] = ico[at + k];
    image.size = U32At(ico, at + 8);
    image.offset = U32At(ico, at + 12);
    // An image that reaches past the file would make the update read foreign memory.
    if (image.size == 0 || image.offset > ico.size() || image.size > ico.size() - image.offset) return false;
    found.push_back(image);
  }
  *images = std::move(found);
  return true;
}

Bytes BuildGroupIcon(const std::vector<IconImage>& images) {
  Bytes group;
  group.reserve(kIconDirSize + images.size() * kGroupEntrySize);
  PutU16(group, 0);
  PutU16(group, 1);
  PutU16(group, static_cast<std::uint16_t>(images.size()));
  for (std::size_t i = 0; i < images.size(); ++i) {
    group.insert(group.end(), images[i].entry.begin(), images[i].entry.end());
    PutU16(group, static_cast<std::uint16_t>(i + 1));
  }
  return group;
}

}  // namespace ks
