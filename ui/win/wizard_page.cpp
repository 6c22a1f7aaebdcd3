#include "ui/win/wizard_page.h"

#include <commctrl.h>

#include <cstring>

#include "core/settings_block.h"
#include "lib/win/message_boxes.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"
#include "ui/bmp_file.h"
#include "ui/wizard_rules.h"

namespace ks {
namespace {

namespace pc = page_control;

constexpr UINT kComeForward = WM_APP + 1;
constexpr int kSeparator = 1048;  // the line above the buttons

// What a page keeps while it is open.
struct PageState {
  const PageLook* look = nullptr;
  const PageFrame* frame = nullptr;
  PageHandler* handler = nullptr;
  bool modal = true;
  HWND previous_box_owner = nullptr;
  COLORREF content_colour = 0, text_colour = 0, band_colour = 0, band_text_colour = 0;
  OwnedBrush content, band, strip;
  OwnedBitmap side_picture, header_picture;
  OwnedFont bold;
  RECT band_rect{}, panel_rect{}, strip_rect{};
};

PageState* StateOf(HWND page) { return reinterpret_cast<PageState*>(::GetWindowLongPtrW(page, DWLP_USER)); }

RECT ChildRect(HWND page, int id) {
  RECT r{};
  const HWND child = ::GetDlgItem(page, id);
  if (!child) return r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool Inside(const RECT& area, const RECT& r) {
  const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  return ::PtInRect(&area, centre) != FALSE;
}

bool Shows(HWND page, int id) {
  const HWND child = ::GetDlgItem(page, id);
  return child && ::IsWindowVisible(child) && ::IsWindowEnabled(child);
}

// ---- decoration ----------------------------------------------------------------

void SetFrameStyle(HWND control, LONG_PTR style, LONG_PTR ex_style) {
  ::SetWindowLongPtrW(control, GWL_STYLE, ::GetWindowLongPtrW(control, GWL_STYLE) | style);
  ::SetWindowLongPtrW(control, GWL_EXSTYLE, ::GetWindowLongPtrW(control, GWL_EXSTYLE) | ex_style);
  ::SetWindowPos(control, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

void FrameSidePicture(HWND page, const PageState& s) {
  const HWND side = ::GetDlgItem(page, pc::kSidePicture);
  if (!side) return;
  const PageLayout layout = LayoutOf(s.frame->style);
  const std::uint8_t frame = s.look->side_frame;
  if (frame == 1 || (frame == 3 && layout == PageLayout::kSidePicture)) SetFrameStyle(side, 0, WS_EX_CLIENTEDGE);
  if (frame == 2) SetFrameStyle(side, WS_BORDER, 0);
}


void MakeHeaderBold(HWND page, PageState& s) {
  const HWND line = ::GetDlgItem(page, pc::kHeaderLine);
  const auto font = reinterpret_cast<HFONT>(::SendMessageW(page, WM_GETFONT, 0, 0));
  LOGFONTW lf{};
  if (!line || !font || !::GetObjectW(font, sizeof lf, &lf)) return;
  lf.lfWeight = FW_BOLD;
  s.bold.reset(::CreateFontIndirectW(&lf));
  if (s.bold) ::SendMessageW(line, WM_SETFONT, reinterpret_cast<WPARAM>(s.bold.get()), FALSE);
}

void Decorate(HWND page, PageState& s) {
  const PageLook& look = *s.look;
  const ProgramResources& r = *look.resources;
  s.content_colour = look.background.value_or(::GetSysColor(COLOR_WINDOW));
  s.text_colour = look.text.value_or(::GetSysColor(COLOR_WINDOWTEXT));
  s.band_colour = look.band_background.value_or(RGB(255, 255, 255));
  s.band_text_colour = look.band_text.value_or(RGB(0, 0, 0));
  s.content.reset(::CreateSolidBrush(s.content_colour));
  s.band.reset(::CreateSolidBrush(s.band_colour));
  s.strip.reset(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)));
  s.band_rect = ChildRect(page, pc::kHeaderBand);
  s.panel_rect = ChildRect(page, pc::kPanel);
  if (::GetDlgItem(page, kSeparator)) {
    RECT client{};
    ::GetClientRect(page, &client);
    s.strip_rect = client;
    s.strip_rect.top = ChildRect(page, kSeparator).top;
  }
  ::SetWindowTextW(page, W(s.frame->window_title));
  SetControlText(page, pc::kHeaderLine, s.frame->header_line);
  SetControlText(page, pc::kHeaderSubLine, s.frame->header_sub_line);
  MakeHeaderBold(page, s);
  if (::GetDlgItem(page, pc::kSidePicture)) s.side_picture.reset(LoadEnginePicture(r, kSidePictureBitmap));
  if (::GetDlgItem(page, pc::kHeaderBand)) s.header_picture.reset(LoadEnginePicture(r, kHeaderBitmap));
  FrameSidePicture(page, s);
  SetButtonImage(page, pc::kFirstButton, r.button_images.first());
  SetButtonImage(page, pc::kCancel, r.button_images.cancel());
  if (const HMENU menu = ::GetSystemMenu(page, FALSE)) ::EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  if (look.icons) {
    const HICON large = look.large_icon ? look.large_icon : r.icon_large.get();
    const HICON small = look.small_icon ? look.small_icon : r.icon_small.get();
    ::SendMessageW(page, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    ::SendMessageW(page, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
}

// The engine's default picture `id`: a .bmp file packed as one .xz stream in
// RCDATA `id`, unpacked into a DIB section. Null when there is none or it
// does not unpack into a picture.
HBITMAP UnpackPicture(HINSTANCE instance, int id) {
  const HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(id), RT_RCDATA);
  const HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
  const void* packed = loaded ? ::LockResource(loaded) : nullptr;
  if (!packed) return nullptr;
  Bytes file;
  BmpLayout layout;
  if (!XzDecode(static_cast<const std::uint8_t*>(packed), ::SizeofResource(instance, found), &file,
                kMaxPackedPicture) ||
      !ReadBmpLayout(file, &layout)) {
    return nullptr;
  }
  void* bits = nullptr;
  const auto* info = reinterpret_cast<const BITMAPINFO*>(file.data() + layout.info_offset);
  OwnedBitmap bitmap(::CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0));
  DIBSECTION section{};
  if (!bitmap || !bits || ::GetObjectW(bitmap.get(), sizeof section, &section) != sizeof section) return nullptr;
  const std::size_t room = static_cast<std::size_t>(section.dsBm.bmWidthBytes) * section.dsBm.bmHeight;
  std::memcpy(bits, file.data() + layout.bits_offset, layout.bits_size < room ? layout.bits_size : room);
  return bitmap.release();
}

// ---- painting ------------------------------------------------------------------

void DrawPicture(HDC dc, HBITMAP bitmap, const RECT& target) {
  BITMAP info{};
  if (!bitmap || !::GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return;
  const HDC memory = ::CreateCompatibleDC(dc);
  if (!memory) return;
  const HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::SetStretchBltMode(dc, HALFTONE);
  ::SetBrushOrgEx(dc, 0, 0, nullptr);
  ::StretchBlt(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, memory, 0, 0,
               info.bmWidth, info.bmHeight, SRCCOPY);
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
}

void DrawSidePicture(const PageState& s, const DRAWITEMSTRUCT& item) {
  const OwnedBrush fill(::CreateSolidBrush(s.look->side_colour));
  ::FillRect(item.hDC, &item.rcItem, fill.get());
  DrawPicture(item.hDC, s.side_picture.get(), item.rcItem);
}

// The band in its colour, the picture at its right end as high as the band.
void DrawHeaderBand(const PageState& s, const DRAWITEMSTRUCT& item) {
  ::FillRect(item.hDC, &item.rcItem, s.band.get());
  BITMAP info{};
  if (!s.header_picture || !::GetObjectW(s.header_picture.get(), sizeof info, &info) || info.bmHeight <= 0) return;
  const int height = item.rcItem.bottom - item.rcItem.top;
  const int width = MulDiv(info.bmWidth, height, info.bmHeight);
  const RECT target{item.rcItem.right - width, item.rcItem.top, item.rcItem.right, item.rcItem.bottom};
  DrawPicture(item.hDC, s.header_picture.get(), target);
}

void EraseBackground(HWND page, const PageState& s, HDC dc) {
  RECT client{};
  ::GetClientRect(page, &client);
  ::FillRect(dc, &client, s.content.get());
  if (s.strip_rect.bottom > s.strip_rect.top) ::FillRect(dc, &s.strip_rect, s.strip.get());
}

// The colours of a static text or check box: those of the area it lies in.
INT_PTR ControlColours(HWND page, const PageState& s, HDC dc, HWND control) {
  RECT r{};
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  const int id = ::GetDlgCtrlID(control);
  HBRUSH brush = s.content.get();
  COLORREF back = s.content_colour, fore = s.text_colour;
  if (id == pc::kPanel || id == pc::kHeaderBand || Inside(s.band_rect, r) || Inside(s.panel_rect, r)) {
    brush = s.band.get();
    back = s.band_colour;
    fore = s.band_text_colour;
  } else if (Inside(s.strip_rect, r)) {
    brush = s.strip.get();
    back = ::GetSysColor(COLOR_BTNFACE);
    fore = ::GetSysColor(COLOR_BTNTEXT);
  }
  ::SetTextColor(dc, fore);
  ::SetBkColor(dc, back);
  return reinterpret_cast<INT_PTR>(brush);
}

// ---- the dialog procedure ----------------------------------------------------

void Close(HWND page, PageState& s, int result) {
  if (s.modal) ::EndDialog(page, result);
}

bool HandleCommand(HWND page, PageState& s, int id, int code) {
  if (id == pc::kFirstButton || id == IDOK) {
    // A disabled button can still be sent its command by another program.
    if (!Shows(page, pc::kFirstButton)) return true;
    if (s.handler->FirstButton(page)) Close(page, s, kPageGoOn);
    return true;
  }
  if (id == pc::kCancel || id == IDCANCEL) {
    if (!Shows(page, pc::kCancel)) return true;
    if (s.modal) {
      Close(page, s, kPageCancelled);
    } else {
      s.handler->Cancel(page);
    }
    return true;
  }
  return s.handler->Command(page, id, code);
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* s = reinterpret_cast<PageState*>(lparam);
    ::SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
    // Boxes the page asks belong to it, so that it waits for them.
    s->previous_box_owner = MessageBoxOwner();
    SetMessageBoxOwner(page);
    Decorate(page, *s);
    s->handler->Init(page);
    // Set here rather than by the dialog manager, which would select a
    // document view's whole text.
    for (const int id : {s->handler->FocusControl(), pc::kFirstButton, pc::kCancel}) {
      if (Shows(page, id)) {
        ::SetFocus(::GetDlgItem(page, id));
        break;
      }
    }
    ::PostMessageW(page, kComeForward, 0, 0);
    return FALSE;
  }
  PageState* s = StateOf(page);
  if (!s) return FALSE;
  switch (message) {
    case kComeForward:
      ::SetForegroundWindow(page);
      return TRUE;
    case WM_ERASEBKGND:
      EraseBackground(page, *s, reinterpret_cast<HDC>(wparam));
      ::SetWindowLongPtrW(page, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(s->content.get());
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return ControlColours(page, *s, reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item.CtlID == pc::kSidePicture) DrawSidePicture(*s, item);
      if (item.CtlID == pc::kHeaderBand) DrawHeaderBand(*s, item);
      return TRUE;
    }
    case WM_COMMAND:
      return HandleCommand(page, *s, LOWORD(wparam), HIWORD(wparam)) ? TRUE : FALSE;
    case WM_NOTIFY:
      return s->handler->Notify(page, *reinterpret_cast<const NMHDR*>(lparam)) ? TRUE : FALSE;
    case WM_DESTROY:
      SetMessageBoxOwner(s->previous_box_owner);
      ::SetWindowLongPtrW(page, DWLP_USER, 0);
      return FALSE;
    default:
      return FALSE;
  }
}

// The template, in the product's font when it names one.
bool LoadTemplate(const ProgramResources& r, const PageFrame& frame, const DialogFont& font, Bytes& out) {
  const HRSRC found = ::FindResourceW(r.instance, W(frame.template_name), MAKEINTRESOURCEW(5));  // RT_DIALOG
  if (!found) return false;
  const HGLOBAL loaded = ::LoadResource(r.instance, found);
  const auto* bytes = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
  const DWORD size = ::SizeofResource(r.instance, found);
  if (!bytes || size == 0) return false;
  out.assign(bytes, bytes + size);
  if (std::optional<Bytes> changed = WithDialogFont(out, font)) out = std::move(*changed);
  return true;
}

}  // namespace

PageLook InstallationPageLook(const InstallSettings& settings, std::uint32_t archive_flags,
                              const ProgramResources& resources) {
  PageLook look;
  look.resources = &resources;
  look.font = {settings.dialog_font, settings.dialog_font_size > 0 ? settings.dialog_font_points() : 0};
  if (HasFlag(settings.product_flags, product_flag::kDialogColours)) {
    look.background = settings.dialog_bg;
    look.text = settings.dialog_fg;
  }
  if (archive_flags & kArchiveFlagSecondDialogColours) {
    look.band_background = settings.dialog_bg2;
    look.band_text = settings.dialog_fg2;
  }
  look.side_colour = settings.side_picture_colour;
  look.side_frame = settings.side_picture_frame;
  look.icons = HasFlag(settings.product_flags, product_flag::kDialogIcons);
  return look;
}

PageFrame MakeFrame(WString template_name, std::uint32_t style, const WString& page_title,
                    const WString& product_title, const WString& header_text) {
  PageFrame frame;
  frame.template_name = std::move(template_name);
  frame.style = style;
  const bool band = LayoutOf(style) == PageLayout::kHeaderBand;
  frame.window_title = band ? product_title : page_title;
  frame.header_line = header_text;
  frame.header_sub_line = page_title;
  return frame;
}

int RunPage(const PageLook& look, const PageFrame& frame, PageHandler& handler, HWND owner) {
  Bytes dialog;
  if (!LoadTemplate(*look.resources, frame, look.font, dialog)) return kPageCancelled;
  PageState state;
  state.look = &look;
  state.frame = &frame;
  state.handler = &handler;
  const INT_PTR result =
      ::DialogBoxIndirectParamW(look.resources->instance, reinterpret_cast<LPCDLGTEMPLATEW>(dialog.data()), owner,
                                PageProc, reinterpret_cast<LPARAM>(&state));
  return result == kPageGoOn ? kPageGoOn : kPageCancelled;
}

struct ModelessPage::State {
  PageState page;
};

ModelessPage::ModelessPage() = default;
ModelessPage::~ModelessPage() { Close(); }

bool ModelessPage::Open(const PageLook& look, const PageFrame& frame, PageHandler& handler, HWND owner) {
  Close();
  Bytes dialog;
  if (!LoadTemplate(*look.resources, frame, look.font, dialog)) return false;
  state_ = std::make_unique<State>();
  PageState& s = state_->page;
  s.look = &look;
  s.frame = &frame;
  s.handler = &handler;
  s.modal = false;
  window_ = ::CreateDialogIndirectParamW(look.resources->instance, reinterpret_cast<LPCDLGTEMPLATEW>(dialog.data()),
                                         owner, PageProc, reinterpret_cast<LPARAM>(&s));
  if (!window_) {
    state_.reset();
    return false;
  }
  ::ShowWindow(window_, SW_SHOW);
  return true;
}

void ModelessPage::Close() {
  if (window_) ::DestroyWindow(window_);
  window_ = nullptr;
  state_.reset();
}

void SetControlText(HWND page, int id, const WString& text) {
  if (const HWND control = ::GetDlgItem(page, id)) ::SetWindowTextW(control, W(text));
}

WString ControlText(HWND page, int id) {
  const HWND control = ::GetDlgItem(page, id);
  if (!control) return WString();
  WString text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, u'\0');
  const int got = ::GetWindowTextW(control, W(text), static_cast<int>(text.size()));
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

HBITMAP LoadEnginePicture(const ProgramResources& resources, int id) {
  // The author's own picture, which the authoring tool writes as a bitmap, is
  // shown at every resolution.
  if (const auto own = static_cast<HBITMAP>(
          ::LoadImageW(resources.instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))) {
    return own;
  }
  if (resources.dpi_y >= kLargeBitmapDpi) {
    if (const HBITMAP large = UnpackPicture(resources.instance, id + kLargeBitmapOffset)) return large;
  }
  return UnpackPicture(resources.instance, id);
}

}  // namespace ks
