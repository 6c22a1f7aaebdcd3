#include "integration/win/finishing_steps.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "integration/icon_directory.h"
#include "integration/win/replace_icon.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"
#include "scratch_folder.h"

namespace ks {
namespace {

bool Exists(const WString& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

void MakeFile(const WString& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  HANDLE h = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
}

TEST(FinishingStepsTest, EmptyFolderRemoval) {
  const DWORD shell_file = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const struct {
    const char* name;
    std::vector<const char16_t*> files;
    bool folder_inside;
    bool removed;
  } cases[] = {
      {"empty", {}, false, true},
      {"only the shell's files", {u"desktop.ini", u"Thumbs.db"}, false, true},
      {"a product file stays with desktop.ini", {u"desktop.ini", u"app.exe"}, false, false},
      {"a sub-folder", {}, true, false},
  };
  for (const auto& c : cases) {
    test::ScratchFolder scratch(u"ks_finish");
    const WString folder = scratch / u"App";
    ASSERT_TRUE(CreateDirectoryW(W(folder), nullptr));
    for (const char16_t* file : c.files) MakeFile(folder + u"\\" + file, shell_file);
    if (c.folder_inside) {
      ASSERT_TRUE(CreateDirectoryW(W(folder + u"\\Sub"), nullptr));
    }
    EXPECT_EQ(RemoveFolderIfEmpty(folder), c.removed) << c.name;
    EXPECT_EQ(Exists(folder), !c.removed) << c.name;
    if (!c.removed) {
      for (const char16_t* file : c.files) EXPECT_TRUE(Exists(folder + u"\\" + file)) << c.name;
    }
  }
  EXPECT_FALSE(RemoveFolderIfEmpty(u""));
}

// An .ico of one 16x16 image with recognisable bytes.
Bytes OneImageIcon() {
  Bytes ico = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 8, 0, 0, 0, 22, 0, 0, 0};
  for (std::uint8_t b = 1; b <= 8; ++b) ico.push_back(b);
  return ico;
}

Bytes ResourceBytes(HMODULE module, LPCWSTR type, WORD id) {
  const HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), kIconResourceLanguage);
  if (!found) return {};
  const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
  return data ? Bytes(data, data + SizeofResource(module, found)) : Bytes();
}

TEST(FinishingStepsTest, ReplaceIcon) {
  test::ScratchFolder scratch(u"ks_icon");
  const WString program = scratch / u"copy.exe";
  ASSERT_TRUE(CopyFileW(W(ModuleFileName(nullptr)), W(program), FALSE));

  EXPECT_EQ(ReplaceIcon(program, Bytes{0, 0, 1, 0}), IconReplaceResult::kFailed);
  EXPECT_EQ(ReplaceIcon(scratch / u"missing.exe", OneImageIcon()), IconReplaceResult::kCannotOpen);
  ASSERT_EQ(ReplaceIcon(program, OneImageIcon()), IconReplaceResult::kReplaced);

  const HMODULE module = LoadLibraryExW(W(program), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  const Bytes group = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 8, 0, 0, 0, 1, 0};
  EXPECT_EQ(ResourceBytes(module, RT_GROUP_ICON, 1), group);
  EXPECT_EQ(ResourceBytes(module, RT_ICON, 1), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  FreeLibrary(module);
}

}  // namespace
}  // namespace ks
