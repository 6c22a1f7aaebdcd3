#pragma once
// The background window: a borderless window over the work area behind the
// wizard pages, painted with the product's gradient (or one colour), its
// picture, its title and copyright line. It owns the pages and the message
// boxes while it exists and carries the program's icons; its taskbar button
// shows the taskbar text. The installation and the uninstaller each make one
// from their own record of the appearance (BackgroundLook).

#include <windows.h>

#include <cstdint>
#include <functional>

#include "core/bytes.h"
#include "core/install_settings.h"
#include "lib/text.h"
#include "lib/win/owned.h"
#include "ui/win/program_resources.h"

namespace ks {

inline constexpr wchar_t kBackgroundWindowClass[] = L"SEA Window Class";

// What the window paints. The picture is a bitmap file's bytes.
struct BackgroundLook {
  WString taskbar_text;
  WString title;  // the title to draw (the display title, or localized text 0)
  double title_points = 0;
  COLORREF title_colour = 0;
  int title_shadow = 0;
  std::uint8_t title_position = 0;
  WString title_font;
  COLORREF top_colour = 0;
  COLORREF bottom_colour = 0;
  bool mono = false;
  const Bytes* picture = nullptr;  // null or empty: none
  std::uint32_t picture_size = 0;  // percent of the window; 0 draws no picture
  std::uint32_t stretch_mode = 0;
  WString copyright_text;
  WString copyright_font;
  double copyright_points = 0;
  COLORREF copyright_colour = 0;
  std::uint8_t copyright_position = 0;
};

// The title size factor and the copyright size factor become points.
inline constexpr double kTitlePointsPerUnit = 26;
inline constexpr double kCopyrightPointsPerUnit = 16;

// The installation's look from its settings; `language_title` is localized
// text 0 as the language last applied it (the title when the display title
// is blank).
BackgroundLook InstallationBackgroundLook(const InstallSettings& settings, const WString& language_title);

class BackgroundWindow {
 public:
  BackgroundWindow() = default;
  ~BackgroundWindow();
  BackgroundWindow(const BackgroundWindow&) = delete;
  BackgroundWindow& operator=(const BackgroundWindow&) = delete;

  // Makes and shows the window: over the work area, or maximised (when
  // `maximised`, or when the work area is not known); minimised when asked.
  // `look` is asked at every painting, so what it reads may still be filled
  // after the window exists. False when no window could be made.
  bool Create(const ProgramResources& resources, std::function<BackgroundLook()> look, bool maximised,
              bool minimised);
  HWND window() const { return window_; }
  // Paints again now (once the settings are read, after a language change).
  void Repaint() const;
  // Brings it in front of other programs' windows.
  void BringToFront() const;
  // Icons other than the program's (the uninstaller's own).
  void SetIcons(HICON large, HICON small) const;
  // Minimises and destroys it.
  void Destroy();

  // Window procedure's helpers.
  void Erase(HDC dc);
  void Paint(HDC dc);

 private:
  std::function<BackgroundLook()> look_;
  int dpi_y_ = 96;
  // GradientFill of msimg32, loaded from the system folder.
  OwnedModule msimg32_;
  using GradientFillFn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);
  GradientFillFn gradient_fill_ = nullptr;
  bool gradient_failed_ = false;  // then one colour for the rest of the run
  HWND window_ = nullptr;
};

}  // namespace ks
