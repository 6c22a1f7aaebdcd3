#include "ui/bmp_file.h"

namespace ks {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kRgb = 0, kBitFields = 3;

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t U16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }

bool Inside(std::size_t offset, std::size_t size, std::size_t total) {
  return offset <= total && size <= total - offset;
}

}  // namespace

bool ReadBmpLayout(const Bytes& file, BmpLayout* layout) {
  if (file.size() < kFileHeaderSize + kInfoHeaderSize || file[0] != 'B' || file[1] != 'M') return false;
  const std::uint32_t bits_offset = U32(file, 10);
  const std::size_t info = kFileHeaderSize;
  const std::uint32_t info_size = U32(file, info);
  if (info_size < kInfoHeaderSize || !Inside(info, info_size, file.size())) return false;
  const auto width = static_cast<std::int32_t>(U32(file, info + 4));
  const auto height_field = static_cast<std::int32_t>(U32(file, info + 8));
  const std::uint16_t planes = U16(file, info + 12);
  const std::uint16_t bit_count = U16(file, info + 14);
  const std::uint32_t compression = U32(file, info + 16);
  const std::uint32_t colours_used = U32(file, info + 32);
  if (width <= 0 || width > kMaxBmpSide || height_field == 0 || height_field < -kMaxBmpSide ||
      height_field > kMaxBmpSide || planes != 1) {
    return false;
  }
  const int height = height_field < 0 ? -height_field : height_field;
  if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 16 && bit_count != 24 && bit_count != 32)
    return false;
  // Run-length encoded rows are refused: their runs could reach past the
  // rows the header promises, and nothing would notice before drawing.
  if (compression == kBitFields && bit_count != 16 && bit_count != 32) return false;
  if (compression != kRgb && compression != kBitFields) return false;
  std::size_t table = 0;
  if (bit_count <= 8) {
    const std::size_t most = std::size_t{1} << bit_count;
    if (colours_used > most) return false;
    table = (colours_used == 0 ? most : colours_used) * 4;
  }
  // The three colour masks follow a plain info header; later headers hold them.
  if (compression == kBitFields && info_size == kInfoHeaderSize) table = 12;
  // A later header holds the masks whole, in its bytes 40 to 52.
  if (compression == kBitFields && info_size > kInfoHeaderSize && info_size < kInfoHeaderSize + 12) return false;
  if (!Inside(info, info_size + table, file.size()) || bits_offset < info + info_size + table) return false;
  const std::size_t row = ((static_cast<std::size_t>(width) * bit_count + 31) / 32) * 4;
  const std::size_t bits_size = row * static_cast<std::size_t>(height);
  if (!Inside(bits_offset, bits_size, file.size())) return false;
  layout->info_offset = info;
  layout->bits_offset = bits_offset;
  layout->bits_size = bits_size;
  layout->width = width;
  layout->height = height;
  return true;
}

bool BmpResourceFromFile(const Bytes& file, Bytes* resource) {
  BmpLayout layout;
  if (!ReadBmpLayout(file, &layout)) return false;
  const std::size_t info = layout.info_offset;
  const std::uint32_t info_size = U32(file, info);
  const std::uint16_t bit_count = U16(file, info + 14);
  const std::uint32_t compression = U32(file, info + 16);
  const std::uint32_t colours_used = U32(file, info + 32);
  // The masks sit at the same place behind the first 40 bytes whether they
  // follow a plain header or belong to a later one.
  std::size_t table_at = info + info_size;
  std::size_t table = 0;
  if (compression == kBitFields) {
    table_at = info + kInfoHeaderSize;
    table = 12;
  } else if (bit_count <= 8) {
    table = (colours_used == 0 ? std::size_t{1} << bit_count : colours_used) * 4;
  }
  Bytes out(file.begin() + static_cast<std::ptrdiff_t>(info),
            file.begin() + static_cast<std::ptrdiff_t>(info + kInfoHeaderSize));
  StoreLe32(&out[0], kInfoHeaderSize);
  StoreLe32(&out[8], static_cast<std::uint32_t>(layout.height));
  StoreLe32(&out[20], static_cast<std::uint32_t>(layout.bits_size));
  // Above 8 bits a colour count announces a table the loader would skip.
  if (bit_count > 8) StoreLe32(&out[32], 0);
  out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(table_at),
             file.begin() + static_cast<std::ptrdiff_t>(table_at + table));
  const std::size_t row = layout.bits_size / static_cast<std::size_t>(layout.height);
  const bool top_down = static_cast<std::int32_t>(U32(file, info + 8)) < 0;
  for (int y = 0; y < layout.height; ++y) {
    const int from = top_down ? layout.height - 1 - y : y;
    const auto start = file.begin() + static_cast<std::ptrdiff_t>(layout.bits_offset + row * static_cast<std::size_t>(from));
    out.insert(out.end(), start, start + static_cast<std::ptrdiff_t>(row));
  }
  *resource = std::move(out);
  return true;
}

}  // namespace ks
