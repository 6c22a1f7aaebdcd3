#include "ui/win/program_resources.h"

#include "lib/win/system_library.h"

namespace ks {
namespace {

void ReadScreenMetrics(ProgramResources& r) {
  if (const HDC screen = ::GetDC(nullptr)) {
    r.dpi_x = ::GetDeviceCaps(screen, LOGPIXELSX);
    r.dpi_y = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
  }
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r.work_area, 0)) {
    r.work_area = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
}

HICON LoadProgramIcon(HINSTANCE instance, int width_metric, int height_metric) {
  return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                         ::GetSystemMetrics(width_metric),
                                         ::GetSystemMetrics(height_metric), LR_DEFAULTCOLOR));
}

// Loaded by name, not from the system folder: the program's manifest may
// redirect comctl32 to its side-by-side version 6.
void LoadSubclassFunctions(ProgramResources& r) {
  r.comctl32 = OwnedModule(::LoadLibraryW(L"comctl32.dll"));
  r.def_subclass_proc = ProcAddress<DefSubclassProcFn>(r.comctl32.get(), "DefSubclassProc");
  r.set_window_subclass = ProcAddress<SetWindowSubclassFn>(r.comctl32.get(), "SetWindowSubclass");
}

}  // namespace

void LoadProgramResources(HINSTANCE instance, ProgramResources& r) {
  ReadScreenMetrics(r);
  r.instance = instance;
  r.icon_large = OwnedIcon(LoadProgramIcon(instance, SM_CXICON, SM_CYICON));
  r.icon_small = OwnedIcon(LoadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON));
  LoadSubclassFunctions(r);
}

}  // namespace ks
