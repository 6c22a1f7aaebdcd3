#include "integration/win/font_registration.h"

#include <windows.h>

#include "engine/font_list.h"
#include "engine/special_folders.h"
#include "engine/win/file_removal.h"
#include "engine/win/special_folders.h"
#include "lib/marked_text.h"
#include "lib/win/os_version_query.h"
#include "lib/win/reg_key.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// A file name without any folder part: nothing outside the Fonts folder.
bool IsPlainFileName(const WString& name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  return name.find_first_of(u"\\/:") == WString::npos;
}

}  // namespace

const char16_t* FontsKeyPath() { return GetSystemVersion().platform == kPlatformNt ? kFontsKeyNt : kFontsKey9x; }

void RegisterFont(NStringView title, NStringView file_name, const WString& destination,
                  const ComponentProgress& progress) {
  progress.ShowItem(destination);
  const WString name = DecodeMarkedText(file_name);
  RegKey key;
  // Without a title the entry would be the key's default value, which is not the font's.
  if (!title.empty() && key.Open(HKEY_LOCAL_MACHINE, FontsKeyPath(), kRegOpenOnly, kRegAccess32) != kRegFailed) {
    key.SetString(RegName(Utf8ToWide(title)), WStringView(name));
  }
  ::AddFontResourceW(W(name));
}

bool RemoveFont(NStringView registered_name, NStringView file_name) {
  const WString name = DecodeMarkedText(file_name);
  if (!IsPlainFileName(name)) return false;
  RegKey key;
  if (!registered_name.empty() &&
      key.Open(HKEY_LOCAL_MACHINE, FontsKeyPath(), kRegOpenOnly, kRegAccess32) != kRegFailed) {
    key.DeleteValue(RegName(Utf8ToWide(registered_name)));
  }
  ::RemoveFontResourceW(W(name));
  const WString fonts = SpecialFolderPath(SpecialFolder::kFonts);
  if (!fonts.empty()) DeleteFileWithOptions(JoinPath(fonts, name), 0);
  return true;
}

void AnnounceFontChange() { ::PostMessageW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0); }

}  // namespace ks
