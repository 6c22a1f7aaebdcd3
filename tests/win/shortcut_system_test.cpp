#include "integration/win/shortcut_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "lib/win/wide.h"
#include "scratch_folder.h"
#include "tests/e2e/harness/shell_link_file.h"

namespace ks {
namespace {

std::string ReadBytes(const WString& path) {
  HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

bool WriteBytes(const WString& path, const std::string& bytes) {
  HANDLE file = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return written == bytes.size();
}

// The shell's link object needs COM, as the engine's start-up provides it.
class ShellLinks : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(ShellLinks, TheFileHoldsWhatWasAsked) {
  test::ScratchFolder dir(u"ks_links_");
  const WString target = dir / u"app.exe";
  ASSERT_TRUE(WriteBytes(target, "MZ"));
  CreateDirectoryW(W(dir / u"Work"), nullptr);
  const NString app = WideToUtf8(target);
  const struct {
    const char16_t* name;
    unsigned flags;
    WString start_in, icon, arguments;
    std::uint32_t show;
    NString working_dir, icon_location;
  } cases[] = {
      {u"normal", 0, u"C:", u"", u"", 1, "C:\\", app},
      {u"minimized", kLinkMinimized | kLinkAllUsers, u"  " + (dir / u"Work") + u" ", u"C:\\icons\\i.ico",
       u"--one \"two\"", 7, WideToUtf8(dir / u"Work"), "C:\\icons\\i.ico"},
      {u"maximized", kLinkMaximized, u"", u"", u"-m", 3, "", app},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name));
    LinkRequest request;
    request.path = dir / u"made\\deeper\\" + c.name + u".lnk";
    request.target = target;
    request.arguments = c.arguments;
    request.start_in = c.start_in;
    request.icon = c.icon;
    request.flags = c.flags;
    const SystemOutcome outcome = CreateShellLink(request);
    ASSERT_TRUE(outcome.done) << outcome.error;
    const test::ShellLinkFile link = test::ParseShellLink(ReadBytes(request.path));
    ASSERT_TRUE(link.valid);
    EXPECT_EQ(link.target, app);
    EXPECT_EQ(link.arguments, WideToUtf8(c.arguments));
    EXPECT_EQ(link.working_dir, c.working_dir);
    EXPECT_EQ(link.icon_location, c.icon_location);
    EXPECT_EQ(link.icon_index, 0);
    EXPECT_EQ(link.show_command, c.show);
    EXPECT_EQ(link.description, "");
  }
}

TEST_F(ShellLinks, FailuresCarryTheirError) {
  test::ScratchFolder dir(u"ks_links_");
  LinkRequest request;
  request.path = dir / u"a.lnk";
  EXPECT_EQ(CreateShellLink(request).error, static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
  request.target = dir / u"app.exe";
  request.path = dir / u"missing\\a.lnk";
  request.flags = kLinkNoParentFolder;
  const SystemOutcome outcome = CreateShellLink(request);
  EXPECT_FALSE(outcome.done);
  EXPECT_FALSE(outcome.crashed);
  EXPECT_NE(outcome.error, 0u);
  EXPECT_EQ(GetFileAttributesW(W(dir / u"missing")), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ShellLinks, TheDesktopFolderShowsItsIcon) {
  test::ScratchFolder dir(u"ks_folder_icon_");
  RunningShortcutSystem system;
  const struct {
    const char16_t* folder;
    WString icon;
    std::string lead;  // the file's first bytes
    std::string icon_line;
  } cases[] = {
      {u"plain", u"C:\\Data\\Desktop Icon.ico", "[.ShellClassInfo]", "IconFile=C:\\Data\\Desktop Icon.ico"},
      // UTF-16 with its mark: the profile writer keeps the path whole.
      {u"wide", u"C:\\Caf\u00e9\\Desktop Icon.ico", "\xFF\xFE", std::string("I\0c\0o\0n\0F\0i\0l\0e\0=\0", 18)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.folder));
    const WString folder = dir / c.folder;
    CreateDirectoryW(W(folder), nullptr);
    system.WriteFolderIcon(folder, c.icon);
    const WString ini = folder + u"\\Desktop.ini";
    const std::string bytes = ReadBytes(ini);
    EXPECT_EQ(bytes.substr(0, c.lead.size()), c.lead);
    EXPECT_NE(bytes.find(c.icon_line), std::string::npos) << bytes;
    const DWORD attributes = GetFileAttributesW(W(ini));
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
    EXPECT_NE(GetFileAttributesW(W(folder)) & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY), 0u);
  }
  const std::string wide = ReadBytes(dir / u"wide\\Desktop.ini");
  const WString icon = cases[1].icon;
  EXPECT_NE(wide.find(std::string(reinterpret_cast<const char*>(icon.data()), icon.size() * 2)), std::string::npos);
  // No icon, no file.
  CreateDirectoryW(W(dir / u"none"), nullptr);
  system.WriteFolderIcon(dir / u"none", u"");
  EXPECT_EQ(GetFileAttributesW(W(dir / u"none\\Desktop.ini")), INVALID_FILE_ATTRIBUTES);
}

// The pin verb's outcome is the shell's own: the same call made here answers
// the same. (Wine's shell does not know the verb; it runs the link's target,
// which here is no program.)
TEST_F(ShellLinks, ThePinReportsTheShellsAnswer) {
  test::ScratchFolder dir(u"ks_pin_");
  LinkRequest request;
  request.path = dir / u"Pin.lnk";
  request.target = dir / u"app.exe";
  ASSERT_TRUE(WriteBytes(request.target, "MZ"));
  ASSERT_TRUE(CreateShellLink(request).done);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"taskbarpin";
  info.lpFile = W(request.path);
  info.nShow = SW_SHOWNORMAL;
  const bool done = ShellExecuteExW(&info) != FALSE;
  const DWORD error = done ? 0 : GetLastError();
  RunningShortcutSystem system;
  const SystemOutcome outcome = system.PinToTaskbar(request.path);
  EXPECT_EQ(outcome.done, done);
  EXPECT_EQ(outcome.error, error);
  EXPECT_FALSE(outcome.crashed);
}

}  // namespace
}  // namespace ks
