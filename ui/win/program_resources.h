#pragma once
// What start-up gathers once for the windows of the run: the instance handle,
// the screen metrics, the program icons and the optional subclassing
// functions. Filled by the entry point, read by the windows.

#include <windows.h>

#include <commctrl.h>

#include "lib/win/owned.h"

namespace ks {

using DefSubclassProcFn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using SetWindowSubclassFn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR);

// Two image lists of comctl32, destroyed through the function looked up
// with them (the engine imports nothing from comctl32).
class ButtonImages {
 public:
  using DestroyFn = BOOL(WINAPI*)(HIMAGELIST);
  ButtonImages() = default;
  ~ButtonImages();
  ButtonImages(const ButtonImages&) = delete;
  ButtonImages& operator=(const ButtonImages&) = delete;

  void Set(HIMAGELIST first, HIMAGELIST cancel, DestroyFn destroy);
  HIMAGELIST first() const { return first_; }
  HIMAGELIST cancel() const { return cancel_; }

 private:
  HIMAGELIST first_ = nullptr, cancel_ = nullptr;
  DestroyFn destroy_ = nullptr;
};

struct ProgramResources {
  HINSTANCE instance = nullptr;  // for icons, dialogs and the background window

  int dpi_x = 96;  // logical pixels per inch of the screen
  int dpi_y = 96;
  RECT work_area{};
  bool work_area_known = false;  // else work_area is the whole screen

  OwnedIcon icon_large;  // resource 1 at the system's large and small icon sizes
  OwnedIcon icon_small;

  // comctl32's subclassing; the window code does without when they are missing.
  // Loading it also registers the common controls the pages use.
  OwnedModule uxtheme;  // loaded ahead of comctl32, which imports it
  OwnedModule comctl32;
  DefSubclassProcFn def_subclass_proc = nullptr;
  SetWindowSubclassFn set_window_subclass = nullptr;

  // The rich-edit control of the licence and readme pages.
  OwnedModule rich_edit;

  // The images of the first and the cancel button of the pages and questions.
  ButtonImages button_images;
};

// Reads the screen, loads the icons and looks up the subclassing functions.
void LoadProgramResources(HINSTANCE instance, ProgramResources& resources);

}  // namespace ks
