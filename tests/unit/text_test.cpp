#include "lib/text.h"

#include <gtest/gtest.h>

namespace ks {
namespace {

struct Utf8Case {
  const char* name;
  NString utf8;
  WString wide;
};

TEST(TextTest, Utf8ToWideDecodesAndReplacesInvalidSequences) {
  const Utf8Case cases[] = {
      {"empty", "", u""},
      {"ascii", "abc", u"abc"},
      {"two byte", "\xC3\xA9", u"\u00E9"},
      {"three byte", "\xE2\x82\xAC", u"\u20AC"},
      {"four byte", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"max code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"lone continuation", "a\x80z", u"a\uFFFDz"},
      {"overlong two byte", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"invalid lead", "\xFF", u"\uFFFD"},
      {"truncated at end", "ab\xE2\x82", u"ab\uFFFD"},
      {"truncated before ascii", "\xE2\x82z", u"\uFFFDz"},
      {"embedded nul", NString("a\0b", 3), WString(u"a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToWide(c.utf8), c.wide) << c.name;
  }
}

TEST(TextTest, WideToUtf8EncodesAndReplacesUnpairedSurrogates) {
  const Utf8Case cases[] = {
      {"empty", "", u""},
      {"ascii", "abc", u"abc"},
      {"two byte", "\xC3\xA9", u"\u00E9"},
      {"three byte", "\xE2\x82\xAC", u"\u20AC"},
      {"pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"lone high", "a\xEF\xBF\xBD" "b", WString(u"a") + char16_t(0xD83D) + u"b"},
      {"lone low", "\xEF\xBF\xBD", WString(1, char16_t(0xDE00))},
      {"high at end", "x\xEF\xBF\xBD", WString(u"x") + char16_t(0xD83D)},
      {"reversed pair", "\xEF\xBF\xBD\xEF\xBF\xBD", WString{char16_t(0xDE00), char16_t(0xD83D)}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideToUtf8(c.wide), c.utf8) << c.name;
  }
}

TEST(TextTest, Cp1252HighRangeRoundTrips) {
  const struct {
    unsigned char byte;
    char16_t wide;
  } cases[] = {
      {0x41, u'A'},     {0x7F, 0x007F},   {0x80, 0x20AC}, {0x81, 0x0081}, {0x82, 0x201A},
      {0x83, 0x0192},   {0x84, 0x201E},   {0x85, 0x2026}, {0x86, 0x2020}, {0x87, 0x2021},
      {0x88, 0x02C6},   {0x89, 0x2030},   {0x8A, 0x0160}, {0x8B, 0x2039}, {0x8C, 0x0152},
      {0x8D, 0x008D},   {0x8E, 0x017D},   {0x8F, 0x008F}, {0x90, 0x0090}, {0x91, 0x2018},
      {0x92, 0x2019},   {0x93, 0x201C},   {0x94, 0x201D}, {0x95, 0x2022}, {0x96, 0x2013},
      {0x97, 0x2014},   {0x98, 0x02DC},   {0x99, 0x2122}, {0x9A, 0x0161}, {0x9B, 0x203A},
      {0x9C, 0x0153},   {0x9D, 0x009D},   {0x9E, 0x017E}, {0x9F, 0x0178}, {0xA0, 0x00A0},
      {0xE9, 0x00E9},   {0xFF, 0x00FF},
  };
  for (const auto& c : cases) {
    const NString narrow(1, static_cast<char>(c.byte));
    EXPECT_EQ(Cp1252ToWide(narrow), WString(1, c.wide)) << int(c.byte);
    EXPECT_EQ(WideToCp1252(WString(1, c.wide)), narrow) << int(c.byte);
  }
}

TEST(TextTest, WideToCp1252UsesFallbackPerMissingCharacter) {
  EXPECT_EQ(WideToCp1252(u"a\u0100b"), "a?b");
  EXPECT_EQ(WideToCp1252(u"\u4E2D", '_'), "_");
  EXPECT_EQ(WideToCp1252(u"x\U0001F600y"), "x?y");  // one fallback per code point
  EXPECT_EQ(WideToCp1252(WString(1, char16_t(0xD800))), "?");
}

WString UpperToWide(NStringView s) {
  WString out;
  for (char c : s) out.push_back(static_cast<char16_t>(c == 'x' ? 'X' : c));
  return out;
}
NString WideToStars(WStringView s, char) { return NString(s.size(), '*'); }

TEST(TextTest, AnsiConverterDefaultsToCp1252AndIsReplaceable) {
  EXPECT_EQ(AnsiToWide("\x80"), u"\u20AC");
  EXPECT_EQ(WideToAnsi(u"\u20AC\u0100", '#'), "\x80#");

  SetAnsiCodePage({&UpperToWide, &WideToStars});
  EXPECT_EQ(AnsiToWide("axb"), u"aXb");
  EXPECT_EQ(WideToAnsi(u"abc"), "***");

  SetAnsiCodePage({nullptr, &WideToStars});  // incomplete: back to the default
  EXPECT_EQ(AnsiToWide("\x80"), u"\u20AC");
  EXPECT_EQ(WideToAnsi(u"abc"), "abc");
}

TEST(TextTest, AsciiCaseHelpers) {
  EXPECT_EQ(AsciiLower(u'A'), u'a');
  EXPECT_EQ(AsciiLower(u'Z'), u'z');
  EXPECT_EQ(AsciiLower(u'@'), u'@');
  EXPECT_EQ(AsciiLower(u'['), u'[');
  EXPECT_EQ(AsciiLower(u'\u00C9'), u'\u00C9');  // non-ASCII stays

  const struct {
    const char* a;
    const char* b;
    bool equal;
    bool starts;
  } cases[] = {
      {"", "", true, true},
      {"Setup.EXE", "setup.exe", true, true},
      {"Setup.exe", "SETUP", false, true},
      {"Set", "Setup", false, false},
      {"abc", "abd", false, false},
      {"\xC9t\xE9", "\xE9T\xE9", false, false},  // only ASCII folds
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EqualsIgnoreCase(NStringView(c.a), NStringView(c.b)), c.equal) << c.a << "|" << c.b;
    EXPECT_EQ(StartsWithIgnoreCase(NStringView(c.a), NStringView(c.b)), c.starts) << c.a;
    const WString wa = Cp1252ToWide(c.a), wb = Cp1252ToWide(c.b);
    EXPECT_EQ(EqualsIgnoreCase(WStringView(wa), WStringView(wb)), c.equal) << c.a;
    EXPECT_EQ(StartsWithIgnoreCase(WStringView(wa), WStringView(wb)), c.starts) << c.a;
  }
}

TEST(TextTest, WidenTakesHighBytesAsCp1252) {
  EXPECT_EQ(Widen("Install.log"), u"Install.log");
  EXPECT_EQ(Widen("\x80\xE9"), u"\u20AC\u00E9");
  EXPECT_EQ(Widen(""), u"");
}

}  // namespace
}  // namespace ks
