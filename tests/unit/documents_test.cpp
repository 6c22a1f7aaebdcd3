#include "core/documents.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

Bytes Narrow(const char* text) { return Bytes(text, text + std::char_traits<char>::length(text)); }
Bytes Utf16(const char16_t* text) {
  Bytes b;
  for (const char16_t* p = text; *p; ++p) {
    b.push_back(static_cast<std::uint8_t>(*p & 0xFF));
    b.push_back(static_cast<std::uint8_t>(*p >> 8));
  }
  return b;
}
Bytes WithBom(Bytes b) {
  b.insert(b.begin(), {0xFF, 0xFE});
  return b;
}

TEST(DocumentsTest, RtfDetection) {
  EXPECT_TRUE(IsRtfText(Narrow("{\\rtf")));
  EXPECT_TRUE(IsRtfText(Utf16(u"{\\rtf1\\ansi")));
  EXPECT_FALSE(IsRtfText(Narrow("{\\rt")));
  EXPECT_FALSE(IsRtfText(Narrow("{\\RTF1")));
  EXPECT_FALSE(IsRtfText(WithBom(Utf16(u"{\\rtf1"))));
  EXPECT_FALSE(IsRtfText({}));
}

TEST(DocumentsTest, PlainText) {
  EXPECT_EQ(PlainDocumentText(Utf16(u"Gr\u00fc\u00dfe\r\n")), u"Gr\u00fc\u00dfe\r\n");
  EXPECT_EQ(PlainDocumentText(WithBom(Utf16(u"a"))), u"a");
  Bytes odd = Utf16(u"ab");
  odd.push_back('c');
  EXPECT_EQ(PlainDocumentText(odd), u"ab");
  EXPECT_EQ(PlainDocumentText({0xFF, 0xFE}), u"");
}

TEST(DocumentsTest, RtfBytes) {
  EXPECT_EQ(RtfDocumentText(Narrow("{\\rtf1 \xE9}")), "{\\rtf1 \xE9}");
  EXPECT_EQ(RtfDocumentText(Utf16(u"{\\rtf1 \u00e9\u20ac}")), "{\\rtf1 \xE9?}");
}

}  // namespace
}  // namespace ks
