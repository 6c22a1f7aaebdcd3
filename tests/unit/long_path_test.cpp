#include "lib/long_path.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(LongPathTest, ExtendedFormFromThePlainLimitOn) {
  const WString a(120, u'a');
  const WString b(130, u'b');
  const struct {
    const char* name;
    WString path, extended;
  } cases[] = {
      {"short stays", u"C:\\P\\x.txt", u"C:\\P\\x.txt"},
      {"one below the limit stays", u"C:\\" + WString(kPlainPathLimit - 4, u'a'),
       u"C:\\" + WString(kPlainPathLimit - 4, u'a')},
      {"at the limit", u"C:\\" + WString(kPlainPathLimit - 3, u'a'), u"\\\\?\\C:\\" + WString(kPlainPathLimit - 3, u'a')},
      {"long drive path", u"D:\\" + a + u"\\" + b, u"\\\\?\\D:\\" + a + u"\\" + b},
      {"slashes, empty and dot parts", u"C:/" + a + u"//.\\" + b + u"\\", u"\\\\?\\C:\\" + a + u"\\" + b},
      {"dot-dot climbs", u"C:\\" + a + u"\\x\\..\\" + b, u"\\\\?\\C:\\" + a + u"\\" + b},
      {"dot-dot never above the root", u"C:\\..\\..\\" + a + u"\\" + b, u"\\\\?\\C:\\" + a + u"\\" + b},
      {"UNC", u"\\\\srv\\share\\" + a + u"\\" + b, u"\\\\?\\UNC\\srv\\share\\" + a + u"\\" + b},
      {"UNC keeps its share", u"\\\\srv\\share\\..\\..\\" + a + u"\\" + b,
       u"\\\\?\\UNC\\srv\\share\\" + a + u"\\" + b},
      {"already extended stays", u"\\\\?\\C:\\" + a + u"\\" + b, u"\\\\?\\C:\\" + a + u"\\" + b},
      {"device stays", u"\\\\.\\" + a + b, u"\\\\.\\" + a + b},
      {"relative stays", a + u"\\" + b, a + u"\\" + b},
      {"drive-relative stays", u"C:" + a + u"\\" + b, u"C:" + a + u"\\" + b},
      {"rooted without drive stays", u"\\" + a + u"\\" + b, u"\\" + a + u"\\" + b},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtendedLengthPath(c.path), c.extended) << c.name;
}

TEST(LongPathTest, PrefixComesOffForShowing) {
  EXPECT_EQ(WithoutExtendedPrefix(u"\\\\?\\C:\\a\\b"), u"C:\\a\\b");
  EXPECT_EQ(WithoutExtendedPrefix(u"\\\\?\\UNC\\srv\\share\\a"), u"\\\\srv\\share\\a");
  EXPECT_EQ(WithoutExtendedPrefix(u"C:\\a"), u"C:\\a");
}

}  // namespace
}  // namespace ks
