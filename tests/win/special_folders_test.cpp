// The special folders as the running system answers them. Under Wine the
// tests run in a 64-bit prefix with the x86_64 build; the 32-bit engine's
// view (32-bit registry, no 64-bit known folders) is shown by a method set
// that reads the 32-bit registry view and lacks the calls a 32-bit process
// lacks, so the chain falls through exactly as it does there.

#include "engine/win/special_folders.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <vector>

#include "lib/win/os_version_query.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

WString EnvironmentValue(const wchar_t* name) {
  std::vector<wchar_t> buffer(32768, L'\0');
  const DWORD n = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
  return n ? FromW(buffer.data(), n) : WString();
}

// `view` 0 is the process's own view; KEY_WOW64_32KEY the 32-bit one.
WString RegistryValue(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return WString();
  std::vector<wchar_t> buffer(4096, L'\0');
  DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  const LONG status = RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                                   nullptr, buffer.data(), &bytes);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? FromW(buffer.data()) : WString();
}

WString X86CurrentVersionValue(const wchar_t* name) {
  const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion";
  const WString value = RegistryValue(HKEY_LOCAL_MACHINE, key, name, KEY_WOW64_32KEY);
  if (value.find(u" (x86)") != WString::npos) return value;
  return RegistryValue(HKEY_LOCAL_MACHINE, key, W(FromW(name) + u" (x86)"), 0);
}

bool IsFolder(const WString& path) {
  const DWORD a = GetFileAttributesW(W(path));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(SpecialFoldersWinTest, SystemFoldersMatchTheSystemCalls) {
  wchar_t buffer[MAX_PATH] = {};
  ASSERT_NE(GetWindowsDirectoryW(buffer, MAX_PATH), 0u);
  EXPECT_EQ(SpecialFolderPath(SpecialFolder::kWindows), FromW(buffer));
  ASSERT_NE(GetSystemDirectoryW(buffer, MAX_PATH), 0u);
  EXPECT_EQ(SpecialFolderPath(SpecialFolder::kSystem), FromW(buffer));
}

TEST(SpecialFoldersWinTest, EveryFolderIsAnAbsolutePathWithoutTrailingBackslash) {
  const SpecialFolder folders[] = {
      SpecialFolder::kCommonAppData, SpecialFolder::kAppData, SpecialFolder::kCommonDesktop,
      SpecialFolder::kDesktop, SpecialFolder::kCommonDocuments, SpecialFolder::kDocuments,
      SpecialFolder::kCommonFavorites, SpecialFolder::kFavorites, SpecialFolder::kFonts,
      SpecialFolder::kCommonStartMenu, SpecialFolder::kStartMenu, SpecialFolder::kCommonPrograms,
      SpecialFolder::kPrograms, SpecialFolder::kCommonStartup, SpecialFolder::kStartup,
      SpecialFolder::kSystem, SpecialFolder::kSystem32Bit, SpecialFolder::kWindows, SpecialFolder::kTemp,
      SpecialFolder::kDevice, SpecialFolder::kMedia, SpecialFolder::kInetpubParent, SpecialFolder::kProfile};
  for (const SpecialFolder folder : folders) {
    const WString path = SpecialFolderPath(folder);
    SCOPED_TRACE(WideToUtf8(path));
    ASSERT_GE(path.size(), 3u) << static_cast<int>(folder);
    EXPECT_EQ(path[1], u':');
    EXPECT_NE(path.back(), u'\\');
  }
}

TEST(SpecialFoldersWinTest, TemporaryFolderExistsAndIsKept) {
  const WString temp = SpecialFolderPath(SpecialFolder::kTemp);
  EXPECT_TRUE(IsFolder(temp)) << WideToUtf8(temp);
  wchar_t buffer[MAX_PATH + 1] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH + 1, buffer), 0u);
  EXPECT_EQ(temp + u"\\", FromW(buffer));
  // A changed TMP does not move the folder of this process.
  const WString old_tmp = EnvironmentValue(L"TMP");
  SetEnvironmentVariableW(L"TMP", L"C:\\windows");
  EXPECT_EQ(SpecialFolderPath(SpecialFolder::kTemp), temp);
  SetEnvironmentVariableW(L"TMP", old_tmp.empty() ? nullptr : W(old_tmp));
}

TEST(SpecialFoldersWinTest, ShellAndRegistryAgreeForPerUserFolders) {
  const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  const WString desktop = RegistryValue(HKEY_CURRENT_USER, key, L"Desktop", 0);
  if (!desktop.empty()) {
    EXPECT_EQ(SpecialFolderPath(SpecialFolder::kDesktop), desktop);
  }
  const WString fonts = RegistryValue(HKEY_CURRENT_USER, key, L"Fonts", 0);
  if (!fonts.empty()) {
    EXPECT_EQ(SpecialFolderPath(SpecialFolder::kFonts), fonts);
  }
}

TEST(SpecialFoldersWinTest, SixtyFourBitProgramFiles) {
  if (!GetSystemVersion().is_64bit) GTEST_SKIP() << "a 32-bit Windows has only the default folders";
  const WString program_w6432 = EnvironmentValue(L"ProgramW6432");
  ASSERT_FALSE(program_w6432.empty());
  EXPECT_EQ(ProgramFilesFolder(kFolderMode64), program_w6432);
  EXPECT_EQ(ProgramFilesFolder(kFolderMode64Alias), program_w6432);
  EXPECT_EQ(CommonFilesFolder(kFolderMode64), EnvironmentValue(L"CommonProgramW6432"));
}

// The 32-bit engine on 64-bit Windows: the shell answers the x86 folders, a
// 64-bit known folder is refused, and the registry is the 32-bit view.
class ThirtyTwoBitView : public FolderMethods {
 public:
  explicit ThirtyTwoBitView(bool program_w6432) : system_(MakeSystemFolderMethods()), env_(program_w6432) {}
  WString ShellFolder(int csidl) override {
    if (csidl == csidl::kProgramFiles || csidl == csidl::kProgramFilesCommon) return WString();
    return system_->ShellFolder(csidl);
  }
  WString KnownFolderPath(KnownFolder) override { return WString(); }
  WString ShellFoldersValue(RegistryRoot root, const WString& name) override {
    return system_->ShellFoldersValue(root, name);
  }
  // The 32-bit view's value; a prefix made without its 32-bit half lacks
  // that view, and then the native view's "<name> (x86)" holds the same text.
  WString CurrentVersionValue(const WString& name) override { return X86CurrentVersionValue(W(name)); }
  WString EnvironmentValue(const WString& name) override {
    return env_ ? system_->EnvironmentValue(name) : WString();
  }
  WString WindowsFolder() override { return system_->WindowsFolder(); }
  WString SystemDirectory() override { return system_->SystemDirectory(); }
  WString SystemTempPath() override { return system_->SystemTempPath(); }
  bool FolderExists(const WString& path) override { return system_->FolderExists(path); }
  void CreateFolderTree(const WString& path) override { system_->CreateFolderTree(path); }
  WString UserName() override { return system_->UserName(); }
  NString WwwRootValue() override { return system_->WwwRootValue(); }
  NString BootDirValue() override { return system_->BootDirValue(); }
  WString ExpandEnvironment(const WString& text) override { return system_->ExpandEnvironment(text); }
  bool Is64BitOs() override { return true; }
  std::uint32_t Platform() override { return system_->Platform(); }

 private:
  std::unique_ptr<FolderMethods> system_;
  bool env_;
};

TEST(SpecialFoldersWinTest, ThirtyTwoBitEngineOnSixtyFourBitWindows) {
  const WString x86 = X86CurrentVersionValue(L"ProgramFilesDir");
  if (x86.find(u" (x86)") == WString::npos) GTEST_SKIP() << "no 32-bit registry view here";
  for (const bool with_environment : {true, false}) {
    ThirtyTwoBitView view(with_environment);
    SpecialFolders folders(view);
    EXPECT_EQ(folders.ProgramFiles(kFolderMode32), x86);
    EXPECT_EQ(folders.ProgramFiles(kFolderModeDefault), x86);
    // Without "ProgramW6432" the 64-bit folder is the x86 one with " (x86)" removed.
    const WString native = EnvironmentValue(L"ProgramW6432");
    EXPECT_EQ(folders.ProgramFiles(kFolderMode64), native) << "environment: " << with_environment;
    EXPECT_EQ(folders.CommonFiles(kFolderMode64), EnvironmentValue(L"CommonProgramW6432"));
    EXPECT_NE(folders.CommonFiles(kFolderMode32).find(u" (x86)"), WString::npos);
  }
}

TEST(SpecialFoldersWinTest, BootDriveAndInetpubFromTheRegistry) {
  const char16_t drive = SystemSpecialFolders().BootDrive();
  EXPECT_TRUE(drive >= u'A' && drive <= u'Z');
  const WString inetpub = SpecialFolderPath(SpecialFolder::kInetpubParent);
  const WString root = RegistryValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\INetStp", L"PathWWWRoot", 0);
  EXPECT_EQ(inetpub, InetpubParent(root.empty() ? root : MakeSystemFolderMethods()->ExpandEnvironment(root)));
}

}  // namespace
}  // namespace ks
