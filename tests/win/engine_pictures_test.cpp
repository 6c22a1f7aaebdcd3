// The engine's own pictures are packed in its resources: unpacked they must be
// the drawn pictures pixel for pixel, the large one at high resolution; a
// bitmap of the same number (the author's, written by the authoring tool)
// wins at every resolution.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "core/pe_resources.h"
#include "lib/win/owned.h"
#include "lib/win/wide.h"
#include "tests/unit/bmp_fixture.h"
#include "tests/win/scratch_folder.h"
#include "ui/bmp_file.h"
#include "ui/win/program_resources.h"
#include "ui/win/wizard_page.h"
#include "ui/wizard_rules.h"

namespace ks {
namespace {

WString BesideTests(const char16_t* name) {
  wchar_t self[MAX_PATH] = {};
  const WString path = FromW(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
  return path.substr(0, path.find_last_of(u'\\') + 1) + name;
}

Bytes ReadAll(const WString& path) {
  std::ifstream in(W(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct DataModule {
  explicit DataModule(const WString& path)
      : module(::LoadLibraryExW(W(path), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~DataModule() {
    if (module) ::FreeLibrary(module);
  }
  HMODULE module;
};

// The bitmap's pixel rows as the DIB section holds them.
Bytes Rows(HBITMAP bitmap) {
  DIBSECTION section{};
  if (::GetObjectW(bitmap, sizeof section, &section) != sizeof section || !section.dsBm.bmBits) return {};
  const auto* bits = static_cast<const std::uint8_t*>(section.dsBm.bmBits);
  return Bytes(bits, bits + static_cast<std::size_t>(section.dsBm.bmWidthBytes) * section.dsBm.bmHeight);
}

Bytes FileRows(const Bytes& file) {
  BmpLayout layout;
  if (!ReadBmpLayout(file, &layout)) return {};
  return Bytes(file.begin() + static_cast<std::ptrdiff_t>(layout.bits_offset),
               file.begin() + static_cast<std::ptrdiff_t>(layout.bits_offset + layout.bits_size));
}

TEST(EnginePictures, UnpackedAreTheDrawnPicturesAtEachResolution) {
  const DataModule engine(BesideTests(u"kestrelon.exe"));
  ASSERT_NE(engine.module, nullptr) << "kestrelon.exe must lie beside the tests";
  const struct {
    int id;
    int dpi;
    const char16_t* file;
  } cases[] = {
      {kSidePictureBitmap, 96, u"side.bmp"},           {kSidePictureBitmap, 192, u"side_192.bmp"},
      {kHeaderBitmap, 96, u"header.bmp"},              {kHeaderBitmap, 144, u"header_192.bmp"},
      {kFirstButtonImage, 120, u"button_go.bmp"},      {kFirstButtonImage, 192, u"button_go_192.bmp"},
      {kCancelButtonImage, 96, u"button_cancel.bmp"},  {kCancelButtonImage, 192, u"button_cancel_192.bmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.file) + " at " + std::to_string(c.dpi) + " dpi");
    const Bytes file = ReadAll(BesideTests(u"engine-pictures\\") + c.file);
    BmpLayout layout;
    ASSERT_TRUE(ReadBmpLayout(file, &layout));
    ProgramResources resources;
    resources.instance = engine.module;
    resources.dpi_x = resources.dpi_y = c.dpi;
    const OwnedBitmap picture(LoadEnginePicture(resources, c.id));
    ASSERT_TRUE(picture);
    BITMAP info{};
    ASSERT_TRUE(::GetObjectW(picture.get(), sizeof info, &info));
    EXPECT_EQ(info.bmWidth, layout.width);
    EXPECT_EQ(info.bmHeight, layout.height);
    EXPECT_EQ(Rows(picture.get()), FileRows(file));
  }
}

TEST(EnginePictures, AuthorsBitmapWinsAtEveryResolution) {
  ResourceTable table;
  std::string error;
  const Bytes engine = ReadAll(BesideTests(u"kestrelon.exe"));
  ASSERT_TRUE(ReadResources(engine, &table, &error)) << error;
  const Bytes own = test::TestBmp(12, 20, 24);
  Bytes resource;
  ASSERT_TRUE(BmpResourceFromFile(own, &resource));
  PutResource(table, {ResourceKey::Id(resource_type::kBitmap), ResourceKey::Id(kSidePictureBitmap),
                      kResourceLanguageEnglishUs, 0, resource});
  Bytes edited;
  ASSERT_TRUE(WriteResources(engine, table, &edited, &error)) << error;
  test::ScratchFolder folder(u"kspictures");
  {
    std::ofstream out(W(folder / u"setup.exe"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(edited.data()), static_cast<std::streamsize>(edited.size()));
    ASSERT_TRUE(out.good());
  }
  const DataModule copy(folder / u"setup.exe");
  ASSERT_NE(copy.module, nullptr);
  for (const int dpi : {96, 192}) {
    ProgramResources resources;
    resources.instance = copy.module;
    resources.dpi_x = resources.dpi_y = dpi;
    const OwnedBitmap picture(LoadEnginePicture(resources, kSidePictureBitmap));
    ASSERT_TRUE(picture) << dpi;
    BITMAP info{};
    ASSERT_TRUE(::GetObjectW(picture.get(), sizeof info, &info));
    EXPECT_EQ(info.bmWidth, 12) << dpi;
    EXPECT_EQ(info.bmHeight, 20) << dpi;
    // The header picture the author did not give is still the engine's.
    const OwnedBitmap header(LoadEnginePicture(resources, kHeaderBitmap));
    EXPECT_TRUE(header) << dpi;
  }
}

}  // namespace
}  // namespace ks
