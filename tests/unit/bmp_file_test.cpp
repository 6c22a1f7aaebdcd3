#include "ui/bmp_file.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A bitmap file of `width` x `height` pixels at `bits` per pixel with a full colour table.
Bytes Bmp(int width, int height, std::uint16_t bits, std::uint32_t compression = 0) {
  const std::size_t table = bits <= 8 ? (std::size_t{1} << bits) * 4 : compression == 3 ? 12 : 0;
  const std::size_t row = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
  const std::size_t offset = 14 + 40 + table;
  Bytes b(offset + row * static_cast<std::size_t>(height < 0 ? -height : height), 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<std::uint32_t>(b.size()));
  Put32(b, 10, static_cast<std::uint32_t>(offset));
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<std::uint32_t>(width));
  Put32(b, 22, static_cast<std::uint32_t>(height));
  Put16(b, 26, 1);
  Put16(b, 28, bits);
  Put32(b, 30, compression);
  return b;
}

TEST(BmpFileTest, ReadsTheLayout) {
  BmpLayout layout;
  ASSERT_TRUE(ReadBmpLayout(Bmp(3, 2, 24), &layout));
  EXPECT_EQ(layout.info_offset, 14u);
  EXPECT_EQ(layout.bits_offset, 54u);
  EXPECT_EQ(layout.bits_size, 24u);  // rows of 9 bytes padded to 12
  EXPECT_EQ(layout.width, 3);
  EXPECT_EQ(layout.height, 2);
  ASSERT_TRUE(ReadBmpLayout(Bmp(5, -4, 8), &layout));
  EXPECT_EQ(layout.height, 4);
  EXPECT_EQ(layout.bits_offset, 54u + 1024u);
  EXPECT_TRUE(ReadBmpLayout(Bmp(2, 2, 32, 3), &layout));
  EXPECT_TRUE(ReadBmpLayout(Bmp(17, 1, 1), &layout));
}

TEST(BmpFileTest, RefusesWhatCannotBeDrawnWhole) {
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"empty", {}},
      {"no BM", [] { Bytes b = Bmp(2, 2, 24); b[1] = 'X'; return b; }()},
      {"rows cut short", [] { Bytes b = Bmp(4, 4, 24); b.resize(b.size() - 1); return b; }()},
      {"rows before the table", [] { Bytes b = Bmp(2, 2, 8); Put32(b, 10, 60); return b; }()},
      {"rows beyond the file", [] { Bytes b = Bmp(2, 2, 24); Put32(b, 10, 0xFFFFFFF0); return b; }()},
      {"header larger than the file", [] { Bytes b = Bmp(2, 2, 24); Put32(b, 14, 0x7FFFFFFF); return b; }()},
      {"old core header", [] { Bytes b = Bmp(2, 2, 24); Put32(b, 14, 12); return b; }()},
      {"zero width", Bmp(0, 2, 24)},
      {"zero height", Bmp(2, 0, 24)},
      {"too wide", [] { Bytes b = Bmp(2, 2, 24); Put32(b, 18, kMaxBmpSide + 1); return b; }()},
      {"negative width", [] { Bytes b = Bmp(2, 2, 24); Put32(b, 18, 0xFFFFFFFE); return b; }()},
      {"two planes", [] { Bytes b = Bmp(2, 2, 24); Put16(b, 26, 2); return b; }()},
      {"7 bits", Bmp(2, 2, 7)},
      {"run-length encoded", Bmp(2, 2, 8, 1)},
      {"bit fields at 24 bits", Bmp(2, 2, 24, 3)},
      {"more colours than bits", [] { Bytes b = Bmp(2, 2, 4); Put32(b, 46, 17); return b; }()},
  };
  for (const auto& c : cases) {
    BmpLayout layout;
    EXPECT_FALSE(ReadBmpLayout(c.bytes, &layout)) << c.name;
  }
}

}  // namespace
}  // namespace ks
