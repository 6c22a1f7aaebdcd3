#include "crash/win/exception_dialog.h"

#include <algorithm>
#include <cstring>

#include "lib/win/wide.h"

namespace ks {
namespace {

constexpr UINT kShowReportStart = WM_APP + 1;

struct DialogState {
  const NString* report = nullptr;
  const NString* support = nullptr;
  ReportInput input;
};

// Where a control goes when the dialog is made smaller: the texts above the
// report stay; the report gives up the height; what lies below it moves up.
enum Anchor : unsigned { kStretchWidth = 1, kFollowRight = 2, kFollowBottom = 4, kStretchHeight = 8 };
struct ControlAnchor {
  int id;
  unsigned anchor;
};
constexpr ControlAnchor kAnchors[] = {
    {kApologyText, kStretchWidth},
    {kReportEdit, kStretchWidth | kStretchHeight},
    {kEmailPrompt, kStretchWidth | kFollowBottom},
    {kEmailEdit, kStretchWidth | kFollowBottom},
    {kCommentsPrompt, kStretchWidth | kFollowBottom},
    {kCommentsEdit, kStretchWidth | kFollowBottom},
    {kInformUsButton, kFollowRight | kFollowBottom},
    {kCopyReportButton, kFollowRight | kFollowBottom},
    {kExitButton, kFollowRight | kFollowBottom},
};

void MoveControls(HWND dialog, int dw, int dh) {
  for (const ControlAnchor& a : kAnchors) {
    const HWND control = ::GetDlgItem(dialog, a.id);
    RECT r{};
    if (!control || !::GetWindowRect(control, &r)) continue;
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    int x = r.left, y = r.top, w = r.right - r.left, h = r.bottom - r.top;
    if (a.anchor & kStretchWidth) w += dw;
    if (a.anchor & kFollowRight) x += dw;
    if (a.anchor & kFollowBottom) y += dh;
    if (a.anchor & kStretchHeight) h += dh;
    ::SetWindowPos(control, nullptr, x, y, std::max(w, 8), std::max(h, 8), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// Shrinks the dialog to the work area when it is larger, and centres it there.
void FitToScreen(HWND dialog) {
  RECT area{}, r{};
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
    area = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
  ::GetWindowRect(dialog, &r);
  const int area_w = area.right - area.left, area_h = area.bottom - area.top;
  const int w = std::min<int>(r.right - r.left, area_w), h = std::min<int>(r.bottom - r.top, area_h);
  MoveControls(dialog, w - (r.right - r.left), h - (r.bottom - r.top));
  ::SetWindowPos(dialog, nullptr, area.left + (area_w - w) / 2, area.top + (area_h - h) / 2, w, h,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

NString ItemText(HWND dialog, int id) {
  const HWND control = ::GetDlgItem(dialog, id);
  const int length = control ? ::GetWindowTextLengthW(control) : 0;
  if (length <= 0) return {};
  WString text(static_cast<std::size_t>(length) + 1, u'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(control, W(text), length + 1)));
  return WideToCp1252(text);
}

void Initialize(HWND dialog, const DialogState& state) {
  ::SetDlgItemTextW(dialog, kApologyText, W(Cp1252ToWide(ApologyText(*state.support))));
  ::SendDlgItemMessageW(dialog, kReportEdit, EM_SETLIMITTEXT, 0, 0);
  ::SetDlgItemTextW(dialog, kReportEdit, W(Cp1252ToWide(*state.report)));
  int default_button = kInformUsButton;
  if (state.support->empty()) {
    ::EnableWindow(::GetDlgItem(dialog, kInformUsButton), FALSE);
    default_button = kExitButton;
    ::SendMessageW(dialog, DM_SETDEFID, default_button, 0);
  }
  FitToScreen(dialog);
  // Without an owner nothing keeps it above the installer's full-screen window.
  if (!::GetWindow(dialog, GW_OWNER)) ::SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetForegroundWindow(dialog);
  // The report is read from its start, not selected as the first control
  // would be: the focus goes to the default button.
  ::SetFocus(::GetDlgItem(dialog, default_button));
  // Shown, the edit control scrolls to the end of its text; the report is
  // read from its first line.
  ::PostMessageW(dialog, kShowReportStart, 0, 0);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      Initialize(dialog, *reinterpret_cast<DialogState*>(lparam));
      return FALSE;  // the focus is set
    case kShowReportStart:
      ::SendDlgItemMessageW(dialog, kReportEdit, EM_SETSEL, 0, 0);
      ::SendDlgItemMessageW(dialog, kReportEdit, EM_SCROLLCARET, 0, 0);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kCopyReportButton:
          CopyTextToClipboard(dialog, *state->report);
          return TRUE;
        case kInformUsButton:
          if (!::IsWindowEnabled(::GetDlgItem(dialog, kInformUsButton))) return TRUE;
          state->input.email = ItemText(dialog, kEmailEdit);
          state->input.comments = ItemText(dialog, kCommentsEdit);
          ::EndDialog(dialog, kInformUsButton);
          return TRUE;
        case kExitButton:
        case IDCANCEL:
          ::EndDialog(dialog, kExitButton);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace

bool CopyTextToClipboard(HWND owner, NStringView text) {
  if (!::OpenClipboard(owner)) return false;
  ::EmptyClipboard();
  bool copied = false;
  if (const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
    if (void* bytes = ::GlobalLock(memory)) {
      std::memcpy(bytes, text.data(), text.size());
      static_cast<char*>(bytes)[text.size()] = '\0';
      ::GlobalUnlock(memory);
      copied = ::SetClipboardData(CF_TEXT, memory) != nullptr;
    }
    if (!copied) ::GlobalFree(memory);
  }
  if (const HGLOBAL locale = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(LCID))) {
    if (auto* lcid = static_cast<LCID*>(::GlobalLock(locale))) {
      *lcid = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
      ::GlobalUnlock(locale);
      if (!::SetClipboardData(CF_LOCALE, locale)) ::GlobalFree(locale);
    } else {
      ::GlobalFree(locale);
    }
  }
  ::CloseClipboard();
  return copied;
}

std::optional<ReportInput> ShowExceptionDialog(HINSTANCE instance, HWND owner, const NString& report,
                                               const NString& support_address) {
  DialogState state;
  state.report = &report;
  state.support = &support_address;
  const INT_PTR result = ::DialogBoxParamW(instance, L"ExceptionDlg", owner, DialogProc,
                                           reinterpret_cast<LPARAM>(&state));
  if (result != kInformUsButton) return std::nullopt;
  return state.input;
}

}  // namespace ks
