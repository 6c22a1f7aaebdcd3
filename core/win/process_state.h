#pragma once
// What start-up gathers once for the whole run: the instance handle, the
// screen metrics, the program icons and the optional subclassing functions.

#include <windows.h>

#include <commctrl.h>

#include "lib/win/owned.h"

namespace ks {

// The installer caption: titles every message shown before the product's own
// texts are known.
inline constexpr char kInstallerCaption[] = "Kestrelon Setup";
inline constexpr wchar_t kInstallerCaptionW[] = L"Kestrelon Setup";

using DefSubclassProcFn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using SetWindowSubclassFn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR);

struct ProcessState {
  HINSTANCE instance = nullptr;  // for icons, dialogs and the background window

  int dpi_x = 96;  // logical pixels per inch of the screen
  int dpi_y = 96;
  RECT work_area{};

  OwnedIcon icon_large;  // resource 1 at the system's large and small icon sizes
  OwnedIcon icon_small;

  // comctl32's subclassing; the window code does without when they are missing.
  OwnedModule comctl32;
  DefSubclassProcFn def_subclass_proc = nullptr;
  SetWindowSubclassFn set_window_subclass = nullptr;

  // Set by the background window while it exists: owner of boxes and pages.
  HWND background_window = nullptr;
};

ProcessState& Process();

}  // namespace ks
