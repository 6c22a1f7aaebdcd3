#include "lib/marked_text.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

TEST(MarkedTextTest, Encode) {
  const struct {
    const char* name;
    WString text;
    NString marked;
  } cases[] = {
      {"empty", u"", ""},
      {"ascii stays plain", u"bin\\app.exe", "bin\\app.exe"},
      {"DEL is below 128", u"a\x7F", "a\x7F"},
      {"128 needs the mark", u"\u0080", "|\xC2\x80"},
      {"latin-1", u"caf\u00E9", "|caf\xC3\xA9"},
      {"cjk", u"\u4E2D\u6587", "|\xE4\xB8\xAD\xE6\x96\x87"},
      {"astral", u"\U0001F600", "|\xF0\x9F\x98\x80"},
      // A plain "|x" would read back as "x".
      {"leading bar is marked", u"|x", "||x"},
      {"lone bar", u"|", "||"},
      {"bar elsewhere stays plain", u"a|b", "a|b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeMarkedText(c.text), c.marked) << c.name;
    EXPECT_EQ(DecodeMarkedText(c.marked), c.text) << c.name;
  }
}

TEST(MarkedTextTest, Decode) {
  const struct {
    const char* name;
    NString marked;
    WString text;
  } cases[] = {
      {"empty", "", u""},
      {"mark only", "|", u""},
      {"ansi (code page 1252 here)", "caf\xE9 \x80", u"caf\u00E9 \u20AC"},
      {"utf-8", "|caf\xC3\xA9", u"caf\u00E9"},
      {"invalid utf-8", "|a\xFF", u"a\uFFFD"},
      {"bar inside ansi", "a|\xE9", u"a|\u00E9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeMarkedText(c.marked), c.text) << c.name;
  }
}

TEST(MarkedTextTest, AnsiWhenItRoundTrips) {
  const struct {
    const char* name;
    WString text;
    NString marked;
  } cases[] = {
      {"ascii", u"abc", "abc"},
      {"code page 1252", u"caf\u00E9\u20AC", "caf\xE9\x80"},
      {"not in the code page", u"\u4E2D", "|\xE4\xB8\xAD"},
      {"mixed", u"\u00E9\u4E2D", "|\xC3\xA9\xE4\xB8\xAD"},
      {"leading bar", u"|\u00E9", "||\xC3\xA9"},
      {"U+FFFD is not a round trip of '?'", u"?\uFFFD", "|?\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeMarkedText(c.text, true), c.marked) << c.name;
    EXPECT_EQ(DecodeMarkedText(c.marked), c.text) << c.name;
  }
}

}  // namespace
}  // namespace ks
