// The background window as the screen shows it: a screenshot of the virtual
// desktop is taken while the installation's closing box is up, and the
// pixels are compared, with a tolerance, with what the rules of
// ui/background_rules.h compute for the window's size. The suite is Serial:
// another test's windows on the shared desktop would spoil the picture.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/install_settings.h"
#include "core/product_flags.h"
#include "harness/driver.h"
#include "harness/installer.h"
#include "harness/screenshot.h"
#include "harness/wine.h"
#include "ui/background_rules.h"

namespace ks::e2e {
namespace {

using namespace product_flag;

constexpr int kTolerance = 6;

// A product that shows no page: the background and, at the end, the box
// with text 42 are all there is.
InstallSettings Plain() {
  InstallSettings s;
  s.product_name = Widen(UniqueName("Background"));
  s.install_path = Widen(ScratchFolder() + "\\App");
  s.product_flags = kNoGreetingPage;
  s.taskbar_text = u"Background test";
  s.title_font = u"Arial";
  return s;
}

struct Shown {
  DriverRun run;
  Screenshot shot;
  PixelRect window;  // the background window on the screen
  PixelRect box;     // the closing box on the screen
  bool ok = false;
};

// Installs `settings` and takes the screenshot while the closing box is up.
Shown Show(const InstallSettings& settings, std::uint32_t archive_flags = 0) {
  Shown s;
  InstallerSpec plan;
  plan.settings = settings;
  plan.texts = NumberedTexts({u't'}, {63, 64});
  plan.archive.flags = archive_flags;
  const std::string installer = MakeInstaller(plan);
  if (installer.empty()) return s;
  const std::string shot = ScratchFolder() + "\\screen.bmp";
  DriverOptions options;
  options.timeout_seconds = 120;
  options.acts = {"title:t43|shot:" + shot};
  s.run = RunProgram(installer, {}, options);
  if (!s.run.ok || s.run.exit_code != 0 || s.run.other_windows.empty() || s.run.windows.empty()) {
    ADD_FAILURE() << s.run.error << s.run.output;
    return s;
  }
  if (!ReadBitmapFile(LinuxPath(shot), &s.shot)) {
    ADD_FAILURE() << "no screenshot: " << s.run.output;
    return s;
  }
  const ShownWindow& w = s.run.other_windows[0];
  s.window = {w.left, w.top, w.right, w.bottom};
  const ShownWindow& box = s.run.windows[0];
  s.box = {box.left, box.top, box.right, box.bottom};
  s.ok = true;
  return s;
}

bool InBox(const Shown& s, int x, int y) {
  return x >= s.box.left - 4 && x < s.box.right + 4 && y >= s.box.top - 4 && y < s.box.bottom + 4;
}

// The pixel at window position (x, y), compared with `expected`.
void ExpectAt(const Shown& s, int x, int y, const Pixel& expected, const std::string& what, int tolerance = kTolerance) {
  if (InBox(s, s.window.left + x, s.window.top + y)) return;  // hidden by the closing box
  const Pixel seen = s.shot.At(s.window.left + x, s.window.top + y);
  EXPECT_TRUE(Near(seen, expected, tolerance))
      << what << " at " << x << "," << y << ": " << Describe(seen) << ", expected " << Describe(expected);
}

Pixel Of(const Rgb& c) { return {c.r, c.g, c.b}; }

// The bounding box of the pixels of `colour` in a region of the window.
PixelRect Extent(const Shown& s, const PixelRect& region, const Pixel& colour) {
  PixelRect found{1 << 20, 1 << 20, -1, -1};
  for (int y = region.top; y < region.bottom; ++y) {
    for (int x = region.left; x < region.right; ++x) {
      if (!Near(s.shot.At(s.window.left + x, s.window.top + y), colour, 40)) continue;
      found.left = std::min(found.left, x);
      found.top = std::min(found.top, y);
      found.right = std::max(found.right, x + 1);
      found.bottom = std::max(found.bottom, y + 1);
    }
  }
  return found;
}

class SerialBackground : public WineTest {};

TEST_F(SerialBackground, GradientRunsFromTopToBottomColour) {
  InstallSettings settings = Plain();
  settings.top_color = 0x804020;     // red 0x20, green 0x40, blue 0x80
  settings.bottom_color = 0x1000C0;  // red 0xC0, green 0x00, blue 0x10
  const Shown s = Show(settings);
  ASSERT_TRUE(s.ok);
  KeepScreenshot(HalfSize(s.shot), "background-gradient");
  const PixelRect area = PaintedArea(s.window.width(), s.window.height());
  for (const int y : {0, area.height() / 4, area.height() / 2, area.height() - 1}) {
    for (const int x : {10, area.width() / 2, area.width() - 10}) {
      ExpectAt(s, x, y, Of(GradientColour(settings.top_color, settings.bottom_color, y, area.height())),
               "gradient");
    }
  }
}

TEST_F(SerialBackground, EqualColoursGiveOneColour) {
  InstallSettings settings = Plain();
  settings.top_color = settings.bottom_color = 0x306090;
  const Shown s = Show(settings);
  ASSERT_TRUE(s.ok);
  const PixelRect area = PaintedArea(s.window.width(), s.window.height());
  for (const int y : {0, area.height() / 3, area.height() - 1}) {
    for (const int x : {0, area.width() / 3, area.width() - 1}) ExpectAt(s, x, y, {0x90, 0x60, 0x30}, "plain", 1);
  }
}

// ---- the picture ---------------------------------------------------------------------

struct StretchCase {
  const char* name;
  std::uint32_t mode;
  int width, height;
  std::uint32_t percent;
};

class SerialBackgroundPicture : public WineTestWithParam<StretchCase> {};

TEST_P(SerialBackgroundPicture, FillsItsTargetRectangle) {
  const StretchCase& c = GetParam();
  InstallSettings settings = Plain();
  settings.product_flags |= kBackgroundBitmap;
  settings.top_color = settings.bottom_color = 0x000000;
  settings.background_bitmap = BitmapFile(c.width, c.height, [](int, int) { return Pixel{220, 30, 30}; });
  settings.bitmap_size = c.percent;
  settings.stretch_mode = c.mode;
  const Shown s = Show(settings);
  ASSERT_TRUE(s.ok);
  KeepScreenshot(HalfSize(s.shot), std::string("background-picture-") + c.name);
  const PixelRect area = PaintedArea(s.window.width(), s.window.height());
  const PixelRect t = PictureTarget(area, c.width, c.height, c.mode, c.percent);
  const Pixel red{220, 30, 30}, black{0, 0, 0};
  const int mid_x = (t.left + t.right) / 2, mid_y = (t.top + t.bottom) / 2;
  // Three pixels inside each edge is the picture, three outside the background.
  ExpectAt(s, t.left + 3, mid_y, red, "inside the left edge");
  ExpectAt(s, t.left - 4, mid_y, black, "outside the left edge");
  ExpectAt(s, t.right - 4, mid_y, red, "inside the right edge");
  ExpectAt(s, t.right + 3, mid_y, black, "outside the right edge");
  ExpectAt(s, mid_x, t.top + 3, red, "inside the top edge");
  ExpectAt(s, mid_x, t.top - 4, black, "outside the top edge");
  ExpectAt(s, mid_x, t.bottom - 4, red, "inside the bottom edge");
  ExpectAt(s, mid_x, t.bottom + 3, black, "outside the bottom edge");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SerialBackgroundPicture,
    ::testing::Values(StretchCase{"stretch", 0, 50, 50, 90}, StretchCase{"fit_wide", 1, 200, 50, 90},
                      StretchCase{"fit_tall", 1, 40, 200, 90}, StretchCase{"whole_multiple", 2, 100, 60, 90},
                      StretchCase{"whole_multiple_too_large", 2, 3000, 1000, 80}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(SerialBackground, TilesCoverTheWindowFromTheTopLeft) {
  InstallSettings settings = Plain();
  settings.product_flags |= kBackgroundBitmap;
  settings.background_bitmap = BitmapFile(64, 32, [](int x, int) { return x < 32 ? Pixel{220, 30, 30} : Pixel{30, 200, 30}; });
  settings.bitmap_size = 1;
  settings.stretch_mode = kStretchTile;
  const Shown s = Show(settings);
  ASSERT_TRUE(s.ok);
  const TileGrid grid = Tiles(PaintedArea(s.window.width(), s.window.height()), 64, 32);
  for (const int row : {0, 1, grid.rows - 1}) {
    for (const int column : {0, 1, grid.columns - 2}) {
      ExpectAt(s, column * 64 + 16, row * 32 + 16, {220, 30, 30}, "left half of a tile", 2);
      ExpectAt(s, column * 64 + 48, row * 32 + 16, {30, 200, 30}, "right half of a tile", 2);
    }
  }
}

TEST_F(SerialBackground, NoPictureAtSizeZero) {
  InstallSettings settings = Plain();
  settings.product_flags |= kBackgroundBitmap;
  settings.top_color = settings.bottom_color = 0x000000;
  settings.background_bitmap = BitmapFile(8, 8, [](int, int) { return Pixel{220, 30, 30}; });
  settings.bitmap_size = 0;
  const Shown s = Show(settings);
  ASSERT_TRUE(s.ok);
  ExpectAt(s, s.window.width() / 2, 20, {0, 0, 0}, "no picture", 1);
  ExpectAt(s, 20, s.window.height() / 2, {0, 0, 0}, "no picture", 1);
}

// ---- the texts ---------------------------------------------------------------------

TEST_F(SerialBackground, TitleStandsAtItsPosition) {
  InstallSettings settings = Plain();
  settings.top_color = settings.bottom_color = 0x000000;
  settings.display_title = u"Centred Title";
  settings.title_color = 0xFFFFFF;
  settings.title_position = 2;  // top centre
  settings.title_size = 1;
  settings.copyright_pos = 6;   // bottom right
  settings.copyright_text = u"Copyright line";
  settings.copyright_color = 0x00FFFF;  // yellow
  settings.copyright_size = 1;
  settings.copyright_font = u"Arial";
  const Shown s = Show(settings);
  ASSERT_TRUE(s.ok);
  KeepScreenshot(HalfSize(s.shot), "background-texts");
  const int w = s.window.width(), h = s.window.height();
  const TextMargins m = MarginsOf(w, h);
  const PixelRect title = Extent(s, {0, 0, w, h / 4}, {255, 255, 255});
  ASSERT_GT(title.right, title.left) << "no title drawn";
  EXPECT_NEAR(title.left, w - title.right, 8) << "centred";
  EXPECT_GE(title.top, m.vertical);
  EXPECT_LT(title.bottom, FontHeight(96, 26) + 2 * m.vertical + 4);
  const PixelRect copyright = Extent(s, {0, h * 3 / 4, w, h}, {255, 255, 0});
  ASSERT_GT(copyright.right, copyright.left) << "no copyright line drawn";
  EXPECT_NEAR(copyright.right, w - m.horizontal, 6) << "right aligned";
  EXPECT_LE(copyright.bottom, h - m.vertical);
  EXPECT_GT(copyright.bottom, h - m.vertical - 12);
}

TEST_F(SerialBackground, TitleTooWideShrinksToTheWindow) {
  InstallSettings settings = Plain();
  settings.top_color = settings.bottom_color = 0x000000;
  settings.display_title = u"A title far too wide for any window at this size";
  settings.title_color = 0xFFFFFF;
  settings.title_position = 1;  // top left
  settings.title_size = 4;      // 104 points to start from
  const Shown s = Show(settings);
  ASSERT_TRUE(s.ok);
  const int w = s.window.width();
  const PixelRect title = Extent(s, {0, 0, w, s.window.height() / 2}, {255, 255, 255});
  ASSERT_GT(title.right, title.left) << "no title drawn";
  EXPECT_NEAR(title.left, MarginsOf(w, s.window.height()).horizontal, 6);
  // It fits, and it was not made smaller than fitting needed: one point less
  // than the last that did not fit leaves at most a few percent free.
  EXPECT_LT(title.right, w);
  EXPECT_GT(title.width(), w * 85 / 100);
}

TEST_F(SerialBackground, ShadowIsDrawnBelowRight) {
  InstallSettings settings = Plain();
  settings.top_color = settings.bottom_color = 0x808080;
  settings.display_title = u"Shadow";
  settings.title_color = 0xFFFFFF;
  settings.title_position = 1;
  settings.title_size = 2;      // 52 points: 69 pixels high
  settings.title_shadow = 130;  // an offset of a tenth of the height
  const Shown s = Show(settings);
  ASSERT_TRUE(s.ok);
  const int w = s.window.width();
  const PixelRect text = Extent(s, {0, 0, w / 2, s.window.height() / 4}, {255, 255, 255});
  const PixelRect shadow = Extent(s, {0, 0, w / 2, s.window.height() / 4}, {0, 0, 0});
  ASSERT_GT(text.right, text.left) << "no title drawn";
  ASSERT_GT(shadow.right, shadow.left) << "no shadow drawn";
  const int offset = ShadowOffset(FontHeight(96, 52), 130);
  EXPECT_NEAR(shadow.right - text.right, offset, 3);
  EXPECT_NEAR(shadow.bottom - text.bottom, offset, 3);
}

}  // namespace
}  // namespace ks::e2e
