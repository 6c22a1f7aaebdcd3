#include "ui/win/background_window.h"

#include "core/install_settings.h"
#include "lib/win/message_boxes.h"
#include "lib/win/owned.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"
#include "ui/background_rules.h"
#include "ui/bmp_file.h"

namespace ks {
namespace {

constexpr char kBackgroundWindowClassA[] = "SEA Window Class";

BackgroundWindow* Self(HWND window) {
  return reinterpret_cast<BackgroundWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Both procedures: the wide one, and the ANSI one of the fall-back window.
LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool wide) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  BackgroundWindow* self = Self(window);
  if (self) {
    switch (message) {
      case WM_ERASEBKGND:
        self->Erase(reinterpret_cast<HDC>(wparam));
        return 1;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = ::BeginPaint(window, &ps);
        self->Paint(dc);
        ::EndPaint(window, &ps);
        return 0;
      }
      case WM_CLOSE:
        return 0;  // it goes with the run, not with a click
      default:
        break;
    }
  }
  return wide ? ::DefWindowProcW(window, message, wparam, lparam) : ::DefWindowProcA(window, message, wparam, lparam);
}

LRESULT CALLBACK WideProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return Handle(window, message, wparam, lparam, true);
}
LRESULT CALLBACK AnsiProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return Handle(window, message, wparam, lparam, false);
}

HWND CreateWide(const ProgramResources& r, const WString& title, const RECT& rect, void* self) {
  WNDCLASSEXW c{};
  c.cbSize = sizeof c;
  c.style = CS_HREDRAW | CS_VREDRAW;
  c.lpfnWndProc = WideProc;
  c.hInstance = r.instance;
  c.hIcon = r.icon_large.get();
  c.hIconSm = r.icon_small.get();
  c.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  c.lpszClassName = kBackgroundWindowClass;
  ::RegisterClassExW(&c);  // a second window of the process finds it registered
  return ::CreateWindowExW(0, kBackgroundWindowClass, W(title), WS_POPUP, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, r.instance, self);
}

HWND CreateAnsi(const ProgramResources& r, const WString& title, const RECT& rect, void* self) {
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.style = CS_HREDRAW | CS_VREDRAW;
  c.lpfnWndProc = AnsiProc;
  c.hInstance = r.instance;
  c.hIcon = r.icon_large.get();
  c.hIconSm = r.icon_small.get();
  c.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  c.lpszClassName = kBackgroundWindowClassA;
  ::RegisterClassExA(&c);
  const NString narrow = WideToCp1252(title);
  return ::CreateWindowExA(0, kBackgroundWindowClassA, narrow.c_str(), WS_POPUP, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, r.instance, self);
}

void DrawPicture(HDC dc, const Bytes& file, const PixelRect& area, std::uint32_t mode, std::uint32_t size) {
  BmpLayout layout;
  if (size < 1 || !ReadBmpLayout(file, &layout)) return;
  const auto* info = reinterpret_cast<const BITMAPINFO*>(file.data() + layout.info_offset);
  const void* bits = file.data() + layout.bits_offset;
  ::SetStretchBltMode(dc, HALFTONE);
  ::SetBrushOrgEx(dc, 0, 0, nullptr);
  const auto draw = [&](const PixelRect& to) {
    ::StretchDIBits(dc, to.left, to.top, to.width(), to.height(), 0, 0, layout.width, layout.height, bits, info,
                    DIB_RGB_COLORS, SRCCOPY);
  };
  if (mode == kStretchTile) {
    const TileGrid grid = Tiles(area, layout.width, layout.height);
    for (int row = 0; row < grid.rows; ++row) {
      for (int column = 0; column < grid.columns; ++column) {
        const int left = area.left + column * layout.width, top = area.top + row * layout.height;
        draw({left, top, left + layout.width, top + layout.height});
      }
    }
    return;
  }
  draw(PictureTarget(area, layout.width, layout.height, mode, size));
}

OwnedFont TextFont(int dpi_y, double points, const WString& face) {
  LOGFONTW lf{};
  lf.lfHeight = FontHeight(dpi_y, points);
  lf.lfWeight = FW_HEAVY;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfQuality = ANTIALIASED_QUALITY;
  const std::size_t n = face.size() < LF_FACESIZE - 1 ? face.size() : LF_FACESIZE - 1;
  face.copy(reinterpret_cast<char16_t*>(lf.lfFaceName), n);
  return OwnedFont(::CreateFontIndirectW(&lf));
}

SIZE Measure(HDC dc, HFONT font, const WString& text) {
  const HGDIOBJ old = ::SelectObject(dc, font);
  RECT r{0, 0, 0, 0};
  ::DrawTextW(dc, W(text), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(dc, old);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

struct TextLook {
  const WString* text;
  const WString* face;
  COLORREF colour;
  std::uint8_t position;
  int shadow;
  double points;
};

void DrawTitleText(HDC dc, const RECT& client, int dpi_y, const TextLook& t) {
  if (!IsDrawnPosition(t.position) || IsBlank(*t.text)) return;
  const int width = client.right - client.left, height = client.bottom - client.top;
  const TextMargins margins = MarginsOf(width, height);
  const double points = FittedPoints(t.points, width, margins.horizontal, dpi_y, t.shadow, [&](double p) {
    const OwnedFont font = TextFont(dpi_y, p, *t.face);
    return font ? static_cast<int>(Measure(dc, font.get(), *t.text).cx) : 0;
  });
  const OwnedFont font = TextFont(dpi_y, points, *t.face);
  if (!font) return;
  const SIZE size = Measure(dc, font.get(), *t.text);
  const int offset = ShadowOffset(FontHeight(dpi_y, points), t.shadow);
  const PixelRect box = TextBox(t.position, width, height, margins, offset, size.cy);
  const TextAlign align = AlignOf(t.position);
  const UINT flags = DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP |
                     (align == TextAlign::kCentre ? DT_CENTER : align == TextAlign::kRight ? DT_RIGHT : DT_LEFT);
  const HGDIOBJ old = ::SelectObject(dc, font.get());
  ::SetBkMode(dc, TRANSPARENT);
  if (offset > 0) {
    RECT shadow{box.left + offset, box.top + offset, box.right + offset, box.bottom + offset};
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::DrawTextW(dc, W(*t.text), -1, &shadow, flags);
  }
  RECT r{box.left, box.top, box.right, box.bottom};
  ::SetTextColor(dc, t.colour);
  ::DrawTextW(dc, W(*t.text), -1, &r, flags);
  ::SelectObject(dc, old);
}

}  // namespace

BackgroundLook InstallationBackgroundLook(const InstallSettings& s, const WString& language_title) {
  BackgroundLook look;
  look.taskbar_text = s.taskbar_text;
  look.title = IsBlank(s.display_title) ? language_title : s.display_title;
  look.title_points = s.title_size * kTitlePointsPerUnit;
  look.title_colour = s.title_color;
  look.title_shadow = s.title_shadow;
  look.title_position = s.title_position;
  look.title_font = s.title_font;
  look.top_colour = s.top_color;
  look.bottom_colour = s.bottom_color;
  look.mono = s.mono_color;
  if (HasFlag(s.product_flags, product_flag::kBackgroundBitmap)) look.picture = &s.background_bitmap;
  look.picture_size = s.bitmap_size;
  look.stretch_mode = s.stretch_mode;
  look.copyright_text = s.copyright_text;
  look.copyright_font = s.copyright_font;
  look.copyright_points = s.copyright_size * kCopyrightPointsPerUnit;
  look.copyright_colour = s.copyright_color;
  look.copyright_position = s.copyright_pos;
  return look;
}

BackgroundWindow::~BackgroundWindow() { Destroy(); }

bool BackgroundWindow::Create(const ProgramResources& resources, std::function<BackgroundLook()> look,
                              bool maximised, bool minimised) {
  look_ = std::move(look);
  dpi_y_ = resources.dpi_y;
  msimg32_ = LoadSystemLibrary(L"msimg32.dll");
  gradient_fill_ = ProcAddress<GradientFillFn>(msimg32_.get(), "GradientFill");
  const BackgroundLook initial = look_();
  const bool work_area = resources.work_area_known && !::IsRectEmpty(&resources.work_area);
  const bool show_maximised = maximised || !work_area;
  const RECT rect = work_area ? resources.work_area : RECT{0, 0, 0, 0};
  window_ = CreateWide(resources, initial.taskbar_text, rect, this);
  if (!window_) window_ = CreateAnsi(resources, initial.taskbar_text, rect, this);
  if (!window_) return false;
  ::ShowWindow(window_, show_maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
  if (minimised) ::ShowWindow(window_, SW_MINIMIZE);
  ::SetForegroundWindow(window_);
  ::SetActiveWindow(window_);
  ::InvalidateRect(window_, nullptr, TRUE);
  ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(resources.icon_large.get()));
  ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(resources.icon_small.get()));
  return true;
}

// At once: the pages and boxes that follow should find it painted.
void BackgroundWindow::Repaint() const {
  if (!window_) return;
  ::InvalidateRect(window_, nullptr, TRUE);
  ::UpdateWindow(window_);
}

void BackgroundWindow::BringToFront() const {
  if (window_) ::SetForegroundWindow(window_);
}

void BackgroundWindow::SetIcons(HICON large, HICON small) const {
  if (!window_) return;
  if (large) ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  if (small) ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void BackgroundWindow::Destroy() {
  if (!window_) return;
  if (MessageBoxOwner() == window_) SetMessageBoxOwner(nullptr);
  ::ShowWindow(window_, SW_MINIMIZE);
  ::DestroyWindow(window_);
  window_ = nullptr;
}

void BackgroundWindow::Erase(HDC dc) {
  RECT client{};
  ::GetClientRect(window_, &client);
  const BackgroundLook look = look_();
  const PixelRect area = PaintedArea(client.right, client.bottom);
  bool mono = look.mono || gradient_failed_;
  if (!mono) {
    TRIVERTEX corners[2] = {};
    corners[0] = {area.left, area.top, static_cast<COLOR16>(GetRValue(look.top_colour) << 8),
                  static_cast<COLOR16>(GetGValue(look.top_colour) << 8),
                  static_cast<COLOR16>(GetBValue(look.top_colour) << 8), 0};
    corners[1] = {area.right, area.bottom, static_cast<COLOR16>(GetRValue(look.bottom_colour) << 8),
                  static_cast<COLOR16>(GetGValue(look.bottom_colour) << 8),
                  static_cast<COLOR16>(GetBValue(look.bottom_colour) << 8), 0};
    GRADIENT_RECT pair{0, 1};
    if (!gradient_fill_ || !gradient_fill_(dc, corners, 2, &pair, 1, GRADIENT_FILL_RECT_V)) {
      gradient_failed_ = mono = true;
    }
  }
  if (mono) {
    const OwnedBrush brush(::CreateSolidBrush(look.top_colour));
    const RECT r{area.left, area.top, area.right, area.bottom};
    ::FillRect(dc, &r, brush.get());
  }
  if (look.picture && !look.picture->empty()) {
    DrawPicture(dc, *look.picture, area, look.stretch_mode, look.picture_size);
  }
}

void BackgroundWindow::Paint(HDC dc) {
  RECT client{};
  ::GetClientRect(window_, &client);
  const BackgroundLook look = look_();
  DrawTitleText(dc, client, dpi_y_,
                {&look.title, &look.title_font, look.title_colour, look.title_position, look.title_shadow,
                 look.title_points});
  DrawTitleText(dc, client, dpi_y_,
                {&look.copyright_text, &look.copyright_font, look.copyright_colour, look.copyright_position, 0,
                 look.copyright_points});
}

}  // namespace ks
