#include "ui/win/program_resources.h"

#include "lib/win/system_library.h"
#include "ui/win/wizard_page.h"
#include "ui/wizard_rules.h"

namespace ks {
namespace {

void ReadScreenMetrics(ProgramResources& r) {
  if (const HDC screen = ::GetDC(nullptr)) {
    r.dpi_x = ::GetDeviceCaps(screen, LOGPIXELSX);
    r.dpi_y = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
  }
  r.work_area_known = ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r.work_area, 0) != FALSE;
  if (!r.work_area_known) {
    r.work_area = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
}

HICON LoadProgramIcon(HINSTANCE instance, int width_metric, int height_metric) {
  return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                         ::GetSystemMetrics(width_metric),
                                         ::GetSystemMetrics(height_metric), LR_DEFAULTCOLOR));
}

// Loaded by name, not from the system folder: the program's manifest may
// redirect comctl32 to its side-by-side version 6. Its import of uxtheme
// would be searched beside the program first, so that one is loaded from
// the system folder before it.
void LoadSubclassFunctions(ProgramResources& r) {
  r.uxtheme = LoadSystemLibrary(L"uxtheme.dll");
  r.comctl32 = OwnedModule(::LoadLibraryW(L"comctl32.dll"));
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  if (const auto init = ProcAddress<InitFn>(r.comctl32.get(), "InitCommonControlsEx")) {
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_LINK_CLASS |
                                                                         ICC_STANDARD_CLASSES};
    init(&classes);
  }
  r.def_subclass_proc = ProcAddress<DefSubclassProcFn>(r.comctl32.get(), "DefSubclassProc");
  r.set_window_subclass = ProcAddress<SetWindowSubclassFn>(r.comctl32.get(), "SetWindowSubclass");
}

using CreateListFn = HIMAGELIST(WINAPI*)(int, int, UINT, int, int);
using AddMaskedFn = int(WINAPI*)(HIMAGELIST, HBITMAP, COLORREF);

// An image list of the engine's button image `id`; magenta shows the button.
HIMAGELIST ButtonImage(const ProgramResources& r, int id, CreateListFn create, AddMaskedFn add) {
  const OwnedBitmap bitmap(LoadEnginePicture(r, id));
  BITMAP info{};
  if (!bitmap || !::GetObjectW(bitmap.get(), sizeof info, &info)) return nullptr;
  const HIMAGELIST list = create(info.bmWidth, info.bmHeight, ILC_COLOR24 | ILC_MASK, 1, 0);
  if (list) add(list, bitmap.get(), RGB(255, 0, 255));
  return list;
}

void LoadButtonImages(ProgramResources& r) {
  const auto create = ProcAddress<CreateListFn>(r.comctl32.get(), "ImageList_Create");
  const auto add = ProcAddress<AddMaskedFn>(r.comctl32.get(), "ImageList_AddMasked");
  const auto destroy = ProcAddress<ButtonImages::DestroyFn>(r.comctl32.get(), "ImageList_Destroy");
  if (!create || !add || !destroy) return;
  r.button_images.Set(ButtonImage(r, kFirstButtonImage, create, add), ButtonImage(r, kCancelButtonImage, create, add),
                      destroy);
}

}  // namespace

void LoadProgramResources(HINSTANCE instance, ProgramResources& r) {
  ReadScreenMetrics(r);
  r.instance = instance;
  r.icon_large = OwnedIcon(LoadProgramIcon(instance, SM_CXICON, SM_CYICON));
  r.icon_small = OwnedIcon(LoadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON));
  LoadSubclassFunctions(r);
  r.rich_edit = LoadSystemLibrary(L"riched20.dll");
  LoadButtonImages(r);
}

ButtonImages::~ButtonImages() {
  if (!destroy_) return;
  if (first_) destroy_(first_);
  if (cancel_) destroy_(cancel_);
}

void ButtonImages::Set(HIMAGELIST first, HIMAGELIST cancel, DestroyFn destroy) {
  first_ = first;
  cancel_ = cancel;
  destroy_ = destroy;
}

}  // namespace ks
