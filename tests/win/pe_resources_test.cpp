// The resource writer on the real engine: a copy with a string and a block of
// data added (large enough to move the sections behind the resources in
// memory) still starts, and the system's own resource functions find both.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "core/pe_resources.h"
#include "lib/win/owned.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"
#include "tests/win/scratch_folder.h"

namespace ks {
namespace {

Bytes ReadAll(const WString& path) {
  std::ifstream in(W(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteAll(const WString& path, const Bytes& bytes) {
  std::ofstream out(W(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

DWORD RunAndWait(const WString& exe, const WString& args) {
  WString command = u"\"" + exe + u"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(W(exe), W(command), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 0xFFFFFFFF;
  const OwnedHandle process(pi.hProcess), thread(pi.hThread);
  if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) return 0xFFFFFFFE;
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

WString LoadedString(HMODULE module, UINT id) {
  wchar_t buffer[256] = {};
  const int n = ::LoadStringW(module, id, buffer, 256);
  return FromW(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

TEST(PeResources, EditedEngineRunsAndFindsItsResources) {
  const WString self = ModuleFileName(nullptr);
  const WString engine_path = self.substr(0, self.find_last_of(u'\\') + 1) + u"kestrelon.exe";
  const Bytes engine = ReadAll(engine_path);
  ASSERT_FALSE(engine.empty()) << "kestrelon.exe must lie beside the tests";

  ResourceTable table;
  std::string error;
  ASSERT_TRUE(ReadResources(engine, &table, &error)) << error;
  ASSERT_NE(FindResourceEntry(table, ResourceKey::Id(resource_type::kGroupIcon), ResourceKey::Id(1),
                              kResourceLanguageEnglishUs),
            nullptr)
      << "the engine's icon group";
  PutResourceString(table, 4001, kResourceLanguageEnglishUs, u"r\u00E9sum\u00E9@example.com");
  Bytes block(0x9000);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  PutResource(table, Resource{ResourceKey::Id(resource_type::kRcData), ResourceKey::Name(u"BLOCK"),
                              kResourceLanguageEnglishUs, 0, block});
  Bytes edited;
  ASSERT_TRUE(WriteResources(engine, table, &edited, &error)) << error;

  test::ScratchFolder scratch(u"ks_pe_resources_");
  const WString copy = scratch.path() + u"\\edited.exe";
  ASSERT_TRUE(WriteAll(copy, edited));

  // Mapped as an image: the test program holds the engine's preferred base,
  // so the copy is relocated through its moved relocation table.
  const OwnedModule image(::LoadLibraryExW(W(copy), nullptr, DONT_RESOLVE_DLL_REFERENCES));
  ASSERT_TRUE(image) << ::GetLastError();
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(edited.data() + LoadLe32(edited.data() + 0x3C));
  EXPECT_NE(reinterpret_cast<std::uintptr_t>(image.get()) & ~std::uintptr_t{3}, headers->OptionalHeader.ImageBase);
  EXPECT_EQ(LoadedString(image.get(), 4001), u"r\u00E9sum\u00E9@example.com");
  EXPECT_EQ(LoadedString(image.get(), 4000), u"");
  const HRSRC found = ::FindResourceW(image.get(), L"BLOCK", MAKEINTRESOURCEW(resource_type::kRcData));
  ASSERT_NE(found, nullptr);
  ASSERT_EQ(::SizeofResource(image.get(), found), block.size());
  const auto* data = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(image.get(), found)));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(Bytes(data, data + block.size()), block);
  EXPECT_NE(::LoadImageW(image.get(), MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0), nullptr);

  // And it runs: a wrong command line ends with the usage code, silently.
  EXPECT_EQ(RunAndWait(copy, u"/silent /x"), 15u);
}

}  // namespace
}  // namespace ks
