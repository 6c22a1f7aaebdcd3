#include "ui/background_rules.h"

#include <algorithm>
#include <cmath>

namespace ks {
namespace {

int RoundHalfAway(double value) { return static_cast<int>(value < 0 ? value - 0.5 : value + 0.5); }

PixelRect Centred(const PixelRect& area, int width, int height) {
  const int left = area.left + (area.width() - width) / 2;
  const int top = area.top + (area.height() - height) / 2;
  return {left, top, left + width, top + height};
}

PixelRect Fitted(const PixelRect& target, int picture_width, int picture_height) {
  // The larger of the two reductions keeps the picture inside.
  const double scale = std::fmin(static_cast<double>(target.width()) / picture_width,
                                 static_cast<double>(target.height()) / picture_height);
  return Centred(target, RoundHalfAway(picture_width * scale), RoundHalfAway(picture_height * scale));
}

}  // namespace

PixelRect PaintedArea(int client_width, int client_height) {
  return {0, 0, client_width > 0 ? client_width - 1 : 0, client_height > 0 ? client_height - 1 : 0};
}

Rgb RgbOf(std::uint32_t colour) {
  return {static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
          static_cast<int>((colour >> 16) & 0xFF)};
}

Rgb GradientColour(std::uint32_t top, std::uint32_t bottom, int y, int height) {
  const Rgb a = RgbOf(top), b = RgbOf(bottom);
  if (height <= 0) return a;
  const auto mix = [&](int from, int to) { return from + (to - from) * y / height; };
  return {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

PixelRect PictureTarget(const PixelRect& area, int picture_width, int picture_height, std::uint32_t mode,
                        std::uint32_t size_percent) {
  const int width = RoundHalfAway(area.width() * static_cast<double>(size_percent) / 100);
  const int height = RoundHalfAway(area.height() * static_cast<double>(size_percent) / 100);
  const PixelRect target = Centred(area, width, height);
  if (picture_width <= 0 || picture_height <= 0) return target;
  if (mode == kStretchFit) return Fitted(target, picture_width, picture_height);
  if (mode == kStretchWholeMultiple) {
    const int times = std::min(target.width() / picture_width, target.height() / picture_height);
    if (times < 1) return Fitted(target, picture_width, picture_height);
    return Centred(target, picture_width * times, picture_height * times);
  }
  return target;
}

TileGrid Tiles(const PixelRect& area, int picture_width, int picture_height) {
  if (picture_width <= 0 || picture_height <= 0) return {};
  return {(area.width() + picture_width - 1) / picture_width, (area.height() + picture_height - 1) / picture_height};
}

bool IsDrawnPosition(std::uint8_t position) { return position >= 1 && position <= 6; }

TextAlign AlignOf(std::uint8_t position) {
  switch (position) {
    case 2:
    case 5: return TextAlign::kCentre;
    case 3:
    case 6: return TextAlign::kRight;
    default: return TextAlign::kLeft;
  }
}

int FontHeight(int dpi_y, double points) { return static_cast<int>(dpi_y * points / 72); }

int ShadowOffset(int font_height, int shadow) { return font_height * shadow / 1300; }

TextMargins MarginsOf(int window_width, int window_height) { return {window_width / 200, window_height / 400}; }

double FittedPoints(double points, int window_width, int margin, int dpi_y, int shadow,
                    const std::function<int(double points)>& width_at) {
  while (points > 6) {
    const int offset = ShadowOffset(FontHeight(dpi_y, points), shadow);
    if (width_at(points) + offset + margin < window_width) break;
    points -= 1;
  }
  return points;
}

PixelRect TextBox(std::uint8_t position, int window_width, int window_height, const TextMargins& margins,
                  int shadow_offset, int text_height) {
  PixelRect box;
  box.left = margins.horizontal + shadow_offset;
  box.right = window_width - margins.horizontal - shadow_offset;
  box.top = position <= 3 ? margins.vertical : window_height - text_height - shadow_offset - margins.vertical;
  box.bottom = box.top + text_height;
  return box;
}

}  // namespace ks
