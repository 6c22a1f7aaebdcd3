#pragma once
// Bitmap files for the tests of the pictures: a header, a colour table when
// the depth has one, and zeroed rows.

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"

namespace ks::test {

inline void StoreLe32At(Bytes& b, std::size_t at, std::uint32_t v) { StoreLe32(&b[at], v); }
inline void StoreLe16At(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A bitmap file of `width` x `height` pixels at `bits` per pixel with a full colour table.
inline Bytes TestBmp(int width, int height, std::uint16_t bits, std::uint32_t compression = 0) {
  const std::size_t table = bits <= 8 ? (std::size_t{1} << bits) * 4 : compression == 3 ? 12 : 0;
  const std::size_t row = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
  const std::size_t offset = 14 + 40 + table;
  Bytes b(offset + row * static_cast<std::size_t>(height < 0 ? -height : height), 0);
  b[0] = 'B';
  b[1] = 'M';
  StoreLe32At(b, 2, static_cast<std::uint32_t>(b.size()));
  StoreLe32At(b, 10, static_cast<std::uint32_t>(offset));
  StoreLe32At(b, 14, 40);
  StoreLe32At(b, 18, static_cast<std::uint32_t>(width));
  StoreLe32At(b, 22, static_cast<std::uint32_t>(height));
  StoreLe16At(b, 26, 1);
  StoreLe16At(b, 28, bits);
  StoreLe32At(b, 30, compression);
  return b;
}

}  // namespace ks::test
