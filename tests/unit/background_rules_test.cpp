#include "ui/background_rules.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(BackgroundRulesTest, PaintedAreaLeavesTheLastColumnAndRow) {
  EXPECT_EQ(PaintedArea(1024, 768), (PixelRect{0, 0, 1023, 767}));
  EXPECT_EQ(PaintedArea(0, 0), (PixelRect{0, 0, 0, 0}));
}

TEST(BackgroundRulesTest, Gradient) {
  const std::uint32_t top = 0x000080, bottom = 0x4020FF;  // red 0x80 .. 0xFF, green 0x00 .. 0x20, blue 0x00 .. 0x40
  const Rgb first = GradientColour(top, bottom, 0, 100);
  EXPECT_EQ(first.r, 0x80);
  EXPECT_EQ(first.g, 0);
  EXPECT_EQ(first.b, 0);
  const Rgb half = GradientColour(top, bottom, 50, 100);
  EXPECT_EQ(half.r, 0x80 + (0x7F * 50) / 100);
  EXPECT_EQ(half.g, 0x10);
  EXPECT_EQ(half.b, 0x20);
  const Rgb last = GradientColour(top, bottom, 99, 100);
  EXPECT_EQ(last.b, 0x40 * 99 / 100);
  EXPECT_EQ(GradientColour(0x123456, 0x123456, 40, 100).g, 0x34);
}

TEST(BackgroundRulesTest, PictureTargets) {
  const PixelRect area{0, 0, 1000, 800};
  const struct {
    const char* name;
    int w, h;
    std::uint32_t mode, percent;
    PixelRect target;
  } cases[] = {
      {"fill: half of each side, centred", 100, 100, 0, 50, {250, 200, 750, 600}},
      {"fill: all", 30, 10, 0, 100, {0, 0, 1000, 800}},
      {"fill: a percentage rounds half away from zero", 10, 10, 0, 15, {425, 340, 575, 460}},
      {"fit: a wide picture fills the width", 200, 100, 1, 50, {250, 275, 750, 525}},
      {"fit: a tall picture fills the height", 100, 400, 1, 100, {400, 0, 600, 800}},
      {"whole multiple: three times", 150, 100, 2, 50, {275, 250, 725, 550}},
      {"whole multiple: once", 400, 300, 2, 50, {300, 250, 700, 550}},
      {"whole multiple: too large is fitted", 1000, 1000, 2, 50, {300, 200, 700, 600}},
      {"unknown mode stretches", 10, 10, 9, 10, {450, 360, 550, 440}},
  };
  for (const auto& c : cases) EXPECT_EQ(PictureTarget(area, c.w, c.h, c.mode, c.percent), c.target) << c.name;
  EXPECT_EQ(PictureTarget({0, 0, 101, 51}, 10, 10, 0, 50), (PixelRect{25, 12, 76, 38}));
}

TEST(BackgroundRulesTest, TilesCoverTheArea) {
  const TileGrid grid = Tiles({0, 0, 1023, 767}, 100, 64);
  EXPECT_EQ(grid.columns, 11);
  EXPECT_EQ(grid.rows, 12);
  const TileGrid exact = Tiles({0, 0, 200, 128}, 100, 64);
  EXPECT_EQ(exact.columns, 2);
  EXPECT_EQ(exact.rows, 2);
  EXPECT_EQ(Tiles({0, 0, 10, 10}, 0, 5).columns, 0);
}

TEST(BackgroundRulesTest, Positions) {
  for (int p : {1, 4}) EXPECT_EQ(AlignOf(static_cast<std::uint8_t>(p)), TextAlign::kLeft);
  for (int p : {2, 5}) EXPECT_EQ(AlignOf(static_cast<std::uint8_t>(p)), TextAlign::kCentre);
  for (int p : {3, 6}) EXPECT_EQ(AlignOf(static_cast<std::uint8_t>(p)), TextAlign::kRight);
  EXPECT_FALSE(IsDrawnPosition(0));
  EXPECT_TRUE(IsDrawnPosition(6));
  EXPECT_FALSE(IsDrawnPosition(7));
}

TEST(BackgroundRulesTest, FontAndShadow) {
  EXPECT_EQ(FontHeight(96, 39), 52);
  EXPECT_EQ(FontHeight(192, 26), 69);
  EXPECT_EQ(ShadowOffset(52, 50), 2);
  EXPECT_EQ(ShadowOffset(52, 0), 0);
  const TextMargins m = MarginsOf(1024, 768);
  EXPECT_EQ(m.horizontal, 5);
  EXPECT_EQ(m.vertical, 1);
}

TEST(BackgroundRulesTest, TextBoxes) {
  const TextMargins m{5, 1};
  EXPECT_EQ(TextBox(2, 1024, 768, m, 3, 40), (PixelRect{8, 1, 1016, 41}));
  EXPECT_EQ(TextBox(4, 1024, 768, m, 3, 40), (PixelRect{8, 724, 1016, 764}));
  EXPECT_EQ(TextBox(6, 1024, 768, m, 0, 20), (PixelRect{5, 747, 1019, 767}));
}

TEST(BackgroundRulesTest, TitleShrinksUntilItFits) {
  // 20 pixels per point: 1000 pixels wide fits below 50 points with a margin of 5 and no shadow.
  const auto width_at = [](double points) { return static_cast<int>(points * 20); };
  EXPECT_EQ(FittedPoints(78, 1000, 5, 96, 0, width_at), 49);
  EXPECT_EQ(FittedPoints(30, 1000, 5, 96, 0, width_at), 30);
  // A shadow takes its share: at 49 points (65 pixels high) the offset is 65 * 200 / 1300 = 10.
  EXPECT_EQ(FittedPoints(78, 1000, 5, 96, 200, width_at), 49);
  EXPECT_EQ(FittedPoints(78, 990, 5, 96, 200, width_at), 48);
  // Never below 6 points: a text that never fits is drawn at the first size of 6 or less.
  const auto huge = [](double) { return 100000; };
  EXPECT_EQ(FittedPoints(26.5, 1000, 5, 96, 0, huge), 5.5);
  EXPECT_EQ(FittedPoints(4, 1000, 5, 96, 0, huge), 4);
}

}  // namespace
}  // namespace ks
