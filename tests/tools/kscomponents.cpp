// kscomponents: what the system itself says about registered components, for
// the component tests, whose expectations must not come from the engine.
//
//   kscomponents font FAMILY   prints "font=1" when the system's font
//                              enumeration lists the family, else "font=0"
//   kscomponents msi PRODUCT   prints "msi=<state>": the installer service's
//                              state of the product code (5 installed, -1
//                              unknown), "msi=none" without the service
//
// Exit code 0, or 1 for a usage error.

#include <windows.h>

#include <string>

namespace {

void Print(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontFamilyListed(const wchar_t* family) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(wanted.lfFaceName, family, LF_FACESIZE);
  const HDC screen = GetDC(nullptr);
  bool found = false;
  EnumFontFamiliesExW(screen, &wanted, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

std::string ProductState(const wchar_t* product) {
  wchar_t system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 10) return "none";
  const HMODULE msi = LoadLibraryW((std::wstring(system) + L"\\msi.dll").c_str());
  if (!msi) return "none";
  using QueryFn = int(WINAPI*)(const wchar_t*);
  const auto query =
      reinterpret_cast<QueryFn>(reinterpret_cast<void (*)()>(GetProcAddress(msi, "MsiQueryProductStateW")));
  const std::string state = query ? std::to_string(query(product)) : "none";
  FreeLibrary(msi);
  return state;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 1;
  const std::wstring what = argv[1];
  if (what == L"font") {
    Print(FontFamilyListed(argv[2]) ? "font=1" : "font=0");
  } else if (what == L"msi") {
    Print("msi=" + ProductState(argv[2]));
  } else {
    return 1;
  }
  return 0;
}
