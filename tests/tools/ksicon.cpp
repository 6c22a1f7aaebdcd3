// Compares a program's icon resources with an .ico file: the group icon 1
// (language 1033) must list the file's images in order and each RT_ICON i
// must hold the image's bytes.
//
//   ksicon PROGRAM ICO
//
// Prints "same" and exits 0 when they agree; otherwise prints what differs
// and exits 1 (2 when a file cannot be read).
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "integration/icon_directory.h"

namespace {

bool ReadAll(const wchar_t* path, ks::Bytes* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// The bytes of one resource, or empty when it is missing.
ks::Bytes Resource(HMODULE module, LPCWSTR type, WORD id) {
  const HRSRC found = ::FindResourceExW(module, type, MAKEINTRESOURCEW(id), ks::kIconResourceLanguage);
  if (!found) return {};
  const HGLOBAL loaded = ::LoadResource(module, found);
  const auto* data = static_cast<const std::uint8_t*>(::LockResource(loaded));
  if (!data) return {};
  return ks::Bytes(data, data + ::SizeofResource(module, found));
}

int Compare(HMODULE module, const ks::Bytes& ico) {
  std::vector<ks::IconImage> images;
  if (!ks::ReadIconDirectory(ico, &images)) {
    std::puts("bad ico");
    return 2;
  }
  if (Resource(module, RT_GROUP_ICON, ks::kGroupIconId) != ks::BuildGroupIcon(images)) {
    std::puts("group icon differs");
    return 1;
  }
  for (std::size_t i = 0; i < images.size(); ++i) {
    const auto begin = ico.begin() + static_cast<std::ptrdiff_t>(images[i].offset);
    if (Resource(module, RT_ICON, static_cast<WORD>(i + 1)) != ks::Bytes(begin, begin + static_cast<std::ptrdiff_t>(images[i].size))) {
      std::printf("icon %u differs\n", static_cast<unsigned>(i + 1));
      return 1;
    }
  }
  std::puts("same");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: ksicon PROGRAM ICO\n", stderr);
    return 2;
  }
  ks::Bytes ico;
  if (!ReadAll(argv[2], &ico)) return 2;
  const HMODULE module = ::LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) {
    std::puts("cannot load program");
    return 2;
  }
  const int result = Compare(module, ico);
  ::FreeLibrary(module);
  return result;
}
