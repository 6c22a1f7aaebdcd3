#pragma once
// The geometry of the background window as plain arithmetic: the painted
// area, the gradient, where the picture goes in each stretch mode, the tiles,
// and where the title and copyright texts stand and how large they are.
// ui/win/background_window.cpp draws with these numbers; the tests compute
// their expectations from them as well.

#include <cstdint>
#include <functional>

namespace ks {

struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const PixelRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// The client rectangle reduced by one pixel at the right and the bottom.
PixelRect PaintedArea(int client_width, int client_height);

// A colour as the settings hold it: red in the low byte, then green, blue.
struct Rgb {
  int r = 0, g = 0, b = 0;
};
Rgb RgbOf(std::uint32_t colour);

// The vertical gradient's colour on row `y` of an area `height` rows high
// (row 0 is the top colour; the last row approaches the bottom colour).
Rgb GradientColour(std::uint32_t top, std::uint32_t bottom, int y, int height);

// Stretch modes of the picture.
inline constexpr std::uint32_t kStretchFill = 0;
inline constexpr std::uint32_t kStretchFit = 1;
inline constexpr std::uint32_t kStretchWholeMultiple = 2;
inline constexpr std::uint32_t kStretchTile = 3;

// Where the whole picture is drawn for modes 0, 1 and 2 (any other mode but
// tiling counts as 0): `size_percent` of the area's width and height
// (rounded half away from zero), centred in the area, then fitted by the mode.
PixelRect PictureTarget(const PixelRect& area, int picture_width, int picture_height, std::uint32_t mode,
                        std::uint32_t size_percent);

// Mode 3: columns and rows of tiles from the top-left corner that cover the area.
struct TileGrid {
  int columns = 0, rows = 0;
};
TileGrid Tiles(const PixelRect& area, int picture_width, int picture_height);

// ---- texts ----------------------------------------------------------------------

// Position codes: 1, 2, 3 top left, centre, right; 4, 5, 6 bottom left,
// centre, right; anything else is not drawn.
bool IsDrawnPosition(std::uint8_t position);

enum class TextAlign { kLeft, kCentre, kRight };
TextAlign AlignOf(std::uint8_t position);

// The font's height in pixels for a size in points.
int FontHeight(int dpi_y, double points);
// The shadow's offset for a font height and a shadow value.
int ShadowOffset(int font_height, int shadow);

struct TextMargins {
  int horizontal = 0, vertical = 0;
};
TextMargins MarginsOf(int window_width, int window_height);

// The size in points the text is drawn at: starting at `points`, one point
// less while the text's width (`width_at(points)`) plus the shadow's offset
// plus the horizontal margin is not narrower than the window; at 6 points or
// less the size stays.
double FittedPoints(double points, int window_width, int margin, int dpi_y, int shadow,
                    const std::function<int(double points)>& width_at);

// The box the text is drawn in (the shadow copy moved right and down by the
// offset): the window's width minus twice (margin + offset); at the top
// margin for positions 1 to 3, else the window's height minus the text's
// height, the offset and the margin.
PixelRect TextBox(std::uint8_t position, int window_width, int window_height, const TextMargins& margins,
                  int shadow_offset, int text_height);

}  // namespace ks
