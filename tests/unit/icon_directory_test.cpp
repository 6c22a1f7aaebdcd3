#include "integration/icon_directory.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

void Put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// An .ico with images of the given sizes; each image's bytes are its index.
Bytes MakeIco(const std::vector<std::uint32_t>& sizes) {
  Bytes ico;
  Put16(ico, 0);
  Put16(ico, 1);
  Put16(ico, static_cast<unsigned>(sizes.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    ico.push_back(static_cast<std::uint8_t>(16 * (i + 1)));  // width
    ico.push_back(static_cast<std::uint8_t>(16 * (i + 1)));  // height
    ico.push_back(0);                                        // colours
    ico.push_back(0);                                        // reserved
    Put16(ico, 1);                                           // planes
    Put16(ico, 32);                                          // bit count
    Put32(ico, sizes[i]);
    Put32(ico, offset);
    offset += sizes[i];
  }
  for (std::size_t i = 0; i < sizes.size(); ++i) ico.insert(ico.end(), sizes[i], static_cast<std::uint8_t>(i));
  return ico;
}

TEST(IconDirectoryTest, ReadsImagesAndBuildsTheGroup) {
  const Bytes ico = MakeIco({40, 8});
  std::vector<IconImage> images;
  ASSERT_TRUE(ReadIconDirectory(ico, &images));
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].offset, 38u);
  EXPECT_EQ(images[0].size, 40u);
  EXPECT_EQ(images[1].offset, 78u);
  EXPECT_EQ(images[1].size, 8u);
  EXPECT_EQ(ico[images[1].offset], 1);

  const Bytes group = BuildGroupIcon(images);
  const Bytes expected = {0, 0, 1, 0, 2, 0,
                          16, 16, 0, 0, 1, 0, 32, 0, 40, 0, 0, 0, 1, 0,
                          32, 32, 0, 0, 1, 0, 32, 0, 8, 0, 0, 0, 2, 0};
  EXPECT_EQ(group, expected);
}

TEST(IconDirectoryTest, RefusesMalformedFiles) {
  const Bytes good = MakeIco({4});
  Bytes cut = good;
  cut.pop_back();  // the image reaches past the end
  Bytes huge_offset = good;
  huge_offset[6 + 12] = 0xFF;
  huge_offset[6 + 15] = 0xFF;
  Bytes empty_image = MakeIco({0});
  const struct {
    const char* name;
    Bytes ico;
  } cases[] = {
      {"nothing", {}},
      {"header only", {0, 0, 1, 0}},
      {"no image", MakeIco({})},
      {"directory cut", Bytes(good.begin(), good.begin() + 10)},
      {"image cut", cut},
      {"offset outside", huge_offset},
      {"empty image", empty_image},
  };
  for (const auto& c : cases) {
    std::vector<IconImage> images;
    EXPECT_FALSE(ReadIconDirectory(c.ico, &images)) << c.name;
    EXPECT_TRUE(images.empty()) << c.name;
  }
}

}  // namespace
}  // namespace ks
