#include "lib/error_text.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(ErrorTextTest, ErrorCodeText) {
  const struct {
    std::int32_t code;
    const char* text;
  } cases[] = {
      {0, "0"},
      {5, "5"},
      {2147483647, "2147483647"},
      {-2147024891, "0x80070005"},
      {-1, "0xFFFFFFFF"},
      {static_cast<std::int32_t>(0x800401F0u), "0x800401F0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorCodeTextNarrow(c.code), c.text);
    EXPECT_EQ(ErrorCodeText(c.code), Widen(c.text));
  }
}

TEST(ErrorTextTest, ComposeSystemErrorText) {
  const struct {
    const char* name;
    std::uint32_t code;
    WString user, english, expected;
  } cases[] = {
      {"password", 86, u"anything", u"else", u"Incorrect password."},
      {"trailing white space goes", 5, u"Access is denied.\r\n \t", u"Access is denied.\r\n", u"Access is denied."},
      {"english appended", 5, u"Zugriff verweigert.\r\n", u"Access is denied.\r\n",
       u"Zugriff verweigert.\r\nAccess is denied."},
      {"no message", 0x1234, u"", u"", u"Error 0x00001234"},
      {"no message, high code", 0x80070005u, u"  ", u"", u"Error 0x80070005"},
      {"english only", 7, u"", u"Bad.", u"Error 0x00000007\r\nBad."},
  };
  for (const auto& c : cases) EXPECT_EQ(ComposeSystemErrorText(c.code, c.user, c.english), c.expected) << c.name;
}

}  // namespace
}  // namespace ks
