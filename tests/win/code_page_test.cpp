#include "lib/win/code_page.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "lib/win/wide.h"

namespace ks {
namespace {

class SystemAnsiTest : public ::testing::Test {
 protected:
  void SetUp() override { UseSystemAnsiCodePage(); }
  void TearDown() override { SetAnsiCodePage({&Cp1252ToWide, &WideToCp1252}); }
};

TEST_F(SystemAnsiTest, ConvertsLikeTheSystem) {
  NString all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const WString wide = AnsiToWide(all);
  const int n = MultiByteToWideChar(CP_ACP, 0, all.data(), static_cast<int>(all.size()), nullptr, 0);
  ASSERT_GT(n, 0);
  WString expected(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, all.data(), static_cast<int>(all.size()), W(expected), n);
  EXPECT_EQ(wide, expected);

  EXPECT_EQ(AnsiToWide("Setup"), u"Setup");
  EXPECT_EQ(WideToAnsi(u"Setup"), "Setup");
  EXPECT_EQ(AnsiToWide(""), u"");
  EXPECT_EQ(WideToAnsi(u""), "");
}

TEST_F(SystemAnsiTest, MissingCharactersBecomeTheFallback) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "every character exists in UTF-8";
  // U+10348 (Gothic) exists in no single- or double-byte ANSI code page.
  EXPECT_EQ(WideToAnsi(u"a\U00010348b", '#').front(), 'a');
  EXPECT_NE(WideToAnsi(u"a\U00010348b", '#').find('#'), NString::npos);
}

}  // namespace
}  // namespace ks
