#include "lib/crc32.h"

#include <zlib.h>

#include <algorithm>

namespace ks {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  // zlib takes a uInt length; feed larger buffers in pieces.
  constexpr std::size_t kPiece = 1u << 30;
  uLong value = crc;
  while (size > 0) {
    const std::size_t n = std::min(size, kPiece);
    value = crc32(value, data, static_cast<uInt>(n));
    data += n;
    size -= n;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace ks
