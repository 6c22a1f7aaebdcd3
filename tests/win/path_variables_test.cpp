// ExpandPathVariables on the running system: the real environment expansion
// with its buffer, and values that the system call and the resolvers agree on.

#include "engine/win/path_variables.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "engine/win/special_folders.h"
#include "lib/win/os_version_query.h"
#include "lib/win/wide.h"

namespace ks {
namespace {

// The inputs a test gives; the system gives the rest.
PathVariableInputs g_inputs;

WString Expanded(WString text) {
  const PathVariables vars([] { return g_inputs; });
  return vars.Expanded(std::move(text));
}

TEST(PathVariablesWinTest, FoldersAndSystemFacts) {
  EXPECT_EQ(Expanded(u"%WINDIR%\\x;%windir%"), SpecialFolderPath(SpecialFolder::kWindows) + u"\\x;" +
                                                   SpecialFolderPath(SpecialFolder::kWindows));
  EXPECT_EQ(Expanded(u"%Temp%"), SpecialFolderPath(SpecialFolder::kTemp));
  EXPECT_EQ(Expanded(u"%ProgramsDir64%"), ProgramFilesFolder(kFolderMode64));
  EXPECT_EQ(Expanded(u"%Bits%"), GetSystemVersion().is_64bit ? u"64" : u"32");
  EXPECT_EQ(Expanded(u"%OS%"), Widen(std::to_string(GetOsNumber())));
  EXPECT_EQ(Expanded(u"%OSDescription%"), GetOsNameW());
}

TEST(PathVariablesWinTest, InstallerPath) {
  wchar_t buffer[1024] = {};
  const DWORD n = GetModuleFileNameW(nullptr, buffer, 1024);
  ASSERT_GT(n, 0u);
  const WString path = FromW(buffer, n);
  EXPECT_EQ(Expanded(u"%InstallerFilepath%"), path);
  EXPECT_EQ(Expanded(u"%InstallerDir%\\%InstallerFilename%"), path);
  EXPECT_EQ(Expanded(u"%InstallerDrive%"), DriveOf(path));
}

TEST(PathVariablesWinTest, EnvironmentStep) {
  SetEnvironmentVariableW(L"KS_H7_VALUE", L"v@l");
  EXPECT_EQ(Expanded(u"%ks_h7_value%|%KS_H7_NOT_SET%|%"), u"v@l|%KS_H7_NOT_SET%|%");
  // An inserted value is expanded by the environment step too.
  g_inputs.product_name = u"%KS_H7_VALUE%";
  EXPECT_EQ(Expanded(u"%ProductName%"), u"v@l");
  g_inputs.product_name.clear();
  SetEnvironmentVariableW(L"KS_H7_VALUE", nullptr);
}

// Every expansion asks for the inputs of that moment: none is kept.
TEST(PathVariablesWinTest, ValuesAreReadAtTheMomentOfTheCall) {
  WString install_dir = u"C:\\First";
  const PathVariables vars([&install_dir] {
    PathVariableInputs in;
    in.install_dir = install_dir;
    return in;
  });
  EXPECT_EQ(vars.Expanded(u"%InstallDir%\\x"), u"C:\\First\\x");
  install_dir = u"D:\\Chosen";
  EXPECT_EQ(vars.Expanded(u"%InstallDir%\\x"), u"D:\\Chosen\\x");
  EXPECT_EQ(vars.Value(PathVariable::kInstallDrive), u"D:");
}

TEST(PathVariablesWinTest, ResultIsCutAtTheExpansionBuffer) {
  const WString chunk(20000, u'x');
  SetEnvironmentVariableW(L"KS_H7_LONG", W(chunk));
  const WString out = Expanded(u"%KS_H7_LONG%%KS_H7_LONG%");
  EXPECT_EQ(out.size(), kExpansionRoom - 1);
  EXPECT_EQ(out, WString(kExpansionRoom - 1, u'x'));
  SetEnvironmentVariableW(L"KS_H7_LONG", nullptr);
}

}  // namespace
}  // namespace ks
