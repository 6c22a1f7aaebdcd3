#include "ui/bmp_file.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "bmp_fixture.h"

namespace ks {
namespace {

using test::StoreLe16At;
using test::StoreLe32At;
using test::TestBmp;

TEST(BmpFileTest, ReadsTheLayout) {
  BmpLayout layout;
  ASSERT_TRUE(ReadBmpLayout(TestBmp(3, 2, 24), &layout));
  EXPECT_EQ(layout.info_offset, 14u);
  EXPECT_EQ(layout.bits_offset, 54u);
  EXPECT_EQ(layout.bits_size, 24u);  // rows of 9 bytes padded to 12
  EXPECT_EQ(layout.width, 3);
  EXPECT_EQ(layout.height, 2);
  ASSERT_TRUE(ReadBmpLayout(TestBmp(5, -4, 8), &layout));
  EXPECT_EQ(layout.height, 4);
  EXPECT_EQ(layout.bits_offset, 54u + 1024u);
  EXPECT_TRUE(ReadBmpLayout(TestBmp(2, 2, 32, 3), &layout));
  EXPECT_TRUE(ReadBmpLayout(TestBmp(17, 1, 1), &layout));
}

TEST(BmpFileTest, RefusesWhatCannotBeDrawnWhole) {
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"empty", {}},
      {"no BM", [] { Bytes b = TestBmp(2, 2, 24); b[1] = 'X'; return b; }()},
      {"rows cut short", [] { Bytes b = TestBmp(4, 4, 24); b.resize(b.size() - 1); return b; }()},
      {"rows before the table", [] { Bytes b = TestBmp(2, 2, 8); StoreLe32At(b, 10, 60); return b; }()},
      {"rows beyond the file", [] { Bytes b = TestBmp(2, 2, 24); StoreLe32At(b, 10, 0xFFFFFFF0); return b; }()},
      {"header larger than the file", [] { Bytes b = TestBmp(2, 2, 24); StoreLe32At(b, 14, 0x7FFFFFFF); return b; }()},
      {"old core header", [] { Bytes b = TestBmp(2, 2, 24); StoreLe32At(b, 14, 12); return b; }()},
      {"zero width", TestBmp(0, 2, 24)},
      {"zero height", TestBmp(2, 0, 24)},
      {"too wide", [] { Bytes b = TestBmp(2, 2, 24); StoreLe32At(b, 18, kMaxBmpSide + 1); return b; }()},
      {"negative width", [] { Bytes b = TestBmp(2, 2, 24); StoreLe32At(b, 18, 0xFFFFFFFE); return b; }()},
      {"two planes", [] { Bytes b = TestBmp(2, 2, 24); StoreLe16At(b, 26, 2); return b; }()},
      {"7 bits", TestBmp(2, 2, 7)},
      {"run-length encoded", TestBmp(2, 2, 8, 1)},
      {"bit fields at 24 bits", TestBmp(2, 2, 24, 3)},
      {"more colours than bits", [] { Bytes b = TestBmp(2, 2, 4); StoreLe32At(b, 46, 17); return b; }()},
  };
  for (const auto& c : cases) {
    BmpLayout layout;
    EXPECT_FALSE(ReadBmpLayout(c.bytes, &layout)) << c.name;
  }
}

// The rows of a picture, each filled with its row number plus `base`, so a
// resource that turned or shifted them shows it.
Bytes WithNumberedRows(Bytes file, std::size_t row, std::uint8_t base) {
  const std::size_t bits = file[10] | (file[11] << 8);
  for (std::size_t at = bits; at < file.size(); ++at) file[at] = static_cast<std::uint8_t>(base + (at - bits) / row);
  return file;
}

TEST(BmpFileTest, ResourceIsThePlainHeaderTableAndBottomUpRows) {
  // A header of a later version (108 bytes) with its masks inside, and a gap
  // between the header and the rows.
  Bytes v4 = TestBmp(2, 3, 32, 3);
  v4.erase(v4.begin() + 54, v4.begin() + 66);  // the masks behind the plain header
  v4.insert(v4.begin() + 54, 68 + 20, 0);
  StoreLe32At(v4, 14, 108);
  StoreLe32At(v4, 54, 0x00FF0000);
  StoreLe32At(v4, 10, 14 + 108 + 20);
  StoreLe32At(v4, 2, static_cast<std::uint32_t>(v4.size()));
  const struct {
    const char* name;
    Bytes file;
    std::size_t row;
    std::size_t table;     // bytes between the header and the rows in the resource
    bool top_down;
  } cases[] = {
      {"24 bits bottom-up", WithNumberedRows(TestBmp(3, 2, 24), 12, 1), 12, 0, false},
      {"24 bits top-down", WithNumberedRows(TestBmp(3, -4, 24), 12, 1), 12, 0, true},
      {"8 bits with its table", WithNumberedRows(TestBmp(5, 2, 8), 8, 1), 8, 1024, false},
      {"bit fields behind a plain header", WithNumberedRows(TestBmp(2, 2, 16, 3), 4, 1), 4, 12, false},
      {"later header with its masks", WithNumberedRows(v4, 8, 1), 8, 12, false},
      {"24 bits with a colour count", [] {
         Bytes b = WithNumberedRows(TestBmp(1, 2, 24), 4, 1);
         StoreLe32At(b, 46, 16);
         return b;
       }(), 4, 0, false},
  };
  for (const auto& c : cases) {
    BmpLayout layout;
    ASSERT_TRUE(ReadBmpLayout(c.file, &layout)) << c.name;
    Bytes resource;
    ASSERT_TRUE(BmpResourceFromFile(c.file, &resource)) << c.name;
    ASSERT_EQ(resource.size(), 40 + c.table + layout.bits_size) << c.name;
    EXPECT_EQ(resource[0], 40) << c.name;
    EXPECT_EQ(resource[8] | (resource[9] << 8), layout.height) << c.name << ": the height is positive";
    EXPECT_EQ(resource[11], 0) << c.name;
    EXPECT_EQ(resource[32], 0) << c.name << ": no colour count above 8 bits, the file's count below";
    const std::size_t info_size = c.file[14];
    const std::size_t masks_at = 14 + 40;
    if (c.table > 0) {
      const std::size_t from = c.table == 12 ? masks_at : 14 + info_size;
      EXPECT_TRUE(std::equal(resource.begin() + 40, resource.begin() + 40 + static_cast<std::ptrdiff_t>(c.table),
                             c.file.begin() + static_cast<std::ptrdiff_t>(from)))
          << c.name;
    }
    for (int y = 0; y < layout.height; ++y) {
      const int from = c.top_down ? layout.height - 1 - y : y;
      EXPECT_EQ(resource[40 + c.table + c.row * static_cast<std::size_t>(y)], 1 + from) << c.name << " row " << y;
    }
  }
  Bytes refused = TestBmp(2, 2, 24);
  refused.pop_back();
  Bytes untouched = {1, 2, 3};
  EXPECT_FALSE(BmpResourceFromFile(refused, &untouched));
  EXPECT_EQ(untouched, (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace ks
