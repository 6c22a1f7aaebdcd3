#include "uninstall/win/self_deletion.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "lib/end_of_process.h"
#include "engine/win/special_folders.h"
#include "lib/win/system_library.h"
#include "lib/win/wide.h"
#include "uninstall/self_deletion_text.h"

namespace ks {
namespace {

std::string ReadAll(const WString& path) {
  std::ifstream in(reinterpret_cast<const wchar_t*>(path.c_str()), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SelfDeletionTest, ScriptInTheTemporaryFolderNamesThisProgramAndTheFolders) {
  WString temp = SpecialFolderPath(SpecialFolder::kTemp);
  ASSERT_FALSE(temp.empty());
  if (temp.back() != u'\\') temp += u'\\';
  const WString script = temp + u"delunins.bat";
  ::DeleteFileW(W(script));

  ASSERT_TRUE(PrepareSelfDeletion(u"C:\\Prod", u"un\\data"));
  // Started only by the end of the process; this test does not end through it.
  SetTerminateStep(TerminateStep::kSelfRemoval, nullptr);

  const WString text = BuildSelfDeletionScript(ModuleFileName(nullptr), u"C:\\Prod", u"un\\data", script);
  const std::string bytes = ReadAll(script);
  EXPECT_EQ(bytes, EncodeSelfDeletionScript(text, true).value_or("<none>"));
  EXPECT_NE(bytes.find("rd \"C:\\Prod\\un\\data\"\r\nrd \"C:\\Prod\\un\"\r\nrd \"C:\\Prod\"\r\n"), std::string::npos);
  EXPECT_NE(bytes.find(":Repeat\r\ndel \""), std::string::npos);
  ::DeleteFileW(W(script));
}

// Two uninstallers finishing at once: the second script takes the next free
// name and leaves the first one's as it is.
TEST(SelfDeletionTest, AScriptWaitingThereIsNotReplaced) {
  WString temp = SpecialFolderPath(SpecialFolder::kTemp);
  if (temp.back() != u'\\') temp += u'\\';
  const WString first = temp + u"delunins.bat";
  const WString second = temp + u"delunins1.bat";
  ::DeleteFileW(W(first));
  ::DeleteFileW(W(second));
  ASSERT_TRUE(PrepareSelfDeletion(u"C:\\First", u""));
  ASSERT_TRUE(PrepareSelfDeletion(u"C:\\Second", u""));
  SetTerminateStep(TerminateStep::kSelfRemoval, nullptr);
  EXPECT_NE(ReadAll(first).find("rd \"C:\\First\"\r\ndel \"" + WideToUtf8(first) + "\"\r\n"), std::string::npos)
      << ReadAll(first);
  EXPECT_NE(ReadAll(second).find("rd \"C:\\Second\"\r\ndel \"" + WideToUtf8(second) + "\"\r\n"),
            std::string::npos)
      << ReadAll(second);
  ::DeleteFileW(W(first));
  ::DeleteFileW(W(second));
}

}  // namespace
}  // namespace ks
