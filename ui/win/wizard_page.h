#pragma once
// What every wizard page has in common: its template in the product's font,
// the decoration of its layout (side picture, header band, white panel), the
// dialog colours, the greyed Close item, the icons, the button images and the
// request to come to the foreground. A page's own behaviour plugs in as a
// PageHandler; RunPage shows it modally, ModelessPage without waiting.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "core/install_settings.h"
#include "lib/text.h"
#include "ui/dialog_template.h"
#include "ui/win/program_resources.h"

namespace ks {

// How the pages look, the same for every page of a run.
struct PageLook {
  const ProgramResources* resources = nullptr;
  DialogFont font;                        // the product's face and size; empty: the template's
  std::optional<COLORREF> background;     // the dialog colours; none: the engine's own
  std::optional<COLORREF> text;
  std::optional<COLORREF> band_background;  // the second pair: header band and white panel
  std::optional<COLORREF> band_text;
  COLORREF side_colour = RGB(255, 255, 255);  // the thin frame and what the picture leaves
  std::uint8_t side_frame = 0;            // 0 none, 1 sunken, 2 thin border, 3 sunken on layout 1 only
  bool icons = false;                     // the pages carry the program's icons
  HICON large_icon = nullptr;             // icons other than the program's, when given
  HICON small_icon = nullptr;
};

// The installation's look: the settings' dialog font and size, colours,
// side picture colour and frame, and whether the pages carry the icons.
PageLook InstallationPageLook(const InstallSettings& settings, std::uint32_t archive_flags,
                              const ProgramResources& resources);

// What one page shows besides its own controls.
struct PageFrame {
  WString template_name;
  std::uint32_t style = 0;     // the layout variant (the decoration follows it)
  WString window_title;
  WString header_line;         // 1034, the header band's bold line
  WString header_sub_line;     // 1035
};

// The frame of a page of `style`: the page title as window title, or in the
// header-band layout the product title, with the header text and the page
// title in the band.
PageFrame MakeFrame(WString template_name, std::uint32_t style, const WString& page_title,
                    const WString& product_title, const WString& header_text);

class PageHandler {
 public:
  virtual ~PageHandler() = default;
  // The page's controls are there and decorated.
  virtual void Init(HWND page) = 0;
  // The control that has the focus first (when it is there and enabled;
  // else the first button).
  virtual int FocusControl() const { return 1001; }
  // The first button: true ends the page with 1001 (a modeless page stays).
  virtual bool FirstButton(HWND) { return true; }
  // Other commands and notifications; true when handled.
  virtual bool Command(HWND, int /*id*/, int /*code*/) { return false; }
  virtual bool Notify(HWND, const NMHDR&) { return false; }
  // The cancel button of a modeless page (a modal one ends with 1003).
  virtual void Cancel(HWND) {}
};

// The page's result: 1001 to go on, 1003 cancelled. A page that cannot be
// made (its template is missing) counts as cancelled.
inline constexpr int kPageGoOn = 1001;
inline constexpr int kPageCancelled = 1003;
int RunPage(const PageLook& look, const PageFrame& frame, PageHandler& handler, HWND owner);

// A modeless page (the progress page): open until Close or the end of the object.
class ModelessPage {
 public:
  ModelessPage();
  ~ModelessPage();
  ModelessPage(const ModelessPage&) = delete;
  ModelessPage& operator=(const ModelessPage&) = delete;

  // False when the page cannot be made. `look`, `frame` and `handler` must
  // outlive the page.
  bool Open(const PageLook& look, const PageFrame& frame, PageHandler& handler, HWND owner);
  void Close();
  HWND window() const { return window_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  HWND window_ = nullptr;
};

// Sets a control's text (nothing when the page has no such control).
void SetControlText(HWND page, int id, const WString& text);
WString ControlText(HWND page, int id);

// The engine's picture `id` (ui/wizard_rules.h), in its large drawing when
// the screen has the resolution for it.
HBITMAP LoadEnginePicture(const ProgramResources& resources, int id);

}  // namespace ks
