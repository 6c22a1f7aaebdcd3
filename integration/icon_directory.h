#pragma once
// An .ico file's directory and the group-icon resource made from it, so that
// a program's icon can be replaced by the images of an .ico file.

#include <array>
#include <cstdint>
#include <vector>

#include "core/bytes.h"

namespace ks {

struct IconImage {
  // The first 12 bytes of the image's directory entry: width, height, colour
  // count, reserved, planes, bit count, size in bytes.
  std::array<std::uint8_t, 12> entry{};
  std::size_t offset = 0;  // of the image's bytes in the file
  std::size_t size = 0;
};

// Reads the ICONDIR and its ICONDIRENTRY records. False when the file is too
// short for its directory, holds no image, or an image lies outside the file.
bool ReadIconDirectory(const Bytes& ico, std::vector<IconImage>* images);

// The RT_GROUP_ICON resource: the words 0, 1 and the image count, then per
// image its 12 entry bytes and the 16-bit identifier i (1, 2, ...).
Bytes BuildGroupIcon(const std::vector<IconImage>& images);

inline constexpr std::uint16_t kIconResourceLanguage = 1033;
inline constexpr std::uint16_t kGroupIconId = 1;

}  // namespace ks
