#include "core/corrupt_message.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(CorruptMessage, FillsTheCodeIntoTheText) {
  struct Case {
    WString localized;
    int code;
    WString expected;
  };
  const Case cases[] = {
      {u"Broken (%d).", 25, u"Broken (25)."},
      {u"No code here", 25, u"No code here"},
      {u"%d and %d", 7, u"7 and %d"},           // one value to fill, one "%d" filled
      {u"100%% sure: %s %d", 47, u"100% sure: %s 47"},  // no other sequence is read
      {u"trailing %", 1, u"trailing %"},
      {u"Code %d", 1003, u"Code 1003"},
  };
  for (const Case& c : cases) EXPECT_EQ(CorruptMessage(c.localized, c.code), c.expected);
}

TEST(CorruptMessage, BuiltInTextWhenNoneIsLocalized) {
  const WString text = CorruptMessage(u"", 22);
  EXPECT_EQ(text.rfind(u"This installation program is corrupt.  This is usually caused", 0), 0u);
  EXPECT_NE(text.find(u"re-download it.  If the problem persists"), WString::npos);
  EXPECT_EQ(text.substr(text.size() - 18), u"\r\n\r\nError code: 22");
}

TEST(CorruptMessage, SystemErrorSuffix) {
  EXPECT_EQ(SystemErrorSuffix(u"5", u"Access is denied."), u"\r\nSystem error, code 5: Access is denied.");
}

}  // namespace
}  // namespace ks
